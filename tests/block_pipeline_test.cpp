// Blocks checked and expanded on worker threads against the same traces read
// on one thread: intact and damaged traces, refusing and interrupted sinks,
// every sink call, progress step and report field, the converters' output
// bytes, and the tool's standard output and exit code.

#include <gtest/gtest.h>

#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "ornpcap/plan.hpp"
#include "base/interrupt.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"
#include "trace/block_expander.hpp"
#include "trace/block_pipeline.hpp"
#include "trace/record_source.hpp"

using namespace ornpcap::converter;

namespace ornpcap::test {
namespace {

namespace fs = std::filesystem;
using tracebuild::BlockMode;
using tracebuild::BlockSpec;
using tracebuild::TraceSpec;
using enum ResultCode;

// The same numbers for the same seed.
struct Numbers {
    uint32_t state;
    uint32_t below(uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    }
};

// Records of port 3 of 0 to 299 bytes, random or compressible, sent and
// received in turn, on LSNs 0 to 4; every fifth has a status the writers skip.
Bytes recordStream(uint32_t seed, size_t count, uint16_t version = 8) {
    Numbers numbers{seed};
    Bytes stream;
    for (size_t n = 0; n < count; ++n) {
        EventRecord r;
        r.timeMs = static_cast<uint32_t>(n * 7);
        r.port = 3;
        r.lsn = static_cast<uint16_t>(n % 5);
        r.eventType = n % 2 ? kEventFrameReceived : kEventFrameSent;
        r.eventStatus = n % 5 == 4 ? 1 : 0;
        Bytes payload(numbers.below(300), static_cast<uint8_t>(n));
        const bool random = numbers.below(2) == 0;
        for (size_t i = 0; i < payload.size() && random; ++i) {
            payload[i] = static_cast<uint8_t>(numbers.below(256));
        }
        if (!payload.empty()) {
            payload[0] = 0x45;
        }
        r.origLength = static_cast<uint16_t>(payload.size() + 4);
        const Bytes one = tracebuild::encodeRecord(r, payload, version);
        stream.insert(stream.end(), one.begin(), one.end());
    }
    return stream;
}

TraceSpec traceOf(const Bytes& stream, size_t chunk, BlockMode mode, uint16_t version = 8) {
    TraceSpec layout;
    layout.header.versionMajor = version;
    layout.blocks = tracebuild::splitIntoBlocks(stream, chunk, mode);
    return layout;
}

// 40 or so blocks of every kind.
TraceSpec mixedTrace() { return traceOf(recordStream(7, 120), 450, BlockMode::Alternate); }

// The parts, one space after each.
template <class... Parts>
std::string joined(const Parts&... parts) {
    std::ostringstream text;
    ((text << parts << ' '), ...);
    return text.str();
}

// Where the sink ends the run, counting from 1; 0: never.
struct SinkPlan {
    size_t refuseRecord = 0;
    size_t interruptRecord = 0;  // raises SIGINT during that record
    size_t interruptBlock = 0;   // raises SIGTERM once that block is done
};

// Everything a run shows: sink calls, progress steps and the report, one line
// each.
struct Transcript final : RecordSink, BlockObserver {
    std::vector<std::string> lines;
    SinkPlan plan;
    size_t records = 0;
    size_t blocks = 0;

    ResultCode start(const OpenedTrace& trace) override {
        lines.push_back(joined("start", trace.trailer.blockCount()));
        return Ok;
    }
    ResultCode record(const EventRecord& r, const uint8_t* payload) override {
        uint32_t hash = 2166136261u;
        for (size_t i = 0; payload != nullptr && i < r.dataLength; ++i) {
            hash = (hash ^ payload[i]) * 16777619u;
        }
        lines.push_back(joined("record", r.timeMs, r.lsn, int{r.eventType}, int{r.eventStatus},
                               r.dataLength, payload != nullptr ? hash : 0));
        if (++records == plan.interruptRecord) {
            raiseInterrupt(SIGINT);
        }
        return records == plan.refuseRecord ? CannotWriteTarget : Ok;
    }
    ResultCode finish(ResultCode result) override {
        lines.push_back(joined("finish", exitCode(result)));
        return result;
    }
    void blockDone(const BlockProgress& b) override {
        lines.push_back(joined("block", b.position, b.offset, b.stored, b.storedLength,
                               b.expandedLength, b.done, b.total));
        if (++blocks == plan.interruptBlock) {
            raiseInterrupt(SIGTERM);
        }
    }
};

using Stretches = TraceRequest::Stretches;

std::vector<std::string> transcriptOf(const std::string& trace, uint16_t version,
                                      uint32_t workers, const SinkPlan& plan = {},
                                      Stretches stretches = Stretches::Workers) {
    Transcript t;
    t.plan = plan;
    TraceReport report;
    TraceRequest request{trace, version, 0, &t};
    request.workers = workers;
    request.stretches = stretches;
    const ResultCode rc = readTrace(request, t, &report);
    clearInterrupt();
    const TraceFault& f = report.fault;
    t.lines.push_back(joined("result", exitCode(rc), "fault", exitCode(f.code),
                             static_cast<int>(f.check), f.block, f.offset, f.actual, f.limit,
                             f.osError, "read", report.blocksRead, "incomplete",
                             report.incompleteBytes, "after", report.blockAfterEnd, "validated",
                             report.validated));
    return t.lines;
}

void expectSameLines(const std::vector<std::string>& one, const std::vector<std::string>& many) {
    size_t i = 0;
    while (i < one.size() && i < many.size() && one[i] == many[i]) {
        ++i;
    }
    if (i < one.size() || i < many.size()) {
        ADD_FAILURE() << "line " << i << ": one thread '" << (i < one.size() ? one[i] : "(end)")
                      << "', workers '" << (i < many.size() ? many[i] : "(end)") << "'";
    }
}

// The last line of the transcript read on one thread must show that the case
// hits what it was made for.
struct PipelineCase {
    const char* name;
    std::function<Bytes()> make;
    std::string result;  // how the last line begins
    SinkPlan sink = {};
    uint16_t version = 8;
};

Bytes damaged(const std::function<void(TraceSpec&)>& damage) {
    TraceSpec layout = mixedTrace();
    damage(layout);
    return tracebuild::buildTrace(layout);
}

// Blocks of small records, then a block of the first 290 bytes of a record
// of 1100 zeros, which the reader carries over, and the tail: blocks of the
// bytes of that record from..to, compressed unless stored, cut short by cut
// bytes. maxBlockLength 300: 600 bytes of work buffer.
struct Piece {
    size_t from, to;
    bool stored = false;
    size_t cut = 0;
};

TraceSpec roomTrace(const std::vector<Piece>& tail) {
    TraceSpec layout = traceOf(recordStream(3, 16), 250, BlockMode::Compressed);
    EventRecord big;
    big.port = 3;
    const Bytes record = tracebuild::encodeRecord(big, Bytes(1100, 0), 8);
    std::vector<Piece> pieces = {{0, 290, true}};
    pieces.insert(pieces.end(), tail.begin(), tail.end());
    for (const Piece& piece : pieces) {
        BlockSpec block;
        block.data.assign(record.begin() + static_cast<long>(piece.from),
                          record.begin() + static_cast<long>(piece.to));
        block.stored = piece.stored;
        if (piece.cut != 0) {
            block.cutCompressedTo = tracebuild::compressNrv2b(block.data).size() - piece.cut;
        }
        layout.blocks.push_back(block);
    }
    layout.maxBlockLength = 300;
    return layout;
}

PipelineCase room(const char* name, const std::vector<Piece>& tail, TraceCheck check) {
    const TraceSpec layout = roomTrace(tail);
    const std::string result =
        check == TraceCheck::None
            ? "result 0 "
            : joined("result 11 fault 11", static_cast<int>(check), layout.blocks.size());
    return {name, [layout] { return tracebuild::buildTrace(layout); }, result};
}

std::vector<PipelineCase> pipelineCases() {
    const auto intact = [](uint32_t seed, size_t chunk, BlockMode mode, uint16_t version = 8) {
        return [=] { return tracebuild::buildTrace(traceOf(recordStream(seed, 150, version),
                                                           chunk, mode, version)); };
    };
    const std::string ok = "result 0 fault 0 0 0 0 0 0 0 read ";
    const std::string bad = "result 11 fault 11 ";
    return {
        {"compressed", intact(1, 300, BlockMode::Compressed), ok},
        {"stored", intact(2, 1000, BlockMode::Stored), ok},
        {"smallest, version 5", intact(3, 200, BlockMode::Smallest, 5), ok, {}, 5},
        {"one block", intact(4, 60000, BlockMode::Compressed), ok + "1 "},
        {"FCS of block 13",
         [] { return damaged([](TraceSpec& s) { s.blocks[12].fcs = 0x1234; }); },
         bad + std::to_string(int(TraceCheck::BlockChecksum)) + " 13 "},
        {"FCS of the first block",
         [] { return damaged([](TraceSpec& s) { s.blocks[0].fcs = 0x1234; }); },
         bad + std::to_string(int(TraceCheck::BlockChecksum)) + " 1 "},
        {"block 20 numbered 21",
         [] { return damaged([](TraceSpec& s) { s.blocks[19].number = 21; }); },
         bad + std::to_string(int(TraceCheck::BlockOutOfSequence)) + " 20 "},
        {"compressed block 11 cut short",
         [] { return damaged([](TraceSpec& s) { s.blocks[10].cutCompressedTo = 30; }); },
         bad + std::to_string(int(TraceCheck::BlockNotExpandable)) + " 11 "},
        {"bytes after the end marker of block 11",
         [] { return damaged([](TraceSpec& s) { s.blocks[10].appendToCompressed = {7}; }); },
         bad + std::to_string(int(TraceCheck::BlockNotExpandable)) + " 11 "},
        {"block 15 empty",
         [] { return damaged([](TraceSpec& s) { s.blocks[14].lengthField = 0; }); },
         "result 4 fault 4 " + std::to_string(int(TraceCheck::BlockEmpty)) + " 15 "},
        {"block 7 longer than maxBlockLength",
         [] { return damaged([](TraceSpec& s) { s.blocks[6].lengthField = 0xF000; }); },
         bad + std::to_string(int(TraceCheck::BlockTooLong)) + " 7 "},
        {"last block's data runs past the file",
         [] {
             return damaged([](TraceSpec& s) {
                 s.blocks.back().lengthField = 700;
                 s.maxBlockLength = 1000;
             });
         },
         "result 4 fault 4 " + std::to_string(int(TraceCheck::BlockDataCut))},
        {"FCS of block 5 before a cut block 9",
         [] {
             return damaged([](TraceSpec& s) {
                 s.blocks[4].fcs = 0x1234;
                 s.blocks[8].cutCompressedTo = 30;
             });
         },
         bad + std::to_string(int(TraceCheck::BlockChecksum)) + " 5 "},
        {"cut block 9 before a FCS of block 10",
         [] {
             return damaged([](TraceSpec& s) {
                 s.blocks[8].cutCompressedTo = 30;
                 s.blocks[9].fcs = 0x1234;
             });
         },
         bad + std::to_string(int(TraceCheck::BlockNotExpandable)) + " 9 "},
        {"blockCount short of the blocks",
         [] { return damaged([](TraceSpec& s) { s.blockCount = 17; }); },
         ok + "17 incomplete", {}},
        {"streamLength ends after block 12",
         [] {
             return damaged([](TraceSpec& s) {
                 size_t length = 0;
                 for (uint16_t n = 0; n < 12; ++n) {
                     length += tracebuild::encodeBlock(s.blocks[n], n + 1).size();
                 }
                 s.streamLength = static_cast<uint32_t>(length);
             });
         },
         ok + "12 "},
        // The last block expands to 400 bytes with 310 of room left; cut
        // short, it overruns that room before its input ends.
        room("compressed block larger than its room", {{290, 690}}, TraceCheck::BlockNoRoom),
        room("cut compressed block larger than its room", {{290, 690, false, 2}},
             TraceCheck::BlockNoRoom),
        room("compressed block that just fits its room", {{290, 600}}, TraceCheck::None),
        room("stored block larger than its room", {{290, 580, true}, {580, 681, true}},
             TraceCheck::BlockNoRoom),
        {"sink refuses record 40", [] { return tracebuild::buildTrace(mixedTrace()); },
         "result 6 fault 0", {.refuseRecord = 40}},
        {"signal during record 61", [] { return tracebuild::buildTrace(mixedTrace()); },
         "result 128 fault 0", {.interruptRecord = 61}},
        {"signal after block 23", [] { return tracebuild::buildTrace(mixedTrace()); },
         "result 128 fault 0", {.interruptBlock = 23}},
    };
}

TEST(TraceBlockPipeline, EveryTraceReadsTheSameOnWorkerThreadsAsOnOne) {
    TempDir dir;
    for (const PipelineCase& c : pipelineCases()) {
        SCOPED_TRACE(c.name);
        dir.write("Trace.orn", c.make());
        const std::string trace = dir / "Trace.orn";
        const std::vector<std::string> one = transcriptOf(trace, c.version, 1, c.sink);
        EXPECT_TRUE(one.back().starts_with(c.result)) << one.back();
        for (uint32_t workers : {0u, 2u, 3u, 7u}) {
            SCOPED_TRACE(testing::Message() << workers << " workers");
            expectSameLines(one, transcriptOf(trace, c.version, workers, c.sink));
        }
        // A few blocks through the workers, a few on the calling thread, in turn.
        for (Stretches stretches : {Stretches::Alternate, Stretches::Measured}) {
            SCOPED_TRACE(stretches == Stretches::Alternate ? "alternate" : "measured");
            expectSameLines(one, transcriptOf(trace, c.version, 2, c.sink, stretches));
        }
    }
}

TEST(TraceBlockPipeline, CutBlockFailsDifferentlyInTheWholeWorkCapacity) {
    // What makes the room case above worth its name: the worker's expansion
    // alone would have reported another failure.
    const TraceSpec layout = roomTrace({{290, 690}});
    const Bytes whole = tracebuild::compressNrv2b(layout.blocks.back().data);
    const Bytes packed(whole.begin(), whole.end() - 2);
    ASSERT_EQ(BlockExpander::ensureInitialised(), BlockExpander::Success);
    const auto error = [&](uint32_t room) {
        Bytes out(room);
        int rc = 0;
        BlockExpander::expand(packed.data(), static_cast<uint32_t>(packed.size()), out.data(),
                              room, &rc);
        return rc;
    };
    EXPECT_EQ(error(600 - 290), BlockExpander::kOutputOverrun);
    EXPECT_NE(error(600), BlockExpander::kOutputOverrun);
    EXPECT_NE(error(600), 0);
}

// Every file of a folder but the trace, by name.
std::map<std::string, Bytes> outputsIn(const TempDir& dir) {
    std::map<std::string, Bytes> files;
    for (const std::string& name : dir.list()) {
        if (name != "Trace.orn") {
            files[name] = dir.read(name);
        }
    }
    return files;
}

TEST(TraceBlockPipeline, ConvertersWriteTheSameBytes) {
    const std::vector<std::pair<FrameFormat, LsnMode>> converters = {
        {FrameFormat::RawIp, LsnMode::Any},
        {FrameFormat::RawIp, LsnMode::All},
        {FrameFormat::PppSync, LsnMode::All},
        {FrameFormat::I4bIsdn, LsnMode::Any},
    };
    const std::vector<Bytes> traces = {
        tracebuild::buildTrace(mixedTrace()),
        damaged([](TraceSpec& s) { s.blocks[25].fcs = 0x4321; }),
        damaged([](TraceSpec& s) { s.blocks[30].cutCompressedTo = 20; }),
    };
    for (size_t t = 0; t < traces.size(); ++t) {
        for (const auto& [format, lsnMode] : converters) {
            SCOPED_TRACE(testing::Message() << "trace " << t << ", format "
                                            << static_cast<int>(format) << ", ALL "
                                            << (lsnMode == LsnMode::All));
            std::vector<std::string> outcomes;
            std::vector<std::map<std::string, Bytes>> files;
            for (uint32_t workers : {1u, 3u, 2u}) {
                TempDir dir;
                dir.write("Trace.orn", traces[t]);
                ConversionSettings settings;
                settings.inputName = dir / "Trace.orn";
                settings.outputName = dir / "out.pcap";
                settings.versionMajor = 8;
                settings.format = format;
                settings.port = 3;
                settings.lsnMode = lsnMode;
                ConversionPlan plan = makePlan(settings);
                plan.trace.workers = workers;
                plan.trace.stretches = workers == 2 ? Stretches::Alternate : Stretches::Workers;
                ConversionStats stats{};
                const RunOutcome outcome = runPlan(plan, stats);
                outcomes.push_back(std::to_string(exitCode(outcome.code)) + " " +
                                   std::to_string(stats.traceRecords) + " " +
                                   std::to_string(stats.outputRecords) + " " +
                                   std::to_string(stats.generatedFiles));
                files.push_back(outputsIn(dir));
            }
            EXPECT_EQ(outcomes[0], outcomes[1]);
            EXPECT_EQ(outcomes[0], outcomes[2]) << "in turn";
            EXPECT_FALSE(files[0].empty());
            EXPECT_TRUE(files[0] == files[1]) << "output bytes differ";
            EXPECT_TRUE(files[0] == files[2]) << "output bytes differ in turn";
        }
    }
}

TEST(TraceBlockPipeline, ToolPrintsAndWritesTheSameHeldToOneCpu) {
    // Held to one CPU the tool reads on one thread; on all of them it starts
    // workers where there are two CPUs or more.
    if (::access("/usr/bin/taskset", X_OK) != 0) {
        GTEST_SKIP() << "taskset(1) is not installed";
    }
    const std::vector<Bytes> traces = {
        tracebuild::buildTrace(mixedTrace()),
        damaged([](TraceSpec& s) { s.blocks[20].number = 2; }),
        damaged([](TraceSpec& s) { s.blocks.back().lengthField = 900; s.maxBlockLength = 1000; }),
    };
    for (const Bytes& trace : traces) {
        TempDir all;
        TempDir one;
        all.write("Trace.orn", trace);
        one.write("Trace.orn", trace);
        const ToolRun wide = runOrnPcap(all, {"-f2", "-p3", "-lALL"});
        const ToolRun narrow =
            runIn(one, "/usr/bin/taskset", {"-c", "0", ORNPCAP_BINARY, "-f2", "-p3", "-lALL"});
        EXPECT_EQ(narrow.exitCode, wide.exitCode);
        EXPECT_EQ(narrow.out, wide.out);
        EXPECT_TRUE(outputsIn(one) == outputsIn(all)) << "output bytes differ";
    }
}

// orn2pcapng and orninfo read the same way: held to one CPU and on all of
// them, the same report, the same exit code and the same pcapng bytes.
TEST(TraceBlockPipeline, CompanionsSayAndWriteTheSameHeldToOneCpu) {
    const std::vector<Bytes> traces = {
        tracebuild::buildTrace(mixedTrace()),
        damaged([](TraceSpec& s) { s.blocks[25].fcs = 0x4321; }),
        damaged([](TraceSpec& s) { s.blocks[30].cutCompressedTo = 20; }),
    };
    const std::vector<std::pair<std::string, std::vector<std::string>>> runs = {
        {ORN2PCAPNG_BINARY, {"-p3=ppp-sync", "Trace.orn", "out.pcapng"}},
        {ORN2PCAPNG_BINARY, {"Trace.orn", "all.pcapng"}},
        {ORNINFO_BINARY, {"Trace.orn"}},
        {ORNINFO_BINARY, {"--json", "Trace.orn"}},
    };
    for (size_t t = 0; t < traces.size(); ++t) {
        for (const auto& [binary, args] : runs) {
            SCOPED_TRACE(testing::Message() << "trace " << t << ": " << args.front());
            std::vector<std::string> said;
            std::vector<std::map<std::string, Bytes>> files;
            for (bool oneCpu : {true, false}) {
                TempDir dir;
                dir.write("Trace.orn", traces[t]);
                RunOptions options;
                options.oneCpu = oneCpu;
                const ToolRun run = runIn(dir, binary, args, options);
                said.push_back(std::to_string(run.exitCode) + "\n" + run.out + run.err);
                files.push_back(outputsIn(dir));
            }
            EXPECT_EQ(said[0], said[1]);
            EXPECT_TRUE(files[0] == files[1]) << "output bytes differ";
        }
    }
}

// The threads of this process, as the kernel lists them.
size_t threadsNow() {
    return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/task"),
                                             fs::directory_iterator()));
}

TEST(TraceBlockPipeline, WorkersRunDuringTheRunAndAreJoinedOnEveryPath) {
    TempDir dir;
    dir.write("Trace.orn", tracebuild::buildTrace(mixedTrace()));
    std::thread([] {}).join();  // a sanitizer's runtime starts a thread of its own with the first
    const size_t before = threadsNow();
    struct Counting final : RecordSink {
        size_t refuseAt = 0;
        size_t records = 0;
        size_t threads = 0;
        ResultCode start(const OpenedTrace&) override { return Ok; }
        ResultCode record(const EventRecord&, const uint8_t*) override {
            threads = std::max(threads, threadsNow());
            return ++records == refuseAt ? CannotWriteTarget : Ok;
        }
        ResultCode finish(ResultCode result) override { return result; }
    };
    for (uint32_t workers : {1u, 4u}) {
        for (size_t refuseAt : {0, 1, 50}) {
            Counting sink;
            sink.refuseAt = refuseAt;
            TraceRequest request{dir / "Trace.orn", 8, 0, nullptr};
            request.workers = workers;
            readTrace(request, sink);
            EXPECT_EQ(sink.threads, workers == 1 ? before : before + workers - 1)
                << workers << " workers, refusing record " << refuseAt;
            EXPECT_EQ(threadsNow(), before);
        }
    }
}

// How far into the trace file the process has read.
uint64_t readPosition(const std::string& trace) {
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(entry.path(), ec) == fs::path(trace)) {
            std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
            std::string key;
            uint64_t pos = 0;
            info >> key >> pos;  // "pos: N" comes first
            return pos;
        }
    }
    return 0;
}

TEST(TraceBlockPipeline, ReadsAheadAFixedNumberOfBlocks) {
    // Stored blocks of 1006 bytes. While the sink holds on to the first
    // record, the reader fills every slot and waits: a ring of blocks read,
    // or one more when the first was handed back before the ring was full,
    // and at most a stdio buffer more of the file.
    constexpr uint64_t kBlock = 1006;
    constexpr uint64_t kAhead = 203 + 3 * kSlotsPerWorker * kBlock;
    TempDir dir;
    dir.write("Trace.orn", tracebuild::buildTrace(traceOf(recordStream(5, 1600), 1000,
                                                          BlockMode::Stored)));
    struct Holding final : RecordSink {
        std::string trace;
        uint64_t position = 0;
        ResultCode start(const OpenedTrace&) override { return Ok; }
        ResultCode record(const EventRecord&, const uint8_t*) override {
            for (int n = 0; n < 400 && readPosition(trace) < kAhead; ++n) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            position = readPosition(trace);
            return CannotWriteTarget;
        }
        ResultCode finish(ResultCode result) override { return result; }
    } sink;
    sink.trace = dir / "Trace.orn";
    TraceRequest request{sink.trace, 8, 0, nullptr};
    request.workers = 3;
    request.stretches = Stretches::Workers;
    EXPECT_EQ(readTrace(request, sink), CannotWriteTarget);
    EXPECT_GE(sink.position, kAhead);
    EXPECT_LE(sink.position, kAhead + kBlock + 4096);
}

TEST(TraceBlockPipeline, WorkersFollowTheRequestAndTheCpusAtHand) {
    EXPECT_EQ(blockWorkers(1, 1000), 0u);
    EXPECT_EQ(blockWorkers(2, 1), 2u);
    EXPECT_EQ(blockWorkers(100, 1000), 16u);
    cpu_set_t all;
    ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
    cpu_set_t first;
    CPU_ZERO(&first);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &first);
            break;
        }
    }
    ASSERT_EQ(::sched_setaffinity(0, sizeof first, &first), 0);
    const uint32_t onOne = blockWorkers(0, 1000);
    ASSERT_EQ(::sched_setaffinity(0, sizeof all, &all), 0);
    const uint32_t cpus = std::min(16u, static_cast<uint32_t>(CPU_COUNT(&all)));
#ifdef ORNPCAP_FORCE_PARALLEL
    EXPECT_EQ(onOne, 2u);
    EXPECT_EQ(blockWorkers(0, 1), std::max(cpus, 2u));
#else
    EXPECT_EQ(onOne, 0u) << "one CPU: no threads";
    EXPECT_EQ(blockWorkers(0, 3), 0u) << "a few blocks: no threads";
    EXPECT_EQ(blockWorkers(0, 1000), cpus >= 2 ? cpus : 0u);
#endif
}

}  // namespace
}  // namespace ornpcap::test
