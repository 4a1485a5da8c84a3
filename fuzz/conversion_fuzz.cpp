// Fuzz target: every converter on arbitrary trace bytes. Each input becomes
// Trace.orn in a directory of this process and is converted by a fixed set of
// jobs (pcap in several frame formats and LSN modes, .vn in ANY and ALL mode,
// .i4b). After each job the files written are read back: each must be whole,
// and files and records must agree with the counters. The directory is
// emptied between jobs.

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ornpcap/plan.hpp"
#include "base/byte_order.hpp"
#include "base/interrupt.hpp"
#include "trace/trace_file.hpp"

using namespace ornpcap::converter;

using namespace ornpcap;
namespace fs = std::filesystem;

namespace {

struct Job {
    FrameFormat format;
    uint16_t port;  // the ports of the seed traces
    LsnMode lsnMode;
    uint16_t lsn;
    Direction direction;
};
constexpr Job kJobs[] = {
    {FrameFormat::Ethernet, 30, LsnMode::Any, 0, Direction::InOut},
    {FrameFormat::Ethernet, 30, LsnMode::Any, 0, Direction::In},
    {FrameFormat::PppSync, 20, LsnMode::One, 1, Direction::In},
    {FrameFormat::PppAsync, 21, LsnMode::All, 0, Direction::Out},
    {FrameFormat::RawIp, 40, LsnMode::Any, 0, Direction::InOut},
    {FrameFormat::InternalUdp, 50, LsnMode::All, 0, Direction::InOut},
    {FrameFormat::PppSync, 20, LsnMode::Any, 0, Direction::InOut},   // .vn
    {FrameFormat::PppAsync, 21, LsnMode::All, 0, Direction::InOut},  // .vn
    {FrameFormat::I4bIsdn, 3, LsnMode::Any, 0, Direction::InOut},
};

// A run stops (as if interrupted) once it has read this many blocks or handed
// over this many records, so that no input costs more than a moment.
constexpr uint64_t kMostBlocks = 64;
constexpr int32_t kMostRecords = 20000;

void check(bool promiseKept) {
    if (!promiseKept) {
        std::abort();
    }
}

using Bytes = std::vector<uint8_t>;

// Records in a pcap, .vn or .i4b file; -1 when the file is not whole.
long countRecords(const Bytes& f, const std::string& extension, FrameFormat format) {
    long count = 0;
    size_t pos = 0;
    if (extension == ".pcap") {
        if (f.size() < 24 || loadLe32(&f[0]) != 0xA1B2C3D4 ||
            loadLe32(&f[20]) != linkTypeOf(format)) {
            return -1;
        }
        for (pos = 24; pos + 16 <= f.size(); ++count) {
            pos += 16 + uint64_t{loadLe32(&f[pos + 8])};
        }
    } else if (extension == ".vn") {
        const long packets = f.size() < 192 ? -1 : loadLe32(&f[4]);
        if (packets < 0 || (f.size() - 192) / 4 < static_cast<size_t>(packets)) {
            return -1;
        }
        const size_t indexStart = f.size() - 4 * static_cast<size_t>(packets);
        for (pos = 192; count < packets; ++count) {
            if (pos + 20 > indexStart || loadLe32(&f[indexStart + 4 * count]) != pos) {
                return -1;
            }
            pos += 20 + size_t{loadLe16(&f[pos + 6])};
        }
        return pos == indexStart ? count : -1;
    } else {
        for (; pos + 32 <= f.size() && loadLe32(&f[pos]) >= 32; ++count) {
            if (loadLe32(&f[pos + 20]) != static_cast<uint32_t>(count + 1)) {
                return -1;
            }
            pos += loadLe32(&f[pos]);
        }
    }
    return pos == f.size() ? count : -1;
}

struct Workspace final : BlockObserver {
    fs::path dir;
    std::string trace;
    ConversionStats* stats = nullptr;  // of the run in progress
    uint64_t blocks = 0;

    Workspace() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                              "/conversion_fuzz.XXXXXX";
        check(::mkdtemp(pattern.data()) != nullptr);
        dir = pattern;
        trace = (dir / "Trace.orn").string();
    }
    void blockDone(const BlockProgress&) override {
        if (++blocks >= kMostBlocks || stats->traceRecords >= kMostRecords) {
            raiseInterrupt(SIGTERM);
        }
    }
    ~Workspace() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Checks what the run left against its counters, then removes it.
    void collect(const ConversionStats& s, FrameFormat format) {
        std::vector<fs::path> outputs;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path() != trace) {
                outputs.push_back(entry.path());
            }
        }
        long records = 0;
        for (const fs::path& path : outputs) {
            std::ifstream in(path, std::ios::binary);
            const Bytes bytes{std::istreambuf_iterator<char>(in), {}};
            const long count = countRecords(bytes, path.extension().string(), format);
            check(count >= 0);
            records += count;
            fs::remove(path);
        }
        const long files = static_cast<long>(outputs.size());
        check(files == s.generatedFiles && records == s.outputRecords);
        check(s.outputRecords == s.inRecords + s.outRecords &&
              s.outputRecords + s.discardedRecords <= s.traceRecords);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Workspace workspace;
    std::FILE* out = std::fopen(workspace.trace.c_str(), "wb");
    check(out != nullptr && std::fwrite(data, 1, size, out) == size && std::fclose(out) == 0);
    uint16_t major = 0;
    uint16_t minor = 0;
    const bool probed = probeTrace(workspace.trace, major, minor) == ResultCode::Ok;

    for (size_t i = 0; i < std::size(kJobs); ++i) {
        const Job& job = kJobs[i];
        ConversionSettings settings;
        settings.inputName = workspace.trace;
        settings.outputName = (workspace.dir / "out.pcap").string();
        // A trace the probe refuses still goes to the validation, as some version.
        settings.versionMajor = probed ? major : static_cast<uint16_t>(5 + i % 4);
        settings.versionMinor = probed ? minor : 0;
        settings.format = job.format;
        settings.port = job.port;
        settings.lsnMode = job.lsnMode;
        settings.lsn = job.lsn;
        settings.direction = job.direction;
        ConversionStats stats;
        workspace.stats = &stats;
        workspace.blocks = 0;
        clearInterrupt();
        const ResultCode rc = runPlan(makePlan(settings), stats, &workspace).code;
        check(rc != ResultCode::Ok || stats.generatedFiles > 0);
        check(rc != ResultCode::NoEvents || stats.generatedFiles == 0);
        workspace.collect(stats, job.format);
    }
    clearInterrupt();
    return 0;
}
