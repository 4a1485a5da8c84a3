// orndump, Wireshark's capture interface "ORN trace": what it tells
// Wireshark, a capture that delivers what orn2pcapng exports, errors on
// standard error with a status, and stops that end it; and the file(1) magic
// of traces.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tests/support/orn2pcapng_run.hpp"
#include "tests/support/tshark.hpp"

namespace ornpcap::test {
namespace {

const std::string kSample = ORNPCAP_SOURCE_DIR "/examples/Trace.orn";

ToolRun runOrnDump(const TempDir& dir, const std::vector<std::string>& args,
                   const RunOptions& options = {}) {
    return runIn(dir, ORNDUMP_BINARY, args, options);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> captureArgs(const std::string& fifo, const std::string& trace) {
    return {"--capture", "--extcap-interface", "orn", "--fifo", fifo, "--trace", trace};
}

// Reads a FIFO to its end on a thread of its own, as Wireshark does.
class FifoReader {
public:
    explicit FifoReader(std::string path) : path_(std::move(path)) {
        ::mkfifo(path_.c_str(), 0600);
        thread_ = std::thread([this] {
            const int fd = ::open(path_.c_str(), O_RDONLY);
            char buffer[65536];
            for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
                bytes_.insert(bytes_.end(), buffer, buffer + n);
            }
            if (fd >= 0) {
                ::close(fd);
            }
        });
    }
    ~FifoReader() { finish(); }
    // Waits for the end; a writer that never came is stood in for.
    const Bytes& finish() {
        if (thread_.joinable()) {
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
            thread_.join();
        }
        return bytes_;
    }

private:
    std::string path_;
    Bytes bytes_;
    std::thread thread_;
};

// True when no process holds the FIFO open for writing any more.
bool noWriterLeft(const std::string& fifo) {
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    // A writer still blocked in its open would now go on and write.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    char byte = 0;
    const ssize_t n = ::read(fd, &byte, 1);
    ::close(fd);
    return n == 0;
}

TEST(OrnDumpListings, TellWiresharkTheInterfaceItsLinkTypeAndItsOptions) {
    TempDir dir;
    const ToolRun interfaces = runOrnDump(dir, {"--extcap-interfaces", "--extcap-version=4.0"});
    EXPECT_EQ(interfaces.exitCode, 0);
    EXPECT_EQ(interfaces.out, "extcap {version=" ORNPCAP_VERSION "}\n"
                              "interface {value=orn}{display=ORN trace}\n");
    EXPECT_EQ(interfaces.err, "");

    const ToolRun dlts = runOrnDump(dir, {"--extcap-interface", "orn", "--extcap-dlts"});
    EXPECT_EQ(dlts.exitCode, 0);
    EXPECT_EQ(dlts.out.rfind("dlt {number=147}{name=USER0}{display=", 0), 0u) << dlts.out;

    const ToolRun config = runOrnDump(dir, {"--extcap-interface=orn", "--extcap-config"});
    EXPECT_EQ(config.exitCode, 0);
    const std::vector<std::string> lines = linesOf(config.out);
    ASSERT_EQ(lines.size(), 2u) << config.out;
    // Every sentence parses: no brace within a value.
    const std::regex sentence("arg (\\{[a-z]+=[^{}]*\\})+");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, sentence)) << line;
    }
    EXPECT_NE(lines[0].find("{call=--trace}"), std::string::npos);
    EXPECT_NE(lines[0].find("{type=fileselect}{mustexist=true}{required=true}"), std::string::npos);
    EXPECT_NE(lines[1].find("{call=--ports}"), std::string::npos);

    // The check Wireshark makes of the ports as they are typed takes what
    // orndump takes, and refuses what orndump refuses.
    std::smatch pattern;
    ASSERT_TRUE(std::regex_search(lines[1], pattern, std::regex("\\{validation=([^}]*)\\}")));
    const std::regex ports(pattern[1].str());
    for (const char* good : {"", "20", "20 21=ppp-async, 30=1", " 3=i4b "}) {
        EXPECT_TRUE(std::regex_match(std::string(good), ports)) << good;
        TempDir trial;
        const ToolRun run = runOrnDump(trial, {"--extcap-interfaces", "--ports", good});
        EXPECT_EQ(run.exitCode, 0) << good << ": " << run.err;
    }
    for (const char* bad : {"x", "20=", "=ppp-sync", "20 21=ppp sync"}) {
        EXPECT_FALSE(std::regex_match(std::string(bad), ports)) << bad;
    }

    // A capture filter cannot be applied: the check says so on standard output.
    const ToolRun filter = runOrnDump(dir, {"--extcap-interface", "orn", "--extcap-capture-filter",
                                            "tcp port 80"});
    EXPECT_EQ(filter.exitCode, 0);
    EXPECT_NE(filter.out, "");
    EXPECT_EQ(runOrnDump(dir, {"--extcap-interface", "orn", "--extcap-capture-filter", ""}).out, "");
}

TEST(OrnDumpCommandLine, UsageErrorsSayWhatAndEndWithTwo) {
    TempDir dir;
    EXPECT_EQ(runOrnDump(dir, {"--help"}).exitCode, 0);
    const ToolRun version = runOrnDump(dir, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "orndump (OrnPcap suite) " ORNPCAP_VERSION "\n");
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"--bogus"},
        {"--extcap-interface=wlan0", "--extcap-config"},
        {"--extcap-config"},
        {"--capture", "--extcap-interface=orn", "--trace", "Trace.orn"},
        {"--capture", "--extcap-interface=orn", "--fifo", "out"},
        {"--capture", "--extcap-interface=orn", "--fifo", "-", "--trace", "Trace.orn"},
        {"--extcap-interfaces", "-p", "70000"},
        {"--extcap-interfaces", "--ports", "20,x"},
        {"--extcap-interfaces", "stray"},
        {"--fifo"},
    };
    for (const std::vector<std::string>& args : wrong) {
        const ToolRun run = runOrnDump(dir, args);
        SCOPED_TRACE(run.err);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("orndump: ", 0), 0u);
        EXPECT_NE(run.err.find(" (try 'orndump --help')\n"), std::string::npos);
    }
    // A capture filter ends a capture before it begins.
    const ToolRun filtered = runOrnDump(
        dir, {"--capture", "--extcap-interface=orn", "--fifo=out", "--trace", kSample,
              "--extcap-capture-filter", "port 80"});
    EXPECT_EQ(filtered.exitCode, 2);
    EXPECT_EQ(filtered.err.rfind("orndump: a trace cannot be filtered", 0), 0u) << filtered.err;
    EXPECT_FALSE(dir.exists("out"));
}

TEST(OrnDumpCapture, TheFifoCarriesWhatOrn2pcapngExports) {
    TempDir dir;
    FifoReader fifo(dir / "fifo");
    const ToolRun run = runOrnDump(dir, captureArgs(dir / "fifo", kSample));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "") << "Wireshark would show it as an error";
    EXPECT_EQ(run.out, "");
    const Bytes& streamed = fifo.finish();

    // orn2pcapng into a pipe writes the very same bytes.
    const ToolRun direct = runOrn2Pcapng(dir, {kSample, "-"});
    ASSERT_EQ(direct.exitCode, 0) << direct.err;
    EXPECT_EQ(streamed, Bytes(direct.out.begin(), direct.out.end()));
    EXPECT_EQ(parsePcapng(streamed).packets.size(), 63u);

    // The ports asked for, by --ports and -p, go to orn2pcapng as its -p.
    FifoReader some(dir / "some");
    std::vector<std::string> args = captureArgs(dir / "some", kSample);
    args.insert(args.end(), {"--ports", "30, 3=i4b", "-p", "50"});
    EXPECT_EQ(runOrnDump(dir, args).exitCode, 0);
    const ToolRun three = runOrn2Pcapng(dir, {"-p30", "-p3=i4b", "-p50", kSample, "-"});
    EXPECT_EQ(some.finish(), Bytes(three.out.begin(), three.out.end()));
    EXPECT_EQ(parsePcapng(some.finish()).packets.size(), 12u + 12u + 3u);
}

TEST(OrnDumpCapture, FailuresGoToStandardErrorWithAStatus) {
    TempDir dir;
    {
        FifoReader fifo(dir / "fifo");
        const ToolRun missing = runOrnDump(dir, captureArgs(dir / "fifo", "missing.orn"));
        EXPECT_EQ(missing.exitCode, 2);
        EXPECT_EQ(missing.err.rfind("orndump: missing.orn: ", 0), 0u) << missing.err;
        EXPECT_EQ(missing.err.find("orn2pcapng: "), std::string::npos) << "said as orndump's";
    }
    {
        dir.write("not.orn", Bytes(4000, 0x41));
        FifoReader fifo(dir / "fifo2");
        const ToolRun notATrace = runOrnDump(dir, captureArgs(dir / "fifo2", "not.orn"));
        EXPECT_EQ(notATrace.exitCode, 2);
        EXPECT_EQ(notATrace.err.rfind("orndump: not.orn: ", 0), 0u) << notATrace.err;
    }
    {
        // dumpcap opens the FIFO without waiting for a writer and polls it:
        // it must see the end although orn2pcapng never opened the FIFO.
        ::mkfifo((dir / "polled").c_str(), 0600);
        const int reader = ::open((dir / "polled").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        RunOptions guard;
        guard.killAfterMs = 60000;
        const ToolRun missing =
            runOrnDump(dir, captureArgs(dir / "polled", "missing.orn"), guard);
        EXPECT_EQ(missing.exitCode, 2);
        struct pollfd end = {reader, POLLIN, 0};
        EXPECT_EQ(::poll(&end, 1, 0), 1) << "the reader would wait for ever";
        EXPECT_NE(end.revents & POLLHUP, 0);
        ::close(reader);
    }
    // A damaged block: the packets before it, then the error and 1.
    const std::vector<tracebuild::Record> records = mixedPortRecords(60);
    tracebuild::TraceSpec recipe;
    recipe.blocks = tracebuild::splitIntoBlocks(tracebuild::recordStream(records, 8), 2048,
                                                tracebuild::BlockMode::Alternate);
    ASSERT_GT(recipe.blocks.size(), 4u);
    recipe.blocks[3].fcs = 0x1234;
    dir.write("bad.orn", tracebuild::buildTrace(recipe));
    FifoReader fifo(dir / "fifo3");
    const ToolRun damaged = runOrnDump(dir, captureArgs(dir / "fifo3", "bad.orn"));
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_NE(damaged.err.find("orndump: bad.orn: block 4 at offset "), std::string::npos)
        << damaged.err;
    const PcapngRead delivered = parsePcapng(fifo.finish());
    EXPECT_EQ(delivered.fault, "");
    EXPECT_GT(delivered.packets.size(), 0u);
}

// A reader of a new FIFO that reads up to `bytes` bytes, keeps it open
// `holdMs` longer, then closes it.
std::thread stingyReader(const std::string& fifo, size_t bytes, int holdMs) {
    ::mkfifo(fifo.c_str(), 0600);
    return std::thread([fifo, bytes, holdMs] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        Bytes some(bytes);
        if (bytes != 0) {
            (void)::read(fd, some.data(), bytes);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
        ::close(fd);
    });
}

// A capture that was stopped: status 0, nothing for Wireshark to show.
void expectQuietEnd(const ToolRun& run) {
    EXPECT_FALSE(run.killed) << "it hung";
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
}

// Records enough that orn2pcapng waits for its reader while it writes.
Bytes largeTrace() { return tracebuild::traceOfRecords(mixedPortRecords(2000), {}, 16384); }

TEST(OrnDumpCapture, AStopEndsTheCaptureQuietly) {
    TempDir dir;
    // No reader yet: orndump waits for one before it starts orn2pcapng;
    // SIGTERM, as Wireshark sends it, ends the wait.
    ::mkfifo((dir / "unread").c_str(), 0600);
    RunOptions stop;
    stop.signalAfterMs = 300;
    stop.signal = SIGTERM;
    stop.killAfterMs = 60000;
    const ToolRun waiting = runOrnDump(dir, captureArgs(dir / "unread", kSample), stop);
    expectQuietEnd(waiting);
    EXPECT_TRUE(noWriterLeft(dir / "unread")) << "orn2pcapng outlived orndump";

    // A reader that opened the FIFO and reads no more: SIGINT mid-stream.
    dir.write("large.orn", largeTrace());
    std::thread opener = stingyReader(dir / "stalled", 0, 1500);
    stop.signal = SIGINT;
    stop.signalAfterMs = 500;
    const ToolRun stalled = runOrnDump(dir, captureArgs(dir / "stalled", "large.orn"), stop);
    opener.join();
    expectQuietEnd(stalled);

    // The reader closes the FIFO mid-stream: the capture is over.
    std::thread closer = stingyReader(dir / "closed", 4096, 0);
    RunOptions guard;
    guard.killAfterMs = 60000;
    const ToolRun closed = runOrnDump(dir, captureArgs(dir / "closed", "large.orn"), guard);
    closer.join();
    expectQuietEnd(closed);
}

// tshark with the extcap in the per-user extcap folder of a home of its own
// (Wireshark 4.0 runs those of ~/.config/wireshark/extcap, also as root).
struct TsharkHome {
    TempDir home;
    TsharkHome() {
        home.makeDir(".config/wireshark/extcap");
        EXPECT_EQ(::symlink(ORNDUMP_BINARY, (home / ".config/wireshark/extcap/orndump").c_str()), 0);
        ::setenv("HOME", home.path().c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    ToolRun tshark(const std::vector<std::string>& args) const {
        RunOptions guard;
        guard.killAfterMs = 100000;
        return runIn(home, "/usr/bin/tshark", args, guard);
    }
};

TEST(OrnDumpWireshark, TsharkListsTheInterfaceAndCapturesATrace) {
    REQUIRE_TSHARK();
    const TsharkHome wireshark;
    const ToolRun list = wireshark.tshark({"-D"});
    EXPECT_NE(list.out.find(". orn (ORN trace)\n"), std::string::npos) << list.out << list.err;

    const std::vector<std::string> fields = {"-T", "fields", "-E", "separator=|",
                                             "-e", "frame.interface_name", "-e", "frame.len",
                                             "-e", "frame.packet_flags_direction", "-e",
                                             "frame.time_epoch", "-e", "_ws.col.Info"};
    std::vector<std::string> live = {"-n", "-i", "orn", "-o", "extcap.orn.trace:" + kSample};
    live.insert(live.end(), fields.begin(), fields.end());
    const ToolRun captured = wireshark.tshark(live);
    EXPECT_EQ(captured.exitCode, 0) << captured.err;
    EXPECT_EQ(captured.err.find("Error by extcap pipe"), std::string::npos) << captured.err;

    TempDir dir;
    ASSERT_EQ(runOrn2Pcapng(dir, {kSample, dir / "direct.pcapng"}).exitCode, 0);
    std::vector<std::string> read = {"-n", "-r", dir / "direct.pcapng"};
    read.insert(read.end(), fields.begin(), fields.end());
    const ToolRun direct = wireshark.tshark(read);
    EXPECT_EQ(linesOf(captured.out).size(), 63u);
    EXPECT_EQ(captured.out, direct.out);

    // What orndump says of a trace it cannot deliver reaches the user.
    const ToolRun missing = wireshark.tshark(
        {"-n", "-i", "orn", "-o", "extcap.orn.trace:" + dir / "missing.orn"});
    EXPECT_NE(missing.err.find("Error by extcap pipe: orndump: " + dir / "missing.orn"),
              std::string::npos)
        << missing.err;
}

TEST(TraceMagic, FileNamesATraceAndNothingElse) {
    if (std::system("command -v file >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "file is not installed: magic check skipped";
    }
    TempDir dir;
    const std::string magic = ORNPCAP_SOURCE_DIR "/data/ornpcap.magic";
    const auto describe = [&](const std::string& name) {
        return runIn(dir, "/bin/sh", {"-c", "file -b -m '" + magic + "' '" + name + "'"}).out;
    };
    EXPECT_EQ(describe(kSample),
              "Varnek ORN trace, format version 8.0 (203-byte header), \"OrnPcap sample trace\", "
              "started 2009-12-09 12:00:00, snap length 1600\n");
    tracebuild::HeaderSpec older;
    older.versionMajor = 7;
    dir.write("v7.orn", tracebuild::traceOfRecords(mixedPortRecords(2), older));
    EXPECT_EQ(describe(dir / "v7.orn").rfind("Varnek ORN trace, format version 7.0 (191-byte "
                                             "header)", 0), 0u) << describe(dir / "v7.orn");

    // Bytes that are no trace: random ones, a pcapng file, a header's text
    // without its end.
    Bytes noise(4096);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t((i * 7919 + 13) % 251);
    dir.write("noise.bin", noise);
    ASSERT_EQ(runOrn2Pcapng(dir, {kSample, dir / "x.pcapng"}).exitCode, 0);
    const Bytes sample = tracebuild::readFile(kSample);
    Bytes cut(sample.begin(), sample.begin() + 53);
    cut.resize(400, 0x20);
    dir.write("cut.bin", cut);
    for (const char* other : {"noise.bin", "x.pcapng", "cut.bin"}) {
        EXPECT_EQ(describe(dir / other).find("ORN"), std::string::npos) << other;
    }
}

}  // namespace
}  // namespace ornpcap::test
