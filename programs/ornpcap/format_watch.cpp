#include "ornpcap/format_watch.hpp"

#include <new>

namespace ornpcap::converter {

void FormatWatch::look(const EventRecord& record, const uint8_t* payload) {
    if (record.port == port_ && recogniser_.examined() < kEnoughRecords) {
        try {
            recogniser_.add(record, payload);
        } catch (const std::bad_alloc&) {
            // The watch only advises: short of memory, the conversion goes on without it.
        }
    }
}

ResultCode FormatWatch::record(const EventRecord& record, const uint8_t* payload) {
    look(record, payload);
    return converter_.record(record, payload);
}

ResultCode FormatWatch::commit(RecordSpan span, PreparedRecords& prepared) {
    for (size_t n = 0; n < span.size() && recogniser_.examined() < kEnoughRecords; ++n) {
        look(span[n].header, span[n].payload);
    }
    return converter_.commit(span, prepared);
}

}  // namespace ornpcap::converter
