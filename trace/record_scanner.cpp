#include "trace/record_scanner.hpp"

#include <cstring>

#include "base/byte_order.hpp"
#include "base/interrupt.hpp"

namespace ornpcap {

ResultCode scanRecords(std::vector<uint8_t>& workBuffer, uint32_t& fill, const RecordForm& form,
                       RecordSink& sink) {
    uint32_t pos = 0;
    while (fill - pos >= form.headerSize) {
        const uint8_t* at = workBuffer.data() + pos;
        const uint32_t dataLength = loadLe16(at + form.lengthOffset);
        if (fill - pos < form.headerSize + dataLength) {
            break;
        }
        const EventRecord record = decodeEventRecord(at, form);
        pos += form.headerSize + dataLength;
        const uint8_t* payload = dataLength != 0 ? at + form.headerSize : nullptr;
        if (ResultCode rc = sink.record(record, payload); rc != ResultCode::Ok) {
            return rc;
        }
        if (pendingInterrupt() != 0) {
            return ResultCode::Interrupted;
        }
    }
    if (pos < fill) {
        std::memmove(workBuffer.data(), workBuffer.data() + pos, fill - pos);
    }
    fill -= pos;
    return ResultCode::Ok;
}

}  // namespace ornpcap
