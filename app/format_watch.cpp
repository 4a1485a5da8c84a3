#include "app/format_watch.hpp"

#include <new>

namespace ornpcap {

ResultCode FormatWatch::record(const EventRecord& record, const uint8_t* payload) {
    if (record.port == port_) {
        try {
            recogniser_.add(record, payload);
        } catch (const std::bad_alloc&) {
            // The watch only advises: short of memory, the conversion goes on without it.
        }
    }
    return converter_.record(record, payload);
}

}  // namespace ornpcap
