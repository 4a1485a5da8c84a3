#include "trace/event_record.hpp"

#include "trace/byte_order.hpp"

namespace ornpcap {

EventRecord decodeEventRecord(const uint8_t* h) {
    EventRecord r;
    r.recordWord = loadLe16(h + 0);
    r.timeMs = loadLe32(h + 2);
    r.port = loadLe16(h + 6);
    r.lsn = loadLe16(h + 8);
    r.auxWord1 = loadLe16(h + 10);
    r.auxWord2 = loadLe16(h + 12);
    r.eventType = h[14];
    r.auxByte = h[15];
    r.eventStatus = h[16];
    r.origLength = loadLe16(h + 17);
    r.auxLong = loadLe32(h + 19);
    r.dataLength = loadLe16(h + 23);
    return r;
}

EventRecord decodeEventRecordV5(const uint8_t* h) {
    EventRecord r;
    r.recordWord = loadLe16(h + 0);
    r.timeMs = loadLe32(h + 2);
    r.port = loadLe16(h + 6);
    r.lsn = h[8];
    r.auxWord1 = loadLe16(h + 9);
    r.auxWord2 = h[11];
    r.eventType = h[12];
    r.auxByte = h[13];
    r.eventStatus = h[14];
    r.origLength = loadLe16(h + 15);
    r.auxLong = loadLe32(h + 17);
    r.dataLength = loadLe16(h + 21);
    return r;
}

void encodeEventRecord(const EventRecord& r, uint8_t* h) {
    storeLe16(h + 0, r.recordWord);
    storeLe32(h + 2, r.timeMs);
    storeLe16(h + 6, r.port);
    storeLe16(h + 8, r.lsn);
    storeLe16(h + 10, r.auxWord1);
    storeLe16(h + 12, r.auxWord2);
    h[14] = r.eventType;
    h[15] = r.auxByte;
    h[16] = r.eventStatus;
    storeLe16(h + 17, r.origLength);
    storeLe32(h + 19, r.auxLong);
    storeLe16(h + 23, r.dataLength);
}

void encodeEventRecordV5(const EventRecord& r, uint8_t* h) {
    storeLe16(h + 0, r.recordWord);
    storeLe32(h + 2, r.timeMs);
    storeLe16(h + 6, r.port);
    h[8] = static_cast<uint8_t>(r.lsn);
    storeLe16(h + 9, r.auxWord1);
    h[11] = static_cast<uint8_t>(r.auxWord2);
    h[12] = r.eventType;
    h[13] = r.auxByte;
    h[14] = r.eventStatus;
    storeLe16(h + 15, r.origLength);
    storeLe32(h + 17, r.auxLong);
    storeLe16(h + 21, r.dataLength);
}

}  // namespace ornpcap
