// What stays on disk whatever happens to a run: outputs through links and
// special files, limits on file size and memory, a hard kill at any moment,
// traces of more than 32767 blocks, and what standard error says about each.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <set>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

#include "base/byte_order.hpp"
#include "tests/support/sanitizer_sample.hpp"
#include "tests/support/capture_files.hpp"
#include "tests/support/port_trace.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"
#include "tests/support/tshark.hpp"

namespace ornpcap::test {
namespace {

using Lines = std::vector<std::string>;

bool isFifo(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// Reads a FIFO to its end on a thread of its own, while the tool writes it.
struct FifoReader {
    Bytes got;
    std::thread thread;
    explicit FifoReader(const std::string& path) {
        thread = std::thread([this, path] {
            std::ifstream in(path, std::ios::binary);
            got.assign(std::istreambuf_iterator<char>(in), {});
        });
    }
    Bytes take() {
        thread.join();
        return got;
    }
};

TEST(OrnPcapSpecialOutputs, AFifoIsWrittenThroughAndStays) {
    TempDir dir;
    writePortTrace(dir, 50, 1, 60);
    ASSERT_EQ(::mkfifo((dir / "Trace.pcap").c_str(), 0600), 0);
    FifoReader reader(dir / "Trace.pcap");
    const ToolRun run = runOrnPcap(dir, {"-f4", "-p30"});
    const PcapFile f = parsePcap(reader.take());
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(f.records.size(), 50u);
    EXPECT_TRUE(f.whole);
    EXPECT_TRUE(isFifo(dir / "Trace.pcap")) << "never deleted or replaced";

    // A .vn file is completed in place, which a pipe cannot be: refused before
    // anything is written, and it stays.
    ASSERT_EQ(::mkfifo((dir / "Trace.vn").c_str(), 0600), 0);
    const ToolRun vn = runOrnPcap(dir, {"-f2", "-p30", "-lANY"});
    EXPECT_EQ(vn.exitCode, 3) << vn.out;
    EXPECT_EQ(vn.err, "OrnPcap: Trace.vn: is a FIFO: a .vn file is completed in place, which "
                      "needs a file it can seek (exit 3)\n");
    EXPECT_TRUE(isFifo(dir / "Trace.vn"));
}

TEST(OrnPcapSpecialOutputs, ADeviceAndLinksAreWrittenThroughAndStay) {
    TempDir dir;
    writePortTrace(dir, 20, 2, 60);
    dir.write("target.bin", Bytes{9, 9, 9});
    ASSERT_EQ(::symlink("target.bin", (dir / "Link.pcap").c_str()), 0);
    const ToolRun linked = runOrnPcap(dir, {"-f4", "-p30", "-oLink.pcap"});
    EXPECT_EQ(linked.exitCode, 0) << linked.out;
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "Link.pcap").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(parsePcap(dir.read("target.bin")).records.size(), 20u) << "written through the link";

    if (::mknod((dir / "null.pcap").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "no device node can be made here (not root)";
    }
    const ToolRun discarded = runOrnPcap(dir, {"-f4", "-p30", "-onull.pcap"});
    EXPECT_EQ(discarded.exitCode, 0) << discarded.out;
    ASSERT_EQ(::lstat((dir / "null.pcap").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device is still a device";
}

// Every output in the folder is a whole file of its kind, none empty.
void expectWholeOutputs(const TempDir& dir) {
    for (const std::string& name : dir.list()) {
        if (name == "Trace.orn") continue;
        const Bytes file = dir.read(name);
        EXPECT_FALSE(file.empty()) << name;
        if (name.ends_with(".pcap")) {
            EXPECT_TRUE(parsePcap(file).whole) << name;
        } else if (name.ends_with(".vn")) {
            EXPECT_EQ(readVn(file).fault, "") << name;
        } else {
            EXPECT_EQ(file.size() % (32 + 60), 0u) << name;
        }
    }
}

TEST(OrnPcapResourceLimits, AFileSizeLimitIsAFailedWriteWithWholeFiles) {
    const std::vector<Lines> conversions = {{"-f4", "-p30", "-lALL"},
                                            {"-f2", "-p30", "-lALL"},
                                            {"-f5", "-p30"}};
    for (const Lines& args : conversions) {
        for (long limit : {100L, 2000L, 5000L}) {
            SCOPED_TRACE(args[0] + " limit " + std::to_string(limit));
            TempDir dir;
            writePortTrace(dir, 4000, 40, 60);
            RunOptions options;
            options.fileSizeLimit = limit;
            const ToolRun run = runOrnPcap(dir, args, options);
            EXPECT_FALSE(run.killed);
            EXPECT_EQ(run.exitCode, 6);
            EXPECT_TRUE(run.out.ends_with(" \nUnable to WRITE Target file.\n")) << run.out;
            // "OrnPcap: Trace_0001.vn: cannot be written: File too large (exit 6)"
            EXPECT_TRUE(run.err.starts_with("OrnPcap: Trace")) << run.err;
            EXPECT_TRUE(run.err.ends_with(": cannot be written: File too large (exit 6)\n"))
                << run.err;
            expectWholeOutputs(dir);
        }
    }
}

TEST(OrnPcapResourceLimits, LittleMemoryEndsWithEighteenAndWholeFiles) {
#if defined(ORNPCAP_SANITIZE) || defined(ORNPCAP_TSAN)
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit leaves";
#endif
    TempDir dir;
    writePortTrace(dir, 20000, 500, 60);
    bool ranOutOnce = false;
    for (long kib : {14000L, 16000L, 20000L, 28000L}) {
        for (const Lines& args : {Lines{"-f4", "-p30", "-lALL"}, Lines{"-f2", "-p30", "-lALL"}}) {
            SCOPED_TRACE(args[0] + " " + std::to_string(kib) + " KiB");
            TempDir out;
            ::link((dir / "Trace.orn").c_str(), (out / "Trace.orn").c_str());
            RunOptions options;
            options.memoryLimit = kib * 1024;
            const ToolRun run = runOrnPcap(out, args, options);
            EXPECT_FALSE(run.killed) << run.err;
            ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 18) << run.exitCode << run.err;
            if (run.exitCode == 18) {
                ranOutOnce = true;
                EXPECT_TRUE(run.out.ends_with(
                    " \nAllocation failure. Not enough memory to execute the program.\n"))
                    << run.out;
                EXPECT_TRUE(run.err.starts_with("OrnPcap: Trace.orn: out of memory, ")) << run.err;
                EXPECT_TRUE(run.err.ends_with(" records written (exit 18)\n")) << run.err;
            }
            expectWholeOutputs(out);
        }
    }
    EXPECT_TRUE(ranOutOnce) << "no limit was low enough to try the failure";
}

// Everything a run leaves: its exit code, its report, and every file's bytes.
std::string runResult(const ToolRun& run, const TempDir& dir) {
    std::string result = std::to_string(run.exitCode) + "\n" + run.out;
    for (const std::string& name : dir.list()) {
        const Bytes file = dir.read(name);
        result += name + " " + hex(file.data(), file.size()) + "\n";
    }
    return result;
}

// Worker threads take memory only where the run has plenty to spare: under
// any limit, the run held to one CPU and the run on all of them end alike.
TEST(OrnPcapResourceLimits, OneCpuAndEveryCpuEndAlikeUnderEveryMemoryLimit) {
#if defined(ORNPCAP_SANITIZE) || defined(ORNPCAP_TSAN)
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit leaves";
#endif
    TempDir dir;
    writePortTrace(dir, 12000, 200, 60, 12000);  // 85 blocks: enough for the workers
    std::set<int> exits;
    for (long mib : {12L, 14L, 16L, 20L, 24L, 32L, 64L, 256L}) {
        for (const Lines& args : {Lines{"-f4", "-p30", "-lALL"}, Lines{"-f2", "-p30", "-lALL"}}) {
            SCOPED_TRACE(args[0] + " " + std::to_string(mib) + " MiB");
            std::string results[2];
            for (bool oneCpu : {true, false}) {
                TempDir out;
                ASSERT_EQ(::link((dir / "Trace.orn").c_str(), (out / "Trace.orn").c_str()), 0);
                RunOptions options;
                options.memoryLimit = mib << 20;
                options.oneCpu = oneCpu;
                const ToolRun run = runOrnPcap(out, args, options);
                exits.insert(run.exitCode);
                results[oneCpu] = runResult(run, out);
            }
            EXPECT_TRUE(results[0] == results[1]) << "one CPU and all differ";
        }
    }
    EXPECT_EQ(exits, (std::set<int>{0, 18})) << "the limits must reach from too little to plenty";
}

// A run of 16 outputs killed outright: first when the first output appears,
// then after a pause long enough for a checkpoint to fall due.
struct Kill {
    const char* name;
    int pauseMs;
};

// Kills the run as told and checks every output it left: each reads whole up
// to what it counts. Gives the packets read, summed over the outputs.
size_t killAndRead(const TempDir& out, const Lines& args, const RunOptions& options) {
    const ToolRun run = runOrnPcap(out, args, options);
    EXPECT_TRUE(run.killed) << "the run ended before the kill: make the trace longer";
    size_t packets = 0;
    for (const std::string& name : out.list()) {
        if (name == "Trace.orn") continue;
        const Bytes file = out.read(name);
        EXPECT_GE(file.size(), args[0] == "-f2" ? 192u : 24u) << name;
        if (file.size() < 24) continue;
        const TsharkRun read = tshark(out / name, {"-T", "fields", "-e", "frame.number"});
        const size_t lines = std::count(read.out.begin(), read.out.end(), '\n');
        if (args[0] == "-f2") {
            EXPECT_EQ(read.exitCode, 0) << name << ": " << read.err;
            EXPECT_EQ(lines, loadLe32(&file[4])) << name << ": every packet counted";
        } else {
            // The kill may cut the write in hand: every whole record reads.
            const PcapFile pcap = parsePcap(file);
            const bool cut =
                read.err.find("cut short in the middle of a packet") != std::string::npos;
            EXPECT_TRUE(read.exitCode == 0 || (cut && !pcap.whole)) << name << read.err;
            EXPECT_EQ(lines, pcap.records.size()) << name;
        }
        packets += lines;
    }
    return packets;
}

TEST(OrnPcapHardKill, EveryOutputReadsUpToItsLastCheckpoint) {
    REQUIRE_TSHARK();
    TempDir dir;
    // A sanitizer's runtime makes a run of fewer records last as long.
    writePortTrace(dir, 1500000 / kSanitizerStride, 4, 46);
    for (const Lines& args : {Lines{"-f2", "-p30", "-lALL"}, Lines{"-f4", "-p30", "-lALL"}}) {
        for (const Kill& kill : {Kill{"at once", -1}, Kill{"after a checkpoint", 1200}}) {
            SCOPED_TRACE(args[0] + " killed " + kill.name);
            RunOptions options;
            options.signal = SIGKILL;
            options.signalWhenExists = args[0] == "-f2" ? "Trace.vn" : "Trace.pcap";
            options.pauseMs = kill.pauseMs;
            // On a busy machine, or under a sanitizer, the checkpoint due after the
            // pause may come later than the kill: then kill again, later.
            size_t packets = 0;
            for (const int delayMs : {5, 50, 300}) {
                TempDir out;
                ::link((dir / "Trace.orn").c_str(), (out / "Trace.orn").c_str());
                options.signalDelayMs = delayMs;
                packets = killAndRead(out, args, options);
                if (kill.pauseMs < 0 || packets > 0 || ::testing::Test::HasFailure()) break;
            }
            if (kill.pauseMs > 0) {
                EXPECT_GT(packets, 0u) << "a checkpoint came before the kill";
            }
        }
    }
}

TEST(OrnPcapManyBlocks, MoreThan32767BlocksConvertAsFewerDo) {
    TempDir many, few;
    writePortTrace(many, 60000, 1, 46, 80);  // 71-byte records in 80-byte blocks
    writePortTrace(few, 60000, 1, 46);
    EXPECT_GT(loadLe16(&many.read("Trace.orn").end()[-14]), 40000u) << "blockCount";
    for (TempDir* dir : {&many, &few}) {
        const ToolRun run = runOrnPcap(*dir, {"-f4", "-p30"});
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    }
    EXPECT_EQ(many.read("Trace.pcap"), few.read("Trace.pcap"));
}

// Damage, usage slips and a short trailer: what standard error says.
struct Said {
    const char* name;
    std::function<void(const TempDir&)> prepare;
    Lines args;
    int exitCode;
    std::string err;
};

Bytes sampleTrace() { return tracebuild::readFile(std::string(ORNPCAP_SOURCE_DIR) + "/examples/Trace.orn"); }

std::vector<Said> saidCases() {
    // Three frames of port 5, all sent.
    const auto sentOnly = [] {
        std::vector<tracebuild::Record> records(3);
        for (tracebuild::Record& r : records) {
            r.header.port = 5, r.header.eventType = kEventFrameSent, r.header.origLength = 20;
            r.payload = Bytes(20, 0x45);
        }
        return tracebuild::traceOfRecords(records);
    };
    const auto withTrace = [](std::function<void(Bytes&)> damage) {
        return [damage](const TempDir& dir) {
            Bytes trace = sampleTrace();
            damage(trace);
            dir.write("Trace.orn", trace);
        };
    };
    // The sample's first block starts at 203; its data at 209.
    return {
        {"cut short", withTrace([](Bytes& t) { t.resize(1000); }), {"-p30"}, 11,
         "OrnPcap: Trace.orn: trailer checksum wrong: the file may be cut short (exit 11); "
         "ornfix Trace.orn salvages every intact record\n"},
        {"missing", [](const TempDir&) {}, {"-inosuch.orn", "-p30"}, 2,
         "OrnPcap: nosuch.orn: No such file or directory (exit 2)\n"},
        {"not a trace", withTrace([](Bytes& t) { t[3] = 'X'; }), {"-p30"}, 4,
         "OrnPcap: Trace.orn: not a trace: file type is not TRC (exit 4)\n"},
        {"block checksum", withTrace([](Bytes& t) { t[209] ^= 0xFF; }), {"-p30"}, 11,
         "OrnPcap: Trace.orn: block 1 at offset 203: FCS-16 wrong (exit 11); ornfix Trace.orn "
         "salvages every intact record\n"},
        {"unknown arguments", withTrace([](Bytes&) {}), {"-x", "--foo", "junk", "-p30"}, 0,
         "OrnPcap: -x: unknown option, skipped\nOrnPcap: --foo: unknown option, skipped\n"
         "OrnPcap: junk: not an option, skipped\n"},
        {"value apart", withTrace([](Bytes&) {}), {"-p", "30"}, 1,
         "OrnPcap: -p: values follow the option letter: -p30\n"
         "OrnPcap: -p: the port must be a number from 1 to 65535 (exit 1)\n"},
        {"output apart", withTrace([](Bytes&) {}), {"-p30", "-o", "x.pcap"}, 3,
         "OrnPcap: -o: values follow the option letter: -ox.pcap\n"
         "OrnPcap: x.pcap: not an option, skipped\n"
         "OrnPcap: the output name (empty): cannot be created: No such file or directory "
         "(exit 3)\n"},
        // Every other exit but 0 says why, one line each.
        {"no options", [](const TempDir&) {}, {}, 1,
         "OrnPcap: no options: at least -pPORT is needed (OrnPcap -? shows the help) (exit 1)\n"},
        {"help", [](const TempDir&) {}, {"-?"}, 1,
         "OrnPcap: the help was asked for (-?): nothing converted (exit 1)\n"},
        {"port 0", [](const TempDir&) {}, {"-p0"}, 1,
         "OrnPcap: -p0: the port must be a number from 1 to 65535 (exit 1)\n"},
        {"no port", [](const TempDir&) {}, {"-f4"}, 1,
         "OrnPcap: -pPORT is mandatory: the port to convert (exit 1)\n"},
        {"PPP without -l", [](const TempDir&) {}, {"-f2", "-p20"}, 1,
         "OrnPcap: -f2 (PPP-Sync) needs -l: ANY, ALL or one LSN in hex (exit 1)\n"},
        {"bad LSN", [](const TempDir&) {}, {"-p20", "-l1FFFF"}, 1,
         "OrnPcap: -l1FFFF: the LSN must be ANY, ALL or a hexadecimal number up to FFFF (exit 1)\n"},
        {"bad direction", [](const TempDir&) {}, {"-d3"}, 1,
         "OrnPcap: -d3: the direction must be 0 (In), 1 (Out) or 2 (In+Out) (exit 1)\n"},
        {"bad format", [](const TempDir&) {}, {"-f7"}, 1,
         "OrnPcap: -f7: the frame format must be a number from 1 to 6 (exit 1)\n"},
        {"no such port", withTrace([](Bytes&) {}), {"-p31"}, 1,
         "OrnPcap: Trace.orn: no record of port 31 among the 63 records (exit 1)\n"},
        {"no such LSN", withTrace([](Bytes&) {}), {"-f2", "-p20", "-l7"}, 1,
         "OrnPcap: Trace.orn: none of the 20 frames of port 20 is on LSN 0007 (exit 1)\n"},
        {"no such direction", [sentOnly](const TempDir& dir) { dir.write("Trace.orn", sentOnly()); },
         {"-f4", "-p5", "-d0"}, 1,
         "OrnPcap: Trace.orn: none of the 3 frames of port 5 was received (-d0) (exit 1)\n"},
        {"no output folder", withTrace([](Bytes&) {}), {"-p30", "-onone/x.pcap"}, 3,
         "OrnPcap: none/x.pcap: cannot be created: No such file or directory (exit 3)\n"},
    };
}

TEST(OrnPcapDiagnostics, StandardErrorSaysWhatAndWhere) {
    for (const Said& c : saidCases()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        c.prepare(dir);
        const ToolRun run = runOrnPcap(dir, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out;
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(OrnPcapDiagnostics, RecordsLeftUnreadBehindTheTrailersCount) {
    // Three of five blocks counted: the fourth is there, whole, and unread.
    std::vector<tracebuild::Record> records;
    for (uint16_t n = 0; n < 50; ++n) {
        EventRecord r;
        r.port = 30, r.lsn = 1, r.eventType = kEventFrameReceived, r.origLength = 60;
        records.push_back({r, Bytes(60, static_cast<uint8_t>(n))});
    }
    tracebuild::TraceSpec layout;
    layout.blocks = tracebuild::splitIntoBlocks(tracebuild::recordStream(records, 8), 1000,
                                                tracebuild::BlockMode::Stored);
    ASSERT_EQ(layout.blocks.size(), 5u);
    layout.blockCount = 3;
    TempDir dir;
    dir.write("Trace.orn", tracebuild::buildTrace(layout));
    const ToolRun run = runOrnPcap(dir, {"-p30"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("OrnPcap: Trace.orn: the block stream ends after block 3 by its "
                           "trailer (blockCount 3"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("but a good block follows: records were left unread\n"),
              std::string::npos);

    layout.blockCount = 5;  // all of them: nothing to say
    dir.write("Trace.orn", tracebuild::buildTrace(layout));
    EXPECT_EQ(runOrnPcap(dir, {"-p30"}).err, "");
}

}  // namespace
}  // namespace ornpcap::test
