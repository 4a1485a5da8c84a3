#pragma once
// Why a trace could not be read on: the first check that failed, where, and
// the numbers it compared, and the same in words. The result code says what
// the tool exits with; the rest is for people.

#include <cstdint>
#include <string>

#include "base/result_code.hpp"

namespace ornpcap {

enum class TraceCheck {
    None,
    // The file as a whole, its header and trailer.
    CannotOpen,          // osError
    IsAPipe,             // a FIFO or socket: a trace is read where its length says
    FileTooShort,        // actual: file length, limit: the smallest trace
    HeadUnreadable,      // the first 203 bytes cannot be read; actual: file length
    NotATrace,           // the file type is not "TRC   "
    HeaderDamaged,       // the file type is a trace's, but no header form passes the FCS check
    VersionRefused,      // actual: major, limit: minor of the header text
    SubVersionRefused,   // actual: the subVersion read
    TrailerUnreadable,
    TrailerChecksum,     // the trailer fails its FCS: the file may be cut short
    StreamTooLong,       // actual: streamLength, limit: bytes between header and trailer
    // One block (block and offset say which).
    BlockHeaderCut,      // its 6 header bytes cannot be read
    BlockTooLong,        // actual: blockLength, limit: maxBlockLength
    BlockOutOfSequence,  // actual: its number, limit: the number expected
    BlockEmpty,          // blockLength 0
    BlockDataCut,        // actual: blockLength; its data cannot be read in full
    BlockChecksum,       // actual: blockFcs, limit: the FCS-16 of its data
    BlockNoRoom,         // actual: bytes it expands to (at least), limit: room left
    ExpanderUnavailable, // the NRV2B library cannot be initialised
    BlockNotExpandable,  // its compressed data is damaged
};

struct TraceFault {
    ResultCode code = ResultCode::Ok;
    TraceCheck check = TraceCheck::None;
    uint32_t block = 0;   // position of the block in the stream, from 1; 0: not a block
    uint64_t offset = 0;  // of the block header (or of what failed) in the file
    int64_t actual = 0;
    int64_t limit = 0;
    int osError = 0;      // errno of a failed open or read, 0 when none

    bool failed() const { return code != ResultCode::Ok; }
};

// What failed, in words: "trailer checksum wrong: the file may be cut short",
// "block 17 at offset 123456: FCS-16 wrong".
std::string describe(const TraceFault& fault);

// Notes a fault where one is asked for, and returns its code.
inline ResultCode fault(TraceFault* out, ResultCode code, TraceCheck check, int64_t actual = 0,
                        int64_t limit = 0) {
    if (out != nullptr) {
        *out = TraceFault{code, check, 0, 0, actual, limit, 0};
    }
    return code;
}

}  // namespace ornpcap
