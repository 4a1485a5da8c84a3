#include "trace/event_record.hpp"

#include "base/byte_order.hpp"

namespace ornpcap {

namespace {

constexpr RecordForm kWide = {25, 23, false};
constexpr RecordForm kNarrow = {23, 21, true};

}  // namespace

RecordForm recordFormOf(uint16_t versionMajor) { return versionMajor == 5 ? kNarrow : kWide; }

EventRecord decodeEventRecord(const uint8_t* h, const RecordForm& form) {
    // Fields from lsn on stand one byte earlier for each narrow field before them.
    const uint32_t a = form.narrow ? 1 : 0;  // after lsn
    const uint32_t b = form.narrow ? 2 : 0;  // after auxWord2
    EventRecord r;
    r.recordWord = loadLe16(h + 0);
    r.timeMs = loadLe32(h + 2);
    r.port = loadLe16(h + 6);
    r.lsn = form.narrow ? h[8] : loadLe16(h + 8);
    r.auxWord1 = loadLe16(h + 10 - a);
    r.auxWord2 = form.narrow ? h[11] : loadLe16(h + 12);
    r.eventType = h[14 - b];
    r.auxByte = h[15 - b];
    r.eventStatus = h[16 - b];
    r.origLength = loadLe16(h + 17 - b);
    r.auxLong = loadLe32(h + 19 - b);
    r.dataLength = loadLe16(h + 23 - b);
    return r;
}

void encodeEventRecord(const EventRecord& r, uint8_t* h, const RecordForm& form) {
    const uint32_t a = form.narrow ? 1 : 0;
    const uint32_t b = form.narrow ? 2 : 0;
    storeLe16(h + 0, r.recordWord);
    storeLe32(h + 2, r.timeMs);
    storeLe16(h + 6, r.port);
    if (form.narrow) {
        h[8] = static_cast<uint8_t>(r.lsn);
        h[11] = static_cast<uint8_t>(r.auxWord2);
    } else {
        storeLe16(h + 8, r.lsn);
        storeLe16(h + 12, r.auxWord2);
    }
    storeLe16(h + 10 - a, r.auxWord1);
    h[14 - b] = r.eventType;
    h[15 - b] = r.auxByte;
    h[16 - b] = r.eventStatus;
    storeLe16(h + 17 - b, r.origLength);
    storeLe32(h + 19 - b, r.auxLong);
    storeLe16(h + 23 - b, r.dataLength);
}

}  // namespace ornpcap
