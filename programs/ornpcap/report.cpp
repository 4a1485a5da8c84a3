#include "ornpcap/report.hpp"

#include "suite/console.hpp"

namespace ornpcap::converter {

namespace {

constexpr const char* kCredits = "OrnPcap: device port traces for tcpdump and Wireshark";

constexpr const char* kHelpHead =
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
    "  -o    - Output file name (default is Trace.pcap)";

constexpr const char* kHelpTail =
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
    "     OrnPcap -f2 -p20 -l1 -d0\n";

}  // namespace

void printBanner() {
    console::printf("\r\nConverter from Varnek ORN Trace to LibPcap/VN/I4B format\r\n(%s)\r\n%s\r\n\r\n",
                    kVersionText, kCredits);
}

void printHelp() {
    console::printLine(kHelpHead);
    console::printLine("  -f    - Frame format to be converted:");
    for (const FrameFormatRow& row : frameFormats()) {
        console::printf("          -f%d - %.*s ", static_cast<int>(row.format),
                        static_cast<int>(row.name.size()), row.name.data());
        console::printLine(row.format == FrameFormat::Ethernet ? "(default)" : " ");
    }
    console::printLine(kHelpTail);
}

namespace {

void printI4bEcho(const ConversionPlan& plan) {
    console::printLine("\nConversion parameters:");
    console::printf(" Input file name      : %s\n", plan.trace.name.c_str());
    console::printf(" Output file name     : %s\n", plan.naming.outputName().c_str());
    console::printf(" Port to be extracted : %d\n", static_cast<int>(plan.filter.port));
}

void printLsn(const RecordFilter& filter) {
    switch (filter.lsnMode) {
        case LsnMode::Any:
            console::print(" Lsn to be extracted  : ANY\n");
            break;
        case LsnMode::All:
            console::print(" Lsn to be extracted  : ALL\n");
            break;
        case LsnMode::One:
            console::printf(" Lsn to be extracted  : %04X\n", static_cast<unsigned>(filter.lsn));
            break;
    }
}

}  // namespace

void printParameterEcho(const ConversionPlan& plan) {
    if (plan.converter == Converter::I4b) {
        printI4bEcho(plan);
        return;
    }
    const RecordFilter& filter = plan.filter;
    console::printLine("\nConversion parameters:");
    console::printf(" Input file name      : %s\n", plan.trace.name.c_str());
    if (!plan.layout.perLsn) {
        console::printf(" Output file name     : %s\n",
                        plan.naming.nameFor(plan.layout.lsn).c_str());
    }
    const std::string_view format = frameFormatName(plan.format);
    console::printf(" Frames FORMAT        : %d (%.*s)\n", static_cast<int>(plan.format),
                    static_cast<int>(format.size()), format.data());
    console::printf(" Port to be extracted : %d\n", static_cast<int>(filter.port));
    printLsn(filter);
    const std::string_view direction = directionName(filter.direction);
    console::printf(" Direction            : %d (%.*s)\n", static_cast<int>(filter.direction),
                    static_cast<int>(direction.size()), direction.data());
}

void printStatistics(const ConversionStats& stats) {
    console::printLine("\nConversion statistics:");
    console::printf(" ORN trace records        : %10d\r\n", stats.traceRecords);
    console::printf(" Output trace records     : %10d ( %d In, %d Out)\r\n", stats.outputRecords,
                    stats.inRecords, stats.outRecords);
    console::printf(" Bad disacarded records   : %10d\r\n", stats.discardedRecords);
    console::printf(" Number of generated files: %10d\r\n", stats.generatedFiles);
}

void printFailure(ResultCode code, const std::string& inputName, const std::string& targetName) {
    console::printLine(" ");
    switch (code) {
        case ResultCode::CannotOpenSource:
            console::printf(" ERROR %d: file %s cannot be opened !!!\n", exitCode(code),
                            inputName.c_str());
            break;
        case ResultCode::CannotCreateTarget:
            console::printf(" ERROR %d: file %s cannot be created !!!\n", exitCode(code),
                            targetName.c_str());
            break;
        case ResultCode::Interrupted:
            console::printLine("CONVERSION INTERRUPTED. Target file(s) completed up to the last record.");
            break;
        default:
            console::printLine(resultMessage(code));
            break;
    }
}

}  // namespace ornpcap::converter
