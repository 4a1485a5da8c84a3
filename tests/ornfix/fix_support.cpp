#include "tests/ornfix/fix_support.hpp"

#include <algorithm>
#include <random>

#include "ornfix/run.hpp"
#include "trace/record_source.hpp"
#include "trace/trace_file.hpp"

namespace ornpcap::test::fix {

namespace {

Bytes bytesOf(const Record& r, uint16_t version) {
    return tracebuild::encodeRecord(r.header, r.payload, version);
}

struct Collector final : RecordSink {
    std::vector<Record> records;
    ResultCode start(const OpenedTrace&) override { return ResultCode::Ok; }
    ResultCode record(const EventRecord& r, const uint8_t* p) override {
        records.push_back({r, p != nullptr ? Bytes(p, p + r.dataLength) : Bytes()});
        return ResultCode::Ok;
    }
    ResultCode finish(ResultCode result) override { return result; }
};

}  // namespace

void rebuild(BuiltTrace& t) { t.bytes = tracebuild::buildTrace(t.recipe); }

BuiltTrace buildTrace(std::vector<Record> records, uint16_t version, size_t chunk,
                      BlockMode mode) {
    BuiltTrace t;
    t.version = version;
    t.records = std::move(records);
    t.recipe.header.versionMajor = version;
    t.recipe.blocks = tracebuild::splitIntoBlocks(tracebuild::recordStream(t.records, version),
                                                chunk, mode);
    uint64_t at = tracebuild::headerSizeFor(version);
    uint64_t stream = 0;
    for (size_t i = 0; i < t.recipe.blocks.size(); ++i) {
        t.blockBegin.push_back(at);
        at += tracebuild::encodeBlock(t.recipe.blocks[i], static_cast<uint16_t>(i + 1)).size();
        t.blockEnd.push_back(at);
        stream += t.recipe.blocks[i].data.size();
        t.blockStreamEnd.push_back(stream);
    }
    const uint32_t headerSize = recordFormOf(version).headerSize;
    stream = 0;
    for (const Record& r : t.records) {
        t.recordStart.push_back(stream);
        stream += headerSize + r.payload.size();
        t.recordEnd.push_back(stream);
    }
    rebuild(t);
    return t;
}

std::vector<Record> variedRecords(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Record> records;
    for (size_t i = 0; i < count; ++i) {
        Record r;
        const size_t size = random() % 4 == 0 ? random() % 20 : random() % 300;
        r.payload.resize(size);
        for (uint8_t& b : r.payload) {
            b = static_cast<uint8_t>(random());
        }
        r.header.timeMs = static_cast<uint32_t>(1000 + 7 * i + random() % 5);
        r.header.port = static_cast<uint16_t>(30 + i % 3);
        r.header.lsn = static_cast<uint16_t>(i % 4);
        r.header.eventType = i % 2 == 0 ? kEventFrameSent : kEventFrameReceived;
        r.header.eventStatus = i % 17 == 5 ? 1 : 0;
        r.header.origLength = static_cast<uint16_t>(size + (i % 5 == 0 ? 4 : 0));
        r.header.dataLength = static_cast<uint16_t>(size);
        records.push_back(std::move(r));
    }
    return records;
}

std::vector<Record> trafficRecords(tracebuild::TrafficFormat format, size_t count,
                                   uint32_t seed) {
    std::vector<Record> records;
    tracebuild::TrafficSpec recipe;
    recipe.format = format;
    recipe.port = 30;
    recipe.lsns = 3;
    recipe.count = count;
    recipe.seed = seed;
    tracebuild::generateTraffic(recipe, [&](const EventRecord& r, std::span<const uint8_t> p) {
        records.push_back({r, Bytes(p.begin(), p.end())});
    });
    return records;
}

std::vector<Record> everyKindRecords(size_t count, uint32_t seed, uint16_t version) {
    std::mt19937 random(seed);
    const auto oneIn = [&random](uint32_t n) { return random() % n == 0; };
    constexpr uint8_t kRareTypes[] = {1, 2, 30, 99, 200};
    constexpr uint8_t kRareStatuses[] = {1, 2, 7, 255};
    constexpr uint16_t kPorts[] = {30, 31, 32, 3, 7};
    std::vector<Record> records;
    uint32_t time = 500;
    for (size_t i = 0; i < count; ++i) {
        Record r;
        const size_t size = oneIn(10)   ? 0
                            : oneIn(15) ? 1601 + random() % 1400
                                        : 1 + random() % 300;
        r.payload.resize(size);
        for (uint8_t& b : r.payload) {
            b = static_cast<uint8_t>(random());
        }
        time = oneIn(40) ? time - std::min<uint32_t>(time, 1 + random() % 500)
                         : time + random() % 40;
        r.header.recordWord = static_cast<uint16_t>(random());
        r.header.timeMs = time;
        r.header.port = kPorts[oneIn(8) ? 3 + random() % 2 : random() % 3];
        r.header.lsn = static_cast<uint16_t>(random() % (version == 5 ? 6 : 9));
        r.header.auxWord1 = static_cast<uint16_t>(random());
        r.header.auxWord2 = static_cast<uint16_t>(random() % (version == 5 ? 256 : 65536));
        const uint8_t frame = random() % 2 == 0 ? kEventFrameSent : kEventFrameReceived;
        r.header.eventType = oneIn(25) ? kRareTypes[random() % 5] : frame;
        r.header.auxByte = static_cast<uint8_t>(random());
        r.header.eventStatus = oneIn(20) ? kRareStatuses[random() % 4] : 0;
        r.header.origLength = static_cast<uint16_t>(
            oneIn(50) ? size / 2 : size + (oneIn(5) ? random() % 100 : 0));
        r.header.auxLong = static_cast<uint32_t>(random());
        r.header.dataLength = static_cast<uint16_t>(size);
        records.push_back(std::move(r));
    }
    return records;
}

Bytes noise(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

std::vector<Record> recordsWithin(const BuiltTrace& t, uint64_t streamOffset) {
    std::vector<Record> within;
    for (size_t i = 0; i < t.records.size() && t.recordEnd[i] <= streamOffset; ++i) {
        within.push_back(t.records[i]);
    }
    return within;
}

std::vector<size_t> recordsClearOf(const BuiltTrace& t, const std::vector<size_t>& blocks) {
    std::vector<size_t> clear;
    for (size_t i = 0; i < t.records.size(); ++i) {
        const bool touches = std::any_of(blocks.begin(), blocks.end(), [&](size_t b) {
            const uint64_t from = b == 0 ? 0 : t.blockStreamEnd[b - 1];
            return t.recordStart[i] < t.blockStreamEnd[b] && t.recordEnd[i] > from;
        });
        if (!touches) {
            clear.push_back(i);
        }
    }
    return clear;
}

std::optional<std::vector<Record>> readBack(const TempDir& dir, const Bytes& trace,
                                            std::string* why) {
    const std::string name = dir / "read-back.orn";
    dir.write("read-back.orn", trace);
    uint16_t major = 0;
    uint16_t minor = 0;
    TraceFault fault;
    if (probeTrace(name, major, minor, &fault) != ResultCode::Ok) {
        if (why != nullptr) {
            *why = "probe: " + std::to_string(exitCode(fault.code));
        }
        return std::nullopt;
    }
    Collector collector;
    TraceReport report;
    const ResultCode rc = readTrace({name, major, minor, nullptr}, collector, &report);
    if (rc != ResultCode::Ok || report.incompleteBytes != 0 || report.blockAfterEnd) {
        if (why != nullptr) {
            *why = "read: " + std::to_string(exitCode(rc)) + ", incomplete bytes " +
                   std::to_string(report.incompleteBytes);
        }
        return std::nullopt;
    }
    return collector.records;
}

std::optional<std::vector<size_t>> placesIn(const std::vector<Record>& got,
                                            const std::vector<Record>& original,
                                            uint16_t version, std::string* why) {
    std::vector<size_t> places;
    size_t j = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const Bytes wanted = bytesOf(got[i], version);
        while (j < original.size() && bytesOf(original[j], version) != wanted) {
            ++j;
        }
        if (j == original.size()) {
            if (why != nullptr) {
                *why = "record " + std::to_string(i) + " of the repaired trace (time " +
                       std::to_string(got[i].header.timeMs) + ") is no record of the original";
            }
            return std::nullopt;
        }
        places.push_back(j++);
    }
    return places;
}

bool sameRecords(const std::vector<Record>& a, const std::vector<Record>& b, uint16_t version) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [version](const Record& x, const Record& y) {
                                                  return bytesOf(x, version) == bytesOf(y, version);
                                              });
}

std::string checkRepair(const BuiltTrace& original, const Bytes& damaged,
                        const std::vector<size_t>& touched, size_t* kept) {
    const ornfix::MemoryRepair repair = ornfix::repairInMemory(damaged);
    if (repair.code != ResultCode::Ok) {
        return "exit " + std::to_string(exitCode(repair.code));
    }
    TempDir dir;
    std::string why;
    const auto got = readBack(dir, repair.output, &why);
    if (!got) {
        return "the repaired trace does not read back: " + why;
    }
    if (kept != nullptr) {
        *kept = got->size();
    }
    const auto places = placesIn(*got, original.records, original.version, &why);
    if (!places) {
        return why;
    }
    size_t lost = 0;
    size_t first = 0;
    for (size_t i : recordsClearOf(original, touched)) {
        if (!std::binary_search(places->begin(), places->end(), i) && lost++ == 0) {
            first = i;
        }
    }
    if (lost != 0) {
        return std::to_string(lost) + " records clear of the damage lost, the first record " +
               std::to_string(first) + " (time " +
               std::to_string(original.records[first].header.timeMs) + ")";
    }
    return "";
}

}  // namespace ornpcap::test::fix
