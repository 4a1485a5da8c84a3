// Fuzz target: ornfix on arbitrary trace bytes. Whatever it writes must pass
// OrnPcap's probe and validation, read whole (every block checked and
// expanded, no record cut) with as many records as ornfix reported, convert
// to pcap without error, and need no repair itself.
//
// An input that reads whole as a trace, its blocks filling it, is the
// original of a damaged copy too: damage of a kind and at a place its bytes choose (a byte flipped,
// bytes zeroed, cut out or inserted, a block dropped or written twice, the
// file cut), repaired in turn. The records of that repair must be records of
// the original, byte for byte and in its order.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "ornpcap/plan.hpp"
#include "base/byte_order.hpp"
#include "ornfix/run.hpp"
#include "trace/trace_file.hpp"

using namespace ornpcap::converter;

using namespace ornpcap;

namespace {

using Bytes = std::vector<uint8_t>;

void check(bool promiseKept) {
    if (!promiseKept) {
        std::abort();
    }
}

std::string scratchName(const char* suffix) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/ornfix_fuzz." +
           std::to_string(::getpid()) + suffix;
}

// Each record as one string of bytes: its header in the 25-byte form, then
// its payload.
struct Collector final : RecordSink {
    std::vector<Bytes> records;
    ResultCode start(const OpenedTrace&) override { return ResultCode::Ok; }
    ResultCode record(const EventRecord& r, const uint8_t* payload) override {
        Bytes bytes(25);
        encodeEventRecord(r, bytes.data(), recordFormOf(8));
        if (payload != nullptr) {
            bytes.insert(bytes.end(), payload, payload + r.dataLength);
        }
        records.push_back(std::move(bytes));
        return ResultCode::Ok;
    }
    ResultCode finish(ResultCode result) override { return result; }
};

struct ReadWhole {
    uint16_t major = 0;
    uint16_t minor = 0;
    std::vector<Bytes> records;
};

// The records of a trace written to `name`, read as OrnPcap reads it;
// nullopt when it does not read whole.
std::optional<ReadWhole> readWhole(const std::string& name, std::span<const uint8_t> bytes) {
    std::FILE* out = std::fopen(name.c_str(), "wb");
    check(out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() &&
          std::fclose(out) == 0);
    ReadWhole trace;
    if (probeTrace(name, trace.major, trace.minor) != ResultCode::Ok) {
        return std::nullopt;
    }
    Collector collector;
    TraceReport report;
    if (readTrace({name, trace.major, trace.minor, nullptr}, collector, &report) !=
            ResultCode::Ok ||
        report.incompleteBytes != 0 || report.blockAfterEnd) {
        return std::nullopt;
    }
    trace.records = std::move(collector.records);
    return trace;
}

// The repaired trace, written to a file, as OrnPcap takes it; its records.
std::vector<Bytes> checkRepaired(const ornfix::MemoryRepair& repair) {
    const std::string trace = scratchName(".orn");
    const std::optional<ReadWhole> read = readWhole(trace, repair.output);
    check(read && acceptVersion(read->major, read->minor));
    check(read->records.size() == repair.plan.records.records && !read->records.empty());

    ConversionSettings settings;
    settings.inputName = trace;
    settings.outputName = scratchName(".pcap");
    settings.versionMajor = read->major;
    settings.versionMinor = read->minor;
    settings.port = loadLe16(&read->records.front()[6]);
    ConversionStats stats;
    const ResultCode converted = runPlan(makePlan(settings), stats).code;
    check(converted == ResultCode::Ok || converted == ResultCode::NoEvents);
    check(stats.traceRecords == static_cast<int32_t>(read->records.size()));
    std::remove(settings.outputName.c_str());
    std::remove(trace.c_str());
    check(ornfix::repairInMemory(repair.output).code == ResultCode::NeedsNoRepair);
    return read->records;
}

// Numbers drawn from the input's own bytes (FNV-1a, then xorshift).
class Draw {
public:
    explicit Draw(std::span<const uint8_t> bytes) {
        for (const uint8_t b : bytes) {
            state_ = (state_ ^ b) * 0x100000001B3ull;
        }
    }
    uint64_t below(uint64_t n) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return n == 0 ? 0 : state_ % n;
    }

private:
    uint64_t state_ = 0xCBF29CE484222325ull;
};

// The offsets of the blocks of a trace that reads whole and whose blocks fill
// it, and where they end: the blocks the conversion reads, as it reads them.
std::vector<size_t> blockOffsets(const Bytes& trace, uint16_t major) {
    std::vector<size_t> offsets;
    size_t at = major == 8 ? 203 : major == 7 ? 191 : 180;
    const size_t end = trace.size() - 16;
    const uint16_t count = loadLe16(&trace[trace.size() - 14]);
    for (uint16_t i = 0; i < count && at + 6 <= end; ++i) {
        offsets.push_back(at);
        at = std::min(end, at + 6 + loadLe16(&trace[at + 2]));
    }
    offsets.push_back(at);
    return offsets;
}

// One damage of a kind and at a place the draw chooses.
Bytes damaged(const Bytes& original, uint16_t major, Draw& draw) {
    Bytes t = original;
    const std::vector<size_t> blocks = blockOffsets(t, major);
    const size_t first = blocks.front();
    const size_t streamEnd = blocks.back();
    const size_t at = first + draw.below(streamEnd - first);
    const size_t length = 1 + draw.below(std::min<size_t>(700, streamEnd - at));
    const auto from = [&t](size_t offset) {
        return t.begin() + static_cast<std::ptrdiff_t>(offset);
    };
    const size_t block = draw.below(blocks.size() - 1);
    const size_t blockEnd = blocks[block + 1];
    switch (draw.below(7)) {
        case 0: t[at] ^= static_cast<uint8_t>(1 + draw.below(255)); break;
        case 1: std::fill(from(at), from(at + length), 0); break;
        case 2: t.erase(from(at), from(at + length)); break;
        case 3: {
            Bytes junk(length);
            for (uint8_t& b : junk) {
                b = static_cast<uint8_t>(draw.below(256));
            }
            t.insert(from(at), junk.begin(), junk.end());
            break;
        }
        case 4: t.erase(from(blocks[block]), from(blockEnd)); break;
        case 5: {
            const Bytes copy(from(blocks[block]), from(blockEnd));
            t.insert(from(blockEnd), copy.begin(), copy.end());
            break;
        }
        default: t.resize(at); break;
    }
    return t;
}

// Whether every record of `kept` is a record of `original`, in its order.
bool subsequence(const std::vector<Bytes>& kept, const std::vector<Bytes>& original) {
    size_t j = 0;
    for (const Bytes& record : kept) {
        while (j < original.size() && original[j] != record) {
            ++j;
        }
        if (j++ == original.size()) {
            return false;
        }
    }
    return true;
}

// Whether the blocks the trailer counts fill the file from the header to
// the trailer: no byte that OrnPcap does not read, where records could hide.
bool streamFillsTheFile(std::span<const uint8_t> trace, uint16_t major) {
    const size_t header = major == 8 ? 203 : major == 7 ? 191 : 180;
    return header + loadLe32(&trace[trace.size() - 8]) + 16 == trace.size();
}

void checkDamagedCopies(std::span<const uint8_t> input) {
    const std::string name = scratchName(".original.orn");
    const std::optional<ReadWhole> original = readWhole(name, input);
    std::remove(name.c_str());
    if (!original || original->records.empty() || !streamFillsTheFile(input, original->major)) {
        return;
    }
    const Bytes trace(input.begin(), input.end());
    Draw draw(input);
    for (int round = 0; round < 3; ++round) {
        const Bytes copy = damaged(trace, original->major, draw);
        const ornfix::MemoryRepair repair = ornfix::repairInMemory(copy);
        if (repair.code == ResultCode::Ok) {
            check(subsequence(checkRepaired(repair), original->records));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ornfix::MemoryRepair repair = ornfix::repairInMemory({data, size});
    check(repair.code == ResultCode::Ok || repair.code == ResultCode::NeedsNoRepair ||
          repair.code == ResultCode::CannotRepair);
    if (repair.code == ResultCode::Ok) {
        checkRepaired(repair);
    }
    checkDamagedCopies({data, size});
    return 0;
}
