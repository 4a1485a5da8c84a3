#include "trace/trace_fault.hpp"

#include <cstdio>

#include "base/text.hpp"
#include <cstring>

namespace ornpcap {

namespace {


// What went wrong with the file as a whole, its header or trailer.
std::string describeFile(const TraceFault& f) {
    switch (f.check) {
        case TraceCheck::CannotOpen:
            return f.osError != 0 ? std::strerror(f.osError) : "cannot be opened";
        case TraceCheck::IsAPipe:
            return "is a pipe: a trace is read as a file, whose length tells where its trailer is";
        case TraceCheck::FileTooShort:
            return withNumbers("%lld bytes: too short for a trace (at least %lld)", f.actual, f.limit);
        case TraceCheck::HeadUnreadable:
            return f.actual != 0 ? withNumbers("cannot read the 203 bytes a header check reads: the "
                                          "file has %lld",
                                          f.actual)
                                 : "cannot read the header";
        case TraceCheck::NotATrace: return "not a trace: file type is not TRC";
        case TraceCheck::HeaderDamaged: return "header damaged: FCS-16 wrong";
        case TraceCheck::VersionRefused:
            return withNumbers("format version %lld.%lld is not one of 5.0 to 8.0", f.actual, f.limit);
        case TraceCheck::SubVersionRefused:
            return withNumbers("sub-version %lld is not the known 01", f.actual);
        case TraceCheck::TrailerUnreadable: return "cannot read the trailer";
        case TraceCheck::TrailerChecksum:
            return "trailer checksum wrong: the file may be cut short";
        case TraceCheck::StreamTooLong:
            return withNumbers("streamLength %lld larger than the %lld bytes between header and trailer",
                          f.actual, f.limit);
        default: return "";
    }
}

// What went wrong with one block.
std::string describeBlock(const TraceFault& f) {
    switch (f.check) {
        case TraceCheck::BlockHeaderCut: return "its header is cut short";
        case TraceCheck::BlockTooLong:
            return withNumbers("%lld bytes long, more than maxBlockLength %lld", f.actual, f.limit);
        case TraceCheck::BlockOutOfSequence:
            return withNumbers("numbered %lld where %lld was due: out of sequence", f.actual, f.limit);
        case TraceCheck::BlockEmpty: return "empty (blockLength 0)";
        case TraceCheck::BlockDataCut:
            return withNumbers("its %lld bytes of data are cut short", f.actual);
        case TraceCheck::BlockChecksum: return "FCS-16 wrong";
        case TraceCheck::BlockNoRoom:
            return withNumbers("its data does not fit the %lld bytes left in the work buffer (a record "
                          "longer than twice maxBlockLength)",
                          f.limit);
        case TraceCheck::ExpanderUnavailable: return "the NRV2B library cannot be initialised";
        case TraceCheck::BlockNotExpandable:
            return "compressed data damaged: it does not expand";
        default: return "";
    }
}
}  // namespace

std::string describe(const TraceFault& fault) {
    if (fault.block == 0) {
        return describeFile(fault);
    }
    return withNumbers("block %lld at offset %lld: ", fault.block, static_cast<long long>(fault.offset)) +
           describeBlock(fault);
}
}  // namespace ornpcap
