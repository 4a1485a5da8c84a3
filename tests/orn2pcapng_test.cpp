// orn2pcapng end to end: every interface holds exactly what OrnPcap converts
// for its port, format and LSN (pcap frames byte for byte and to the
// microsecond, PPP-Async as the .vn output keeps it, I4B as the .i4b file
// has it), the statistics add up, and the output is replaced, streamed and
// cut back as a converter's must be.

#include <gtest/gtest.h>

#include <algorithm>

#include <map>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "base/byte_order.hpp"
#include "base/file_io.hpp"
#include "tests/support/capture_files.hpp"
#include "tests/support/man_page.hpp"
#include "tests/support/orn2pcapng_run.hpp"
#include "tests/support/port_trace.hpp"
#include "tests/support/trace_records.hpp"


namespace ornpcap::test {
namespace {

using tracebuild::Record;

constexpr uint32_t kInbound = 1, kOutbound = 2, kCrcError = 1u << 24, kTooShort = 1u << 26;

// The mixed trace, exported once for the tests that only read the result.
struct MixedExport {
    TempDir dir;
    std::vector<Record> records = mixedPortRecords();
    ToolRun run;
    PcapngRead file;

    MixedExport() {
        dir.write("Trace.orn", tracebuild::traceOfRecords(records));
        run = runOrn2Pcapng(dir, {"Trace.orn"});
        file = parsePcapng(dir.read("Trace.pcapng"));
    }
};

const MixedExport& mixed() {
    static const MixedExport* const done = new MixedExport;
    return *done;
}

// What OrnPcap writes for the arguments, run on the trace of the folder: its
// one output file.
Bytes ornPcapOutput(const TempDir& traceDir, std::vector<std::string> args) {
    TempDir out;
    args.insert(args.begin(), {"-i" + traceDir / "Trace.orn", "-oref.pcap"});
    const ToolRun run = runOrnPcap(out, args);
    const std::vector<std::string> files = out.list();
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(files.size(), 1u);
    return files.size() == 1 ? out.read(files[0]) : Bytes{};
}

std::string line(uint64_t sec, uint64_t usec, size_t incl, uint32_t orig, const Bytes& data) {
    return std::to_string(sec) + "." + std::to_string(usec) + " " + std::to_string(incl) + "/" +
           std::to_string(orig) + " " + hex(data.data(), data.size());
}

std::vector<std::string> pcapLines(const Bytes& pcap) {
    const PcapFile f = parsePcap(pcap);
    std::vector<std::string> lines;
    for (size_t i = 0; i < f.records.size(); ++i) {
        const PcapRecordHeader& h = f.records[i];
        lines.push_back(line(h.tsSec, h.tsUsec, h.inclLen, h.origLen, f.frames[i]));
    }
    return lines;
}

// The packets as pcap records, keeping those whose flags match.
std::vector<std::string> packetLines(const std::vector<PcapngPacketRead>& packets,
                                     uint32_t direction = 0) {
    std::vector<std::string> lines;
    for (const PcapngPacketRead& p : packets) {
        const bool errors = (p.flags & 0xFF000000u) != 0;
        if (direction == 0 || ((p.flags & 3) == direction && !errors)) {
            lines.push_back(line(p.timestamp / 1000, p.timestamp % 1000 * 1000, p.data.size(),
                                 p.originalLength, p.data));
        }
    }
    return lines;
}

// The packets as the .vn output lists them: ms since the first packet's
// second, lengths, status (64 sent; + 2 too short, + 4 bad FCS), frame.
std::vector<std::string> vnLines(const std::vector<PcapngPacketRead>& packets) {
    std::vector<std::string> lines;
    const uint64_t start = packets.empty() ? 0 : packets[0].timestamp / 1000;
    for (const PcapngPacketRead& p : packets) {
        const uint32_t status = ((p.flags & 3) == kOutbound ? 64 : 0) +
                                ((p.flags & kCrcError) != 0 ? 4 : 0) +
                                ((p.flags & kTooShort) != 0 ? 2 : 0);
        // The .vn length on the line counts the 2 FCS bytes the file leaves out.
        const uint32_t onLine = std::min<uint32_t>(p.originalLength + 2, 0xFFFF);
        lines.push_back(std::to_string(p.timestamp - start * 1000) + " " +
                        std::to_string(onLine) + "/" + std::to_string(p.data.size()) +
                        " " + std::to_string(status) + " " + hex(p.data.data(), p.data.size()));
    }
    return lines;
}

// The .i4b file's records as direction, time and frame; and the packets the same way.
std::vector<std::string> i4bLines(const Bytes& file) {
    std::vector<std::string> lines;
    for (size_t at = 0; at + 32 <= file.size(); at += loadLe32(&file[at])) {
        const uint8_t* p = &file[at];
        const uint64_t ms = loadLe32(p + 24) * 1000ull + loadLe32(p + 28) / 1000;
        lines.push_back(std::to_string(loadLe32(p + 12)) + " " + std::to_string(ms) + " " +
                        hex(p + 32, loadLe32(p) - 32));
    }
    return lines;
}

std::vector<std::string> lapdLines(const std::vector<PcapngPacketRead>& packets) {
    std::vector<std::string> lines;
    for (const PcapngPacketRead& p : packets) {
        const bool received = (p.flags & 3) == kInbound;
        EXPECT_EQ(hex(p.data.data(), 16), std::string(received ? "0000" : "0004") +
                                              "20fd000100000000000000000030");
        lines.push_back(std::to_string(received ? 1 : 0) + " " +
                        std::to_string(p.timestamp - kDefaultTimeBase * 1000) + " " +
                        hex(p.data.data() + 16, p.data.size() - 16));
    }
    return lines;
}

struct Channel {
    uint16_t port;
    int lsn;  // -1: the whole port
};

Channel channelNamed(const std::string& name) {
    const size_t dash = name.find("-lsn");
    const uint16_t port = static_cast<uint16_t>(std::stoul(name.substr(4, dash)));
    return {port, dash == std::string::npos ? -1 : int(std::stoul(name.substr(dash + 4), nullptr, 16))};
}

const std::map<uint16_t, std::string> kFormatOfPort = {{30, "1"}, {20, "2"}, {21, "3"},
                                                       {40, "4"}, {3, "5"},  {50, "6"}};

TEST(Orn2PcapngExport, EveryInterfaceHoldsWhatOrnPcapConvertsForItsChannel) {
    const MixedExport& m = mixed();
    ASSERT_EQ(m.run.exitCode, 0) << m.run.err;
    ASSERT_EQ(m.file.fault, "");
    std::set<uint32_t> lapd;  // the interfaces of port 3, whose .i4b file holds every LSN
    for (uint32_t id = 0; id < m.file.interfaces.size(); ++id) {
        const Channel c = channelNamed(m.file.interfaces[id].name);
        const std::string f = kFormatOfPort.at(c.port), p = std::to_string(c.port);
        const std::string l = std::to_string(c.lsn);
        const std::vector<PcapngPacketRead> packets = packetsOf(m.file, id);
        SCOPED_TRACE(m.file.interfaces[id].name);
        if (f == "1") {
            EXPECT_EQ(packetLines(packets), pcapLines(ornPcapOutput(m.dir, {"-f1", "-p" + p})));
        } else if (f == "2" || f == "3") {
            EXPECT_EQ(packetLines(packets, kInbound),
                      pcapLines(ornPcapOutput(m.dir, {"-f" + f, "-p" + p, "-l" + l, "-d0"})));
            EXPECT_EQ(packetLines(packets, kOutbound),
                      pcapLines(ornPcapOutput(m.dir, {"-f" + f, "-p" + p, "-l" + l, "-d1"})));
            EXPECT_EQ(vnLines(packets),
                      readVn(ornPcapOutput(m.dir, {"-f" + f, "-p" + p, "-l" + l})).packets);
        } else if (f == "5") {
            lapd.insert(id);
        } else {
            EXPECT_EQ(packetLines(packets),
                      pcapLines(ornPcapOutput(m.dir, {"-f" + f, "-p" + p, "-l" + l})));
        }
    }
    std::vector<PcapngPacketRead> lapdPackets;
    for (const PcapngPacketRead& p : m.file.packets) {
        if (lapd.count(p.interfaceId) != 0) lapdPackets.push_back(p);
    }
    EXPECT_EQ(lapd.size(), 2u);
    EXPECT_EQ(lapdLines(lapdPackets), i4bLines(ornPcapOutput(m.dir, {"-f5", "-p3"})));
}

// Interfaces in the order channels first carry a frame; equal snapLens; the
// statistics of each against the records of its channel.
TEST(Orn2PcapngExport, InterfacesAndTheirStatisticsFollowTheRecords) {
    const MixedExport& m = mixed();
    struct Counts {
        uint64_t records = 0, accepted = 0;
    };
    std::vector<std::string> order;
    std::map<std::string, Counts> counts;
    for (const Record& r : m.records) {
        const std::string port = "port" + std::to_string(r.header.port);
        char lsn[8];
        std::snprintf(lsn, sizeof lsn, "%04X", r.header.lsn);
        const std::string name = r.header.port == 30 ? port : port + "-lsn" + lsn;
        const bool carries = r.header.eventStatus == 0 && !r.payload.empty() &&
                             (r.header.eventType == 20 || r.header.eventType == 21);
        if (carries && counts[name].accepted++ == 0) order.push_back(name);
        ++counts[name].records;
    }
    ASSERT_EQ(m.file.interfaces.size(), order.size());
    ASSERT_EQ(m.file.statistics.size(), order.size());
    for (uint32_t id = 0; id < order.size(); ++id) {
        const PcapngInterfaceRead& i = m.file.interfaces[id];
        const PcapngStatisticsRead& s = m.file.statistics[id];
        const std::vector<PcapngPacketRead> packets = packetsOf(m.file, id);
        SCOPED_TRACE(order[id]);
        EXPECT_EQ(i.name, order[id]);
        EXPECT_EQ(i.tsresol, 3);
        EXPECT_EQ(i.snapLength, 1616u);  // every interface alike, as libpcap wants
        EXPECT_EQ(s.interfaceId, id);
        EXPECT_EQ(s.u64(4), counts[order[id]].records);   // isb_ifrecv
        EXPECT_EQ(s.u64(6), counts[order[id]].accepted);  // isb_filteraccept
        EXPECT_EQ(s.u64(8), packets.size());              // isb_usrdeliv
        EXPECT_EQ(s.timestampOf(2), packets.front().timestamp);
        EXPECT_EQ(s.timestampOf(3), packets.back().timestamp);
    }
    EXPECT_NE(m.run.out.find(std::to_string(m.records.size()) + " records: "), std::string::npos);
    EXPECT_NE(m.run.out.find("3 skipped by the filter"), std::string::npos) << m.run.out;
}

// Standard output cannot be written back: there every interface starts with
// the longest packet of its link type for snapLen, and the file is otherwise
// the same.
TEST(Orn2PcapngExport, StandardOutputCarriesTheSameFileAndTheReportGoesToStandardError) {
    const MixedExport& m = mixed();
    const ToolRun run = runOrn2Pcapng(m.dir, {"Trace.orn", "-"});
    EXPECT_EQ(run.exitCode, 0);
    Bytes streamed(run.out.begin(), run.out.end());
    const std::map<uint16_t, uint32_t> longest = {{1, 65537}, {9, 65535}, {101, 65535},
                                                  {177, 65551}};
    for (const PcapngInterfaceRead& i : parsePcapng(streamed).interfaces) {
        EXPECT_EQ(i.snapLength, longest.at(i.linkType)) << i.name;
    }
    // Every Interface Description Block with the file's snapLen: the same bytes.
    for (size_t at = 0; at + 16 <= streamed.size(); at += loadLe32(&streamed[at + 4])) {
        if (loadLe32(&streamed[at]) == 1) {
            storeLe32(&streamed[at + 12], m.file.interfaces.front().snapLength);
        }
        ASSERT_GE(loadLe32(&streamed[at + 4]), 12u);
    }
    EXPECT_EQ(streamed, m.dir.read("Trace.pcapng"));
    EXPECT_NE(run.err.find("Trace.orn -> standard output: "), std::string::npos) << run.err;
}

TEST(Orn2PcapngExport, ReplacesOutputsOnlyAsAConverterWould) {
    const MixedExport& m = mixed();
    const Bytes expected = m.dir.read("Trace.pcapng");
    TempDir dir;
    dir.write("Trace.orn", m.dir.read("Trace.orn"));
    dir.write("old.pcapng", Bytes(expected.size() * 2, 0xEE));  // longer: truncated
    EXPECT_EQ(runOrn2Pcapng(dir, {"Trace.orn", "old.pcapng"}).exitCode, 0);
    EXPECT_EQ(dir.read("old.pcapng"), expected);
    dir.write("target.pcapng", {1, 2, 3});
    ASSERT_EQ(::symlink("target.pcapng", (dir / "link.pcapng").c_str()), 0);
    EXPECT_EQ(runOrn2Pcapng(dir, {"Trace.orn", "link.pcapng"}).exitCode, 0);
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "link.pcapng").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(dir.read("target.pcapng"), expected);
    EXPECT_EQ(runOrn2Pcapng(dir, {"Trace.orn", "/dev/null"}).exitCode, 0);
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    const ToolRun self = runOrn2Pcapng(dir, {"Trace.orn", "Trace.orn"});
    EXPECT_EQ(self.exitCode, 3);
    EXPECT_EQ(self.err, "orn2pcapng: Trace.orn: is the trace itself. Unable to OPEN/CREATE Target "
                        "file.\n");
    EXPECT_EQ(dir.read("Trace.orn"), m.dir.read("Trace.orn"));
    EXPECT_EQ(runOrn2Pcapng(dir, {"Trace.orn", "missing/x.pcapng"}).exitCode, 3);
}

TEST(Orn2PcapngExport, AFailedWriteLeavesAFileEndingAtItsLastWholeBlock) {
    const MixedExport& m = mixed();
    for (long limit : {100L, 5000L, 40000L}) {
        TempDir dir;
        dir.write("Trace.orn", m.dir.read("Trace.orn"));
        RunOptions options;
        options.fileSizeLimit = limit;
        const ToolRun run = runOrn2Pcapng(dir, {"Trace.orn", "out.pcapng"}, options);
        SCOPED_TRACE(limit);
        EXPECT_EQ(run.exitCode, 6);
        EXPECT_EQ(run.err, "orn2pcapng: out.pcapng: Unable to WRITE Target file. It ends at its "
                           "last whole block.\n");
        EXPECT_EQ(run.out, "");
        if (dir.exists("out.pcapng")) {  // a file too small for its first block never appears
            const Bytes written = dir.read("out.pcapng");
            EXPECT_LE(written.size(), size_t(limit));
            EXPECT_EQ(parsePcapng(written).fault, "");
        }
    }
}

// A block that fails its check: what came before it is exported, the output
// complete, and the status 1.
TEST(Orn2PcapngExport, ADamagedTraceExportsWhatCameBeforeTheDamage) {
    const MixedExport& m = mixed();
    tracebuild::TraceSpec recipe;
    const Bytes stream = tracebuild::recordStream(m.records, 8);
    recipe.blocks = tracebuild::splitIntoBlocks(stream, 4096, tracebuild::BlockMode::Alternate);
    recipe.blocks[5].fcs = 0x1234;
    TempDir dir;
    dir.write("Trace.orn", tracebuild::buildTrace(recipe));
    const ToolRun run = runOrn2Pcapng(dir, {"Trace.orn"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("orn2pcapng: Trace.orn: block 6 at offset "), std::string::npos);
    EXPECT_NE(run.err.find(": FCS-16 wrong: exported what came before it; ornfix Trace.orn "
                           "salvages every intact record\n"),
              std::string::npos);
    const PcapngRead file = parsePcapng(dir.read("Trace.pcapng"));
    EXPECT_EQ(file.fault, "");
    EXPECT_EQ(file.statistics.size(), file.interfaces.size());
    EXPECT_GT(file.packets.size(), 0u);
    EXPECT_LT(file.packets.size(), m.file.packets.size());
    for (size_t i = 0; i < file.packets.size(); ++i) {
        EXPECT_EQ(file.packets[i].data, m.file.packets[i].data);
    }
}

TEST(Orn2PcapngPorts, UnrecognisedPortsAreNamedInOneWarningAndCanBeNamedByHand) {
    std::vector<Record> records = mixedPortRecords(40);
    for (uint32_t i = 0; i < 30; ++i) {
        Bytes noise(64);
        for (size_t b = 0; b < noise.size(); ++b) noise[b] = uint8_t((i * 131 + b * 29) % 251);
        noise[0] = 0;  // no 0x7E, LAPD or PPP start
        EventRecord r{};
        r.timeMs = i * 7;
        r.port = 7;
        r.eventType = 20 + i % 2;
        r.origLength = 64;
        records.push_back({r, noise});
    }
    TempDir dir;
    dir.write("Trace.orn", tracebuild::traceOfRecords(records));
    const ToolRun run = runOrn2Pcapng(dir, {"Trace.orn"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "orn2pcapng: Trace.orn: not exported, frame format not recognised: port 7; "
                       "name it with -p PORT=FORMAT (ethernet, ppp-sync, ppp-async, raw-ip, i4b or "
                       "internal-udp)\n");
    EXPECT_NE(run.out.find("30 on ports not exported"), std::string::npos) << run.out;
    const ToolRun named = runOrn2Pcapng(dir, {"-p7=ppp-sync", "-p", "99", "Trace.orn", "x.pcapng"});
    EXPECT_EQ(named.err, "orn2pcapng: Trace.orn: port 99: no records in the trace\n");
    const PcapngRead file = parsePcapng(dir.read("x.pcapng"));
    ASSERT_EQ(file.interfaces.size(), 1u);
    EXPECT_EQ(file.interfaces[0].name, "port7-lsn0000");
    EXPECT_EQ(file.packets.size(), 30u);
}

TEST(Orn2PcapngRun, AnInterruptedExportIsCompleteUpToThen) {
    TempDir dir;
    writePortTrace(dir, 400000);
    RunOptions options;
    options.signalWhenExists = "Trace.pcapng";
    options.signal = SIGINT;
    const ToolRun run = runOrn2Pcapng(dir, {"-p30=raw-ip", "Trace.orn"}, options);
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("interrupted by signal 2: Trace.pcapng holds what was exported"),
              std::string::npos);
    const PcapngRead file = parsePcapng(dir.read("Trace.pcapng"));
    EXPECT_EQ(file.fault, "");
    EXPECT_EQ(file.statistics.size(), file.interfaces.size());
    EXPECT_LT(file.packets.size(), 400000u);
}

// Nothing exported is a failure: the run says why, with the -p that names a
// port's format, and leaves no file of its own making without a packet; a
// file that stood there before is kept, emptied.
TEST(Orn2PcapngRun, NothingExportedEndsWith4AndLeavesNoEmptyFile) {
    TempDir dir;
    dir.write("Trace.orn", tracebuild::buildTrace({}));
    ToolRun run = runOrn2Pcapng(dir, {"Trace.orn"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.err, "orn2pcapng: Trace.orn: nothing exported, the trace holds no records of "
                       "the ports exported: Trace.pcapng not kept\n");
    EXPECT_FALSE(fileExists(dir / "Trace.pcapng"));

    // Frames no format explains: the ports left out, and how to name them.
    std::vector<tracebuild::Record> records;
    for (uint16_t port : {7, 9}) {
        for (int n = 0; n < 20; ++n) {
            EventRecord r;
            r.timeMs = static_cast<uint32_t>(records.size());
            r.port = port;
            r.eventType = kEventFrameSent;
            r.dataLength = r.origLength = 4;
            records.push_back({r, Bytes{0x00, 0x01, 0x02, 0x03}});
        }
    }
    dir.write("Odd.orn", tracebuild::traceOfRecords(records, {}, 4096));
    dir.write("Odd.pcapng", Bytes(10, 'x'));
    run = runOrn2Pcapng(dir, {"Odd.orn"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.err,
              "orn2pcapng: Odd.orn: not exported, frame format not recognised: ports 7, 9; name it "
              "with -p PORT=FORMAT (ethernet, ppp-sync, ppp-async, raw-ip, i4b or internal-udp)\n"
              "orn2pcapng: Odd.orn: nothing exported, no port's frame format could be decided: "
              "Odd.pcapng holds no packet\n");
    EXPECT_EQ(parsePcapng(dir.read("Odd.pcapng")).packets.size(), 0u);
    run = runOrn2Pcapng(dir, {"-p7=raw-ip", "Odd.orn", "raw.pcapng"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.err, "orn2pcapng: Odd.orn: nothing exported, no record of the ports exported "
                       "carries a frame: raw.pcapng not kept\n");
}

struct CommandCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string out;  // start of standard output
    std::string err;  // all of standard error
};

TEST(Orn2PcapngRun, CommandLineConventions) {
    const std::string tryHelp = " (try 'orn2pcapng --help')\n";
    const std::vector<CommandCase> cases = {
        {"help", {"-h"}, 0, "Usage: orn2pcapng [-p PORT[=FORMAT]]...", ""},
        {"long help", {"Trace.orn", "--help"}, 0, "Usage: orn2pcapng", ""},
        {"version", {"--version"}, 0, "orn2pcapng (OrnPcap suite) " ORNPCAP_VERSION "\n", ""},
        {"no trace", {}, 2, "", "orn2pcapng: no trace named" + tryHelp},
        {"three names", {"a", "b", "c"}, 2, "",
         "orn2pcapng: one trace and one output at most, not 3 names" + tryHelp},
        {"trace from stdin, no output", {"-"}, 2, "",
         "orn2pcapng: the trace comes from standard input: name the output (- for standard "
         "output)" + tryHelp},
        {"help among ports", {"-p3", "-hp4"}, 0, "Usage: orn2pcapng", ""},
        {"combined, then --", {"-p3", "--", "-p4"}, 2, "",
         "orn2pcapng: -p4: No such file or directory: nothing exported\n"},
        {"long option value", {"--split=lane", "T"}, 2, "",
         "orn2pcapng: --split=lane: linktype or port" + tryHelp},
        {"long option without value", {"T", "--split"}, 2, "",
         "orn2pcapng: --split wants a value: --split=linktype|port" + tryHelp},
        {"unknown long option", {"--spilt=port", "T"}, 2, "",
         "orn2pcapng: unknown option --spilt" + tryHelp},
        {"-p without port", {"T", "-p"}, 2, "", "orn2pcapng: -p wants a port: -p PORT[=FORMAT]" + tryHelp},
        {"split to stdout", {"--split=port", "T", "-"}, 2, "",
         "orn2pcapng: --split writes files: their names cannot be standard output" + tryHelp},
        {"bad port", {"-p70000", "T"}, 2, "",
         "orn2pcapng: -p 70000: the port is a number from 0 to 65535" + tryHelp},
        {"bad format", {"-p", "3=isdn", "T"}, 2, "",
         "orn2pcapng: -p 3=isdn: the format is 1 to 6 or ethernet, ppp-sync, ppp-async, raw-ip, "
         "i4b, internal-udp" + tryHelp},
        {"port twice", {"-p3", "-p3=5", "T"}, 2, "", "orn2pcapng: -p: port 3 is given twice" + tryHelp},
        {"unknown option", {"-x", "T"}, 2, "", "orn2pcapng: unknown option -x" + tryHelp},
        {"missing trace", {"nothing.orn"}, 2, "",
         "orn2pcapng: nothing.orn: No such file or directory: nothing exported\n"},
        {"not a trace", {"plain.txt"}, 2, "",
         "orn2pcapng: plain.txt: not a trace: file type is not TRC: nothing exported\n"},
    };
    TempDir dir;
    dir.write("plain.txt", Bytes(300, 'x'));
    for (const CommandCase& c : cases) {
        const ToolRun run = runOrn2Pcapng(dir, c.args);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out.substr(0, c.out.size()), c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(Orn2PcapngManPage, RendersCleanlyAndGivesEveryExitStatus) {
    const RenderedPage rendered = renderManPage("orn2pcapng.1");
    if (!rendered.groffInstalled) {
        GTEST_SKIP() << "groff is not installed: manual page check skipped";
    }
    ASSERT_TRUE(rendered.rendered);
    EXPECT_EQ(rendered.warnings, "");
    const std::string page = std::regex_replace(rendered.text, std::regex("\\s+"), " ");
    for (const char* status : {" 0 the trace was exported", " 1 the trace is damaged",
                               " 2 a usage error", " 128+signal interrupted"}) {
        EXPECT_NE(page.find(status), std::string::npos) << status;
    }
    for (const char* status : {" 3 Unable to OPEN/CREATE Target file.",
                               " 6 Unable to WRITE Target file.",
                               " 18 Allocation failure. Not enough memory to execute the program."}) {
        EXPECT_NE(page.find(status), std::string::npos) << status;
    }
}

}  // namespace
}  // namespace ornpcap::test
