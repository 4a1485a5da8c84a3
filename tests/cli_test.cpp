// The command line as a user meets it: exact standard output and exit codes of
// the built binary, run in a temporary folder.

#include <gtest/gtest.h>

#include <cctype>

#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

using tracebuild::HeaderSpec;
using tracebuild::TraceSpec;

const std::string kBanner =
    "\r\nConverter from Varnek ORN Trace to LibPcap/VN/I4B format\r\n"
    "(v. 6.05.00 - 09/12/2009)\r\n"
    "OrnPcap: device port traces for tcpdump and Wireshark\r\n\r\n";

const std::string kHelp =
    "HELP\n"
    " Purpose: Converts the ORN trace to LibPcap format (.pcap) or\n"
    "          to Visual Network format (.vn) or to I4B format (.i4b).\n"
    "          This formats are readable by TcpDump and WireShark.\n"
    "\n"
    " Usage: OrnPcap [-?] [-i<Filename>] [-o<Filename>] [-f<format>] -p<Orn port>\n"
    "                [-l<Lsn>] [-d<direction>]\n"
    " Switches:\n"
    "  -?    - Displays this help\n"
    "  -i    - Input file name (default is Trace.orn)\n"
    "  -o    - Output file name (default is Trace.pcap)\n"
    "  -f    - Frame format to be converted:\n"
    "          -f1 - ETHERNET (default)\n"
    "          -f2 - PPP-Sync  \n"
    "          -f3 - PPP-Async  \n"
    "          -f4 - Raw-IP  \n"
    "          -f5 - I4B ISDN  \n"
    "          -f6 - Internal-UDP  \n"
    "  -p    - Port to be extracted [0..65535] (mandatory)\n"
    "  -l    - Lsn to be extracted [ANY, ALL, 0..FFFF] (mandatory for PPP format)\n"
    "  -d    - Direction to be extracted (mandatory for PPP format):\n"
    "          -d0 - Input\n"
    "          -d1 - Output\n"
    "          -d2 - Input and Output (default)\n"
    "\n"
    " Examples:\n"
    "  1) To convert TRACE.ORN to TRACE.PCAP, ORN port 30, Ethernet format:\n"
    "     OrnPcap -p30\n"
    "     or\n"
    "     OrnPcap -iTrace.orn -oTrace.pcap -f1 -p30\n"
    "\n"
    "  2) To convert MY_TRACE.ORN to MY_TRACE_001.PCAP, ORN port 24, Ethernet:\n"
    "     OrnPcap -iMY_TRACE.ORN -oMY_TRACE_001.PCAP -f1 -p24\n"
    "\n"
    "  3) To convert TRACE.ORN to PPP layer, ORN port 20, Lsn 0x01, Input direction:\n"
    "     OrnPcap -f2 -p20 -l1 -d0\n"
    "\n";

const std::string kDetected = "Detected command line parameters:\n";

std::string withHelp(const std::string& message) { return message + "\n" + kHelp; }

// A trace with a header of the version and no blocks.
Bytes emptyTrace(uint16_t version) {
    TraceSpec layout;
    layout.header.versionMajor = version;
    return tracebuild::buildTrace(layout);
}

struct Case {
    std::vector<std::string> args;
    std::string afterDetected;  // what follows "Detected command line parameters:"
    int exitCode;
};

class OrnPcapUsage : public ::testing::TestWithParam<Case> {};

TEST_P(OrnPcapUsage, PrintsExactlyAndExits) {
    TempDir dir;
    const Case& c = GetParam();
    const ToolRun run = runOrnPcap(dir, c.args);
    EXPECT_EQ(run.out, kBanner + kDetected + c.afterDetected);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_TRUE(dir.list().empty()) << "a usage error must not create files";
}

const std::string kInvalidPort = " INVALID PORT detected, showing help.\n";
const std::string kInvalidLsn = " INVALID LSN detected, showing help.\n";
const std::string kRawIp = " -f - Frame FORMAT: 4 (Raw-IP)\n";
const std::string kPppLines =
    " \n ERROR: Parameter -l is mandatory for PPP layer conversion.\n"
    " Please specify the Lsn to be extracted.\n";

// The arguments as a test name: "-p30" "-l1FFFF" gives p30_l1FFFF.
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const std::string& arg : info.param.args) {
        name += name.empty() ? "" : "_";
        for (char c : arg) {
            if (c == '?') {
                name += "help";
            } else if (std::isalnum(static_cast<unsigned char>(c))) {
                name += c;
            } else if (c != '-') {
                name += 'x';
            }
        }
    }
    return name.empty() ? "none" : name;
}

INSTANTIATE_TEST_SUITE_P(
    Options, OrnPcapUsage,
    ::testing::Values(
        Case{{}, withHelp(" NO PARAMETERS detected, showing help.\n"), 1},
        Case{{"-x", "junk"}, withHelp(" NO PARAMETERS detected, showing help.\n"), 1},
        Case{{"-?"}, " -?\n\n" + kHelp, 1},
        Case{{"-?", "-p30"}, " -?\n\n" + kHelp, 1},
        Case{{"-p0"}, withHelp(kInvalidPort), 1},
        Case{{"-p65536"}, withHelp(kInvalidPort), 1},
        Case{{"-pabc"}, withHelp(kInvalidPort), 1},
        // The value belongs to the same argument: "-p" "30" is an empty port.
        Case{{"-p", "30"}, withHelp(kInvalidPort), 1},
        Case{{"-p30", "-l1FFFF"}, " -p - Port to be extracted: 30\n" + withHelp(kInvalidLsn), 1},
        Case{{"-p30", "-lxyz"}, " -p - Port to be extracted: 30\n" + withHelp(kInvalidLsn), 1},
        Case{{"-p30", "-l-1"}, " -p - Port to be extracted: 30\n" + withHelp(kInvalidLsn), 1},
        Case{{"-d3", "-p30"},
             withHelp(" UNKNOWN/UNSUPPORTED DIRECTION value detected, showing help.\n"), 1},
        Case{{"-f7"}, withHelp(" UNKNOWN/UNSUPPORTED FRAME FORMAT detected, showing help.\n"), 1},
        Case{{"-f1"},
             " -f - Frame FORMAT: 1 (ETHERNET)\n \n ERROR: Parameter -p is mandatory.\n"
             " Please specify the Port to be converted.\n",
             1},
        Case{{"-f2", "-p20"}, " -f - Frame FORMAT: 2 (PPP-Sync)\n -p - Port to be extracted: 20\n" + kPppLines, 1},
        Case{{"-f3", "-p20", "-d0"},
             " -f - Frame FORMAT: 3 (PPP-Async)\n -p - Port to be extracted: 20\n"
             " -d - Direction to be extracted: 0 (In)\n" + kPppLines,
             1}),
    caseName);

// Options that are accepted: the run goes on to the trace, which is missing,
// so it ends with 2 and prints nothing after the detected parameters.
INSTANTIATE_TEST_SUITE_P(
    MissingTrace, OrnPcapUsage,
    ::testing::Values(
        Case{{"-p65535"}, " -p - Port to be extracted: 65535\n", 2},
        Case{{"-P30"}, " -p - Port to be extracted: 30\n", 2},
        Case{{"-p 030xyz"}, " -p - Port to be extracted: 30\n", 2},
        Case{{"-x", "-p30"}, " -p - Port to be extracted: 30\n", 2},
        Case{{"-f4", "-p30", "-lall"}, kRawIp + " -p - Port to be extracted: 30\n -l - Lsn to be extracted: ALL\n", 2},
        Case{{"-f4", "-p30", "-LAny"}, kRawIp + " -p - Port to be extracted: 30\n -l - Lsn to be extracted: ANY\n", 2},
        Case{{"-f4", "-p30", "-l0"}, kRawIp + " -p - Port to be extracted: 30\n -l - Lsn to be extracted: 0000\n", 2},
        Case{{"-f4", "-p30", "-l0x1a"}, kRawIp + " -p - Port to be extracted: 30\n -l - Lsn to be extracted: 001A\n", 2},
        Case{{"-F", "-p30"}, " -f - Frame FORMAT: 1 (ETHERNET)\n -p - Port to be extracted: 30\n", 2},
        Case{{"-i  my trace.orn", "-o", "-p1"},
             " -i - Input file name: my trace.orn\n -o - Output file name: \n -p - Port to be extracted: 1\n",
             2}),
    caseName);

// Runs that reach the converter on a trace without blocks: the echo, then
// "NO EVENTS WERE FOUND" (exit 1), the warnings where options are ignored.
TEST(OrnPcapOptionWarnings, I4bIgnoresLsnAndDirection) {
    TempDir dir;
    dir.write("Trace.orn", emptyTrace(8));
    const ToolRun run = runOrnPcap(dir, {"-f5", "-p3", "-l1", "-d0"});
    EXPECT_EQ(run.out, kBanner + kDetected +
                           " -f - Frame FORMAT: 5 (I4B ISDN)\n"
                           " -p - Port to be extracted: 3\n"
                           " -l - Lsn to be extracted: 0001\n"
                           " -d - Direction to be extracted: 0 (In)\n"
                           " \n WARNING: Parameter -l is useless in I4B ISDN conversion.\n"
                           "          The specified value will be ignored.\n"
                           " \n WARNING: Parameter -d is useless in I4B ISDN conversion.\n"
                           "          The specified value will be ignored.\n"
                           "\nConversion parameters:\n"
                           " Input file name      : Trace.orn\n"
                           " Output file name     : Trace.i4b\n"
                           " Port to be extracted : 3\n"
                           " \nNO EVENTS WERE FOUND. Target file(s) deleted.\n");
    EXPECT_EQ(run.exitCode, 1);
}

TEST(OrnPcapOptionWarnings, EthernetIgnoresLsnButNotAny) {
    TempDir dir;
    dir.write("Trace.orn", emptyTrace(7));
    const ToolRun all = runOrnPcap(dir, {"-f1", "-p30", "-lALL"});
    EXPECT_EQ(all.out, kBanner + kDetected +
                           " -f - Frame FORMAT: 1 (ETHERNET)\n"
                           " -p - Port to be extracted: 30\n"
                           " -l - Lsn to be extracted: ALL\n"
                           " \n WARNING: Parameter -l is useless in ETHERNET conversion.\n"
                           "          The specified value will be ignored.\n"
                           "\nConversion parameters:\n"
                           " Input file name      : Trace.orn\n"
                           " Output file name     : Trace.pcap\n"
                           " Frames FORMAT        : 1 (ETHERNET)\n"
                           " Port to be extracted : 30\n"
                           " Lsn to be extracted  : ANY\n"
                           " Direction            : 2 (In+Out)\n"
                           " \nNO EVENTS WERE FOUND. Target file(s) deleted.\n");
    const ToolRun any = runOrnPcap(dir, {"-f1", "-p30", "-lANY"});
    EXPECT_EQ(any.out.find("WARNING"), std::string::npos);
}

// The probe on real bytes: the run ends before the parameter echo with the
// probe's code, silently.
struct ProbeCase {
    const char* name;
    Bytes trace;
    int exitCode;
};

Bytes withHeader(const HeaderSpec& header) {
    TraceSpec layout;
    layout.header = header;
    return tracebuild::buildTrace(layout);
}

std::vector<ProbeCase> probeCases() {
    std::vector<ProbeCase> cases;
    cases.push_back({"195 bytes", Bytes(195, 0), 7});
    HeaderSpec sub2;
    sub2.subVersion = 2;
    cases.push_back({"subVersion 02", withHeader(sub2), 7});
    HeaderSpec v9;
    v9.versionText = "00009.000";
    cases.push_back({"version text 00009.000", withHeader(v9), 4});
    HeaderSpec badFcs;
    badFcs.badFcs = true;
    cases.push_back({"header FCS", withHeader(badFcs), 4});
    TraceSpec tooLong;
    tooLong.streamLength = 1;  // one byte more than lies between header and trailer
    cases.push_back({"streamLength one too large", tracebuild::buildTrace(tooLong), 11});
    TraceSpec badTrailer;
    badTrailer.badTrailerFcs = true;
    cases.push_back({"trailer FCS", tracebuild::buildTrace(badTrailer), 11});
    return cases;
}

TEST(OrnPcapProbe, RefusesDamagedTracesBeforeTheEcho) {
    for (const ProbeCase& c : probeCases()) {
        TempDir dir;
        dir.write("Trace.orn", c.trace);
        const ToolRun run = runOrnPcap(dir, {"-p30"});
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(run.out, kBanner + kDetected + " -p - Port to be extracted: 30\n") << c.name;
        EXPECT_EQ(dir.read("Trace.orn"), c.trace) << c.name << ": the trace must stay as it was";
    }
}

TEST(OrnPcapProbe, AcceptsVersionsFiveToEight) {
    for (uint16_t version : {5, 6, 7, 8}) {
        TempDir dir;
        // The probe reads 203 bytes first, so a small header needs a few
        // unused bytes behind it to be probed at all.
        TraceSpec layout;
        layout.header.versionMajor = version;
        layout.unusedBeforeTrailer = 16;
        dir.write("Trace.orn", tracebuild::buildTrace(layout));
        const ToolRun run = runOrnPcap(dir, {"-p30"});
        EXPECT_EQ(run.exitCode, 1) << "version " << version << ": no blocks, no events";
        EXPECT_NE(run.out.find("NO EVENTS WERE FOUND"), std::string::npos) << version;
    }
}

TEST(OrnPcapProbe, ShortVersionSixFileIsUnreadable) {
    // 196 bytes hold a good 180-byte header and a trailer, but the probe
    // always reads 203 bytes first.
    TempDir dir;
    dir.write("Trace.orn", emptyTrace(6));
    EXPECT_EQ(runOrnPcap(dir, {"-p30"}).exitCode, 4);
}

// A name with blanks is one argument, quoted by the shell: all of it is the name.
TEST(OrnPcapEntry, NamesWithBlanksAreWholeNames) {
    TempDir dir;
    EventRecord r;
    r.port = 3;
    r.eventType = kEventFrameReceived;
    r.origLength = 20;
    dir.write("my trace.orn", tracebuild::traceOfRecords({{r, Bytes(20, 0x45)}}));
    const ToolRun run = runOrnPcap(dir, {"-i my trace.orn", "-o\tmy out.pcap", "-f4", "-p3"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(" Input file name      : my trace.orn\n"), std::string::npos);
    EXPECT_NE(run.out.find(" Output file name     : my out.pcap\n"), std::string::npos);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"my out.pcap", "my trace.orn"}));
}

TEST(OrnPcapEntry, CreateFailureNamesTheFileOfEveryConverter) {
    // The trace has a record for each converter, but the output folder is missing.
    TempDir dir;
    EventRecord r;
    r.port = 3;
    r.eventType = kEventFrameReceived;
    r.origLength = 20;
    dir.write("Trace.orn", tracebuild::traceOfRecords({{r, Bytes(20, 0x45)}}));
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{"-f4", "-p3", "-onone/x.pcap"}, "none/x.pcap"},
        {{"-f2", "-p3", "-lALL", "-onone/x.pcap"}, "none/x.vn"},
        {{"-f5", "-p3", "-onone/x.pcap"}, "none/x.i4b"},
    };
    for (const auto& [args, name] : runs) {
        const ToolRun run = runOrnPcap(dir, args);
        EXPECT_EQ(run.exitCode, 3) << name;
        EXPECT_NE(run.out.find(" \n ERROR 3: file " + name + " cannot be created !!!\n"),
                  std::string::npos)
            << run.out;
    }
}

}  // namespace
}  // namespace ornpcap::test
