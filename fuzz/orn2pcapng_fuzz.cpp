// Fuzz target: orn2pcapng's export on arbitrary trace bytes. Each input
// becomes Trace.orn and is exported three times, as orn2pcapng does it (the
// probe, the format choice in front of the pcapng writer, one pass over the
// trace, the report): every port as recognised into a file; the ports of the
// seed traces named with each format into a pipe, whose snapLen cannot be
// raised at the end; every port as recognised into a pipe, with little room
// to hold records, so that ports are decided early. Whatever is written must
// read as pcapng block by block to its end: a section header first, every
// packet on an interface described before it and within its snapLen, every
// statistics block on one, and a file's snapLens all alike.

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/byte_order.hpp"
#include "base/interrupt.hpp"
#include "orn2pcapng/format_choice.hpp"
#include "orn2pcapng/report.hpp"
#include "trace/trace_file.hpp"
#include "frames/pcapng_framing.hpp"

using namespace ornpcap::orn2pcapng;

using namespace ornpcap;

namespace {

void check(bool promiseKept) {
    if (!promiseKept) {
        std::abort();
    }
}

using Bytes = std::vector<uint8_t>;

// A run stops (as if interrupted) once it has read this many blocks or
// handed over this many records, so that no input costs more than a moment.
constexpr uint64_t kMostBlocks = 64;
constexpr uint64_t kMostRecords = 20000;

struct Limit final : BlockObserver {
    const PcapngSink* writer = nullptr;
    uint64_t blocks = 0;
    void blockDone(const BlockProgress&) override {
        if (++blocks >= kMostBlocks || writer->totals().records >= kMostRecords) {
            raiseInterrupt(SIGTERM);
        }
    }
};

constexpr uint32_t kSectionHeader = 0x0A0D0D0A, kInterface = 1, kStatistics = 5,
                   kEnhancedPacket = 6;

struct Interface {
    uint16_t linkType;
    uint32_t snapLength;
};

// Checks the file block by block; the interfaces it describes.
std::vector<Interface> checkPcapng(const Bytes& f) {
    check(f.size() >= 28 && loadLe32(&f[0]) == kSectionHeader && loadLe32(&f[8]) == 0x1A2B3C4D);
    std::vector<Interface> interfaces;
    for (size_t at = 0; at < f.size();) {
        check(at + 12 <= f.size());
        const uint32_t type = loadLe32(&f[at]), length = loadLe32(&f[at + 4]);
        check(length >= 12 && length % 4 == 0 && length <= f.size() - at &&
              loadLe32(&f[at + length - 4]) == length);
        check(type != kSectionHeader || at == 0);
        if (type == kInterface) {
            check(length >= 20);
            interfaces.push_back({loadLe16(&f[at + 8]), loadLe32(&f[at + 12])});
        } else if (type == kEnhancedPacket || type == kStatistics) {
            check(length >= (type == kStatistics ? 24u : 32u));
            const uint32_t id = loadLe32(&f[at + 8]);
            check(id < interfaces.size());
            if (type == kEnhancedPacket) {
                const uint32_t captured = loadLe32(&f[at + 20]);
                check(captured <= length - 32);
                check(interfaces[id].snapLength == 0 || captured <= interfaces[id].snapLength);
            }
        } else {
            check(type == kSectionHeader);
        }
        at += length;
    }
    return interfaces;
}

struct Job {
    bool pipe;
    bool named;       // the seed traces' ports, each with its format
    size_t holdBytes;
};
constexpr Job kJobs[] = {
    {false, false, size_t{16} << 20},
    {true, true, size_t{16} << 20},
    {true, false, 4096},
};

const std::vector<PortRequest> kNamedPorts = {{30, 1}, {20, 2}, {21, 3}, {40, 4}, {3, 5}, {50, 6}};

// Reads a pipe to its end on a thread of its own.
struct PipeReader {
    int fds[2] = {-1, -1};
    Bytes bytes;
    std::thread thread;
    PipeReader() {
        check(::pipe(fds) == 0);
        thread = std::thread([this] {
            uint8_t chunk[65536];
            for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;) {
                bytes.insert(bytes.end(), chunk, chunk + n);
            }
        });
    }
    std::string name() const { return "/dev/fd/" + std::to_string(fds[1]); }
    const Bytes& finish() {
        ::close(fds[1]);
        thread.join();
        ::close(fds[0]);
        return bytes;
    }
};

Bytes readFile(const std::string& name) {
    Bytes bytes;
    if (std::FILE* in = std::fopen(name.c_str(), "rb")) {
        uint8_t chunk[65536];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        std::fclose(in);
    }
    return bytes;
}

std::string scratchName(const char* suffix) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/orn2pcapng_fuzz." +
           std::to_string(::getpid()) + suffix;
}

void exportOnce(const std::string& trace, uint16_t major, uint16_t minor, const Job& job) {
    const std::unique_ptr<PipeReader> pipe = job.pipe ? std::make_unique<PipeReader>() : nullptr;
    const std::string output = pipe != nullptr ? pipe->name() : scratchName(".pcapng");
    const Orn2PcapngSettings settings{trace, output,
                                      job.named ? kNamedPorts : std::vector<PortRequest>{}};
    PcapngSink writer({output, trace, "orn2pcapng_fuzz"});
    FormatChoice choice(writer, settings.ports, {job.holdBytes});
    Limit limit;
    limit.writer = &writer;
    clearInterrupt();
    TraceReport report;
    const ResultCode rc = readTrace({trace, major, minor, &limit, 1}, choice, &report);
    check(rc != ResultCode::Ok || writer.started());
    const ExportSummary summary{settings, writer, choice.ports()};
    check(!reportLines(summary).empty());
    portWarnings(summary);
    const Bytes written = pipe != nullptr ? pipe->finish() : readFile(output);
    if (pipe == nullptr) {
        std::remove(output.c_str());
    }
    if (!writer.started() || rc == ResultCode::CannotWriteTarget) {
        return;
    }
    const std::vector<Interface> interfaces = checkPcapng(written);
    check(interfaces.size() == writer.interfaces().size());
    const bool unlimited = report.header.snapLength() == 0;
    for (size_t i = 0; i < interfaces.size(); ++i) {
        const FrameFormat format = writer.interfaces()[i]->format;
        check(interfaces[i].linkType == pcapngLinkOf(format).linkType);
        // A file's snapLens are alike; a pipe's the longest packet of the link type.
        const uint32_t snap = interfaces[i].snapLength;
        check(job.pipe ? snap == (unlimited ? 0 : pcapngLongestPacket(format))
                       : snap == interfaces.front().snapLength && (snap == 0) == unlimited);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string trace = scratchName(".orn");
    std::FILE* out = std::fopen(trace.c_str(), "wb");
    check(out != nullptr && std::fwrite(data, 1, size, out) == size && std::fclose(out) == 0);
    uint16_t major = 0;
    uint16_t minor = 0;
    TraceFault fault;
    if (probeConvertibleTrace(trace, major, minor, fault) == ResultCode::Ok) {
        for (const Job& job : kJobs) {
            exportOnce(trace, major, minor, job);
        }
    }
    clearInterrupt();
    std::remove(trace.c_str());
    return 0;
}
