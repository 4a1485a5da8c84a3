#include "base/result_code.hpp"

namespace ornpcap {

namespace {

struct Message {
    ResultCode code;
    const char* text;
};

constexpr Message kMessages[] = {
    {ResultCode::Ok, " "},
    {ResultCode::NoEvents, "NO EVENTS WERE FOUND. Target file(s) deleted."},
    {ResultCode::CannotOpenSource, "Unable to OPEN Source file."},
    {ResultCode::CannotCreateTarget, "Unable to OPEN/CREATE Target file."},
    {ResultCode::CannotReadSource, "Unable to READ Source file."},
    {ResultCode::CannotReadTarget, "Unable to READ Target file."},
    {ResultCode::CannotWriteTarget, "Unable to WRITE Target file."},
    {ResultCode::BadVersion, "INVALID Source file format or BAD Source file version."},
    {ResultCode::BadFormatOrVersion, "INVALID Source file format or BAD Source file version."},
    {ResultCode::BadLength, "INVALID Source file LENGTH. Try Repair utility to recover the error."},
    {ResultCode::BadCrc, "Unrecoverable error. INVALID Source file CRC."},
    {ResultCode::BadFormat, "INVALID Source file format or BAD Source file version."},
    {ResultCode::CannotDeleteOldFiles, "Unable to delete old '*.~B~' or '*.LST' files."},
    {ResultCode::BadPort, "Unspecified or Invalid Port value."},
    {ResultCode::CannotMerge, "Unable to merge '*.~B~' files."},
    {ResultCode::CannotRepair, "Unable to repair Source file."},
    {ResultCode::NeedsNoRepair, "Source file is GOOD and doesn't need to be repaired."},
    {ResultCode::NoMessage, " "},
    {ResultCode::OutOfMemory, "Allocation failure. Not enough memory to execute the program."},
};

}  // namespace

std::string_view resultMessage(ResultCode code) {
    for (const Message& m : kMessages) {
        if (m.code == code) {
            return m.text;
        }
    }
    return "Unknown error.";
}

}  // namespace ornpcap
