// ornfix run as a user runs it: the report on standard output (standard
// error when the trace goes to standard output), every exit status with its
// message, the rules for the output name, and no half-written trace left by
// a failed or interrupted run.

#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "ornfix/options.hpp"
#include "tests/support/sanitizer_sample.hpp"
#include "tests/ornfix/fix_support.hpp"

namespace ornpcap::test::fix {
namespace {

const Bytes& sample() {
    static const Bytes bytes = tracebuild::readFile(ORNPCAP_SOURCE_DIR "/examples/Trace.orn");
    return bytes;
}

Bytes sampleCutTo(size_t length) {
    return Bytes(sample().begin(), sample().begin() + static_cast<std::ptrdiff_t>(length));
}

// The folder holds these names and nothing else (no temporary file).
void expectOnly(const TempDir& dir, std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    EXPECT_EQ(dir.list(), names);
}

TEST(OrnfixCommand, HelpVersionAndUsageErrors) {
    TempDir dir;
    for (const char* help : {"-h", "--help", "--he", "-nh"}) {
        const ToolRun run = runOrnfix(dir, {help, "nosuch.orn"});
        EXPECT_EQ(run.exitCode, 0) << help;
        EXPECT_EQ(run.out, ornfix::kHelp) << help;
        EXPECT_EQ(run.err, "") << help;
    }
    const ToolRun version = runOrnfix(dir, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "ornfix (OrnPcap suite) " ORNPCAP_VERSION "\n");
    EXPECT_EQ(version.err, "");
    const std::pair<std::vector<std::string>, std::string> errors[] = {
        {{}, "no trace given"},
        {{"-x", "t.orn"}, "unknown option -x"},
        {{"-fx", "t.orn"}, "unknown option -x"},
        {{"t.orn", "--forse"}, "unknown option --forse"},
        {{"--force=yes", "t.orn"}, "option --force takes no value"},
        {{"--version=2"}, "option --version takes no value"},
        {{"a.orn", "b.orn", "c.orn"}, "too many names: c.orn"},
        {{"-"}, "a trace is read twice, so it cannot come from standard input"},
    };
    for (const auto& [args, problem] : errors) {
        const ToolRun run = runOrnfix(dir, args);
        EXPECT_EQ(run.exitCode, 2) << problem;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "ornfix: " + problem + " (try 'ornfix --help')\n");
    }
    expectOnly(dir, {});
}

// Letters combined, options after the names, "--" before a name that looks
// like an option.
TEST(OrnfixCommand, ReadsItsCommandLineAsGetoptLongDoes) {
    TempDir dir;
    dir.write("-cut.orn", sampleCutTo(3000));
    const ToolRun dry = runOrnfix(dir, {"-nf", "--", "-cut.orn"});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_NE(dry.out.find("\ndry run: nothing written; -cut_fixed.orn would hold "),
              std::string::npos) << dry.out;
    const ToolRun letter = runOrnfix(dir, {"-cut.orn", "-f"});
    EXPECT_EQ(letter.exitCode, 2) << "without --, -cut.orn is options";
    EXPECT_EQ(letter.err, "ornfix: unknown option -c (try 'ornfix --help')\n");
    dir.write("-cut_fixed.orn", Bytes{1});
    EXPECT_EQ(runOrnfix(dir, {"--", "-cut.orn"}).exitCode, 3);
    EXPECT_EQ(runOrnfix(dir, {"--for", "--", "-cut.orn"}).exitCode, 0);
    EXPECT_GT(dir.read("-cut_fixed.orn").size(), 1000u);
    expectOnly(dir, {"-cut.orn", "-cut_fixed.orn"});
}

TEST(OrnfixCommand, RepairsACutTraceBesideIt) {
    TempDir dir;
    dir.write("cut.orn", sampleCutTo(3000));
    const ToolRun run = runOrnfix(dir, {"cut.orn"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "cut.orn: format version 8 (header 203 bytes), 3000 bytes\n"
              "cut short: block 8 at offset 2802: its 512 bytes of data are cut short: the file "
              "ends there and its trailer is gone; bytes 2802 to 2999 (198 bytes) dropped; a new "
              "trailer computed from the blocks kept\n"
              "end of the records: 1 record cut short (27 bytes) dropped; records after "
              "2009-12-09 11:00:09.000 UTC lost\n"
              "kept: 49 records in 7 blocks (6 of them whole), 2009-12-09 11:00:01.000 UTC to "
              "2009-12-09 11:00:09.000 UTC\n"
              "dropped: 198 bytes of the trace, 0 blocks missing by their numbers, 1 record cut\n"
              "written: cut_fixed.orn holds 7 blocks (6 copied as they were, 1 new, 1 of them "
              "compressed)\n"
              "cut_fixed.orn: format version 8, 7 blocks, 49 records, 2009-12-09 11:00:01.000 "
              "UTC to 2009-12-09 11:00:09.000 UTC, integrity OK\n");
    expectOnly(dir, {"cut.orn", "cut_fixed.orn"});
    EXPECT_EQ(dir.read("cut.orn"), sampleCutTo(3000));
    const ToolRun converted = runOrnPcap(dir, {"-icut_fixed.orn", "-oeth.pcap", "-f1", "-p30"});
    EXPECT_EQ(converted.exitCode, 0) << converted.out;
}

TEST(OrnfixCommand, ReportsDamageInTheMiddleBlockByBlock) {
    // Block 4 of the sample damaged (a data byte), block 7 written twice.
    TempDir dir;
    Bytes trace = sample();
    trace[1210 + 6 + 100] ^= 0xFF;
    const Bytes seventh(trace.begin() + 2520, trace.begin() + 2802);
    trace.insert(trace.begin() + 2802, seventh.begin(), seventh.end());
    dir.write("mid.orn", trace);
    const ToolRun run = runOrnfix(dir, {"mid.orn"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "mid.orn: format version 8 (header 203 bytes), 3712 bytes\n"
              "damaged: block 4 at offset 1210: FCS-16 wrong; bytes 1210 to 1727 (518 bytes) "
              "dropped, 1 block lost; block 5 at offset 1728 intact (reached by the damaged "
              "block's length)\n"
              "records: 1 record cut by it, 42 bytes of records dropped before the first whole "
              "record after it; records between 2009-12-09 11:00:03.500 UTC and 2009-12-09 "
              "11:00:04.030 UTC lost\n"
              "duplicate: block 7 written again at offset 2802, byte for byte as at offset 2520: "
              "bytes 2802 to 3083 (282 bytes) dropped, the record stream runs on\n"
              "kept: 53 records in 8 blocks (6 of them whole), 2009-12-09 11:00:01.000 UTC to "
              "2009-12-09 11:00:14.640 UTC\n"
              "dropped: 800 bytes of the trace, 1 block missing by their numbers, 1 record cut\n"
              "written: mid_fixed.orn holds 8 blocks (6 copied as they were, 2 new, 2 of them "
              "compressed)\n"
              "mid_fixed.orn: format version 8, 8 blocks, 53 records, 2009-12-09 11:00:01.000 "
              "UTC to 2009-12-09 11:00:14.640 UTC, integrity OK\n");
    EXPECT_EQ(runOrnfix(dir, {"mid_fixed.orn"}).exitCode, 16);
}

// ornfix and orninfo print the time of a record alike, with its zone: UTC
// where a version 8 header gives the device clock's offset (here -05:30), the
// device clock where an older one gives none.
TEST(OrnfixCommand, PrintsEachTimeAsOrninfoDoes) {
    for (const uint16_t version : {8, 7}) {
        SCOPED_TRACE(version);
        TempDir dir;
        BuiltTrace trace = buildTrace(variedRecords(120, 5), version, 500, BlockMode::Alternate);
        trace.recipe.header.utcOffset = {0xFF, 5, 30, 0};
        rebuild(trace);
        dir.write("cut.orn", Bytes(trace.bytes.begin(), trace.bytes.end() - 300));
        const ToolRun fixed = runOrnfix(dir, {"cut.orn"});
        ASSERT_EQ(fixed.exitCode, 0) << fixed.err;
        std::smatch kept;
        ASSERT_TRUE(std::regex_search(fixed.out, kept, std::regex("\nkept: .*, (.*) to (.*)\n")))
            << fixed.out;
        const std::string zone = version == 8 ? " UTC" : " (device clock)";
        EXPECT_TRUE(kept[1].str().starts_with(version == 8 ? "2009-12-09 17:30:" : "2009-12-09 12:00:"))
            << kept[1];
        EXPECT_TRUE(kept[1].str().ends_with(zone)) << kept[1];
        EXPECT_NE(fixed.out.find(", " + kept[1].str() + " to " + kept[2].str() + ", integrity OK\n"),
                  std::string::npos);
        const ToolRun info = runIn(dir, ORNINFO_BINARY, {"cut_fixed.orn"});
        EXPECT_EQ(info.exitCode, 0);
        EXPECT_NE(info.out.find("\nFirst record:         " + kept[1].str() + " ("), std::string::npos)
            << info.out;
        EXPECT_NE(info.out.find("\nLast record:          " + kept[2].str() + " ("), std::string::npos)
            << info.out;
    }
}

TEST(OrnfixCommand, AFileCutInsideItsHeaderReportsOnlyWhatIsThere) {
    TempDir dir;
    dir.write("head.orn", sampleCutTo(100));
    const ToolRun run = runOrnfix(dir, {"head.orn"});
    EXPECT_EQ(run.exitCode, 15);
    EXPECT_EQ(run.out,
              "head.orn: 100 bytes\n"
              "header: cut short: the file ends after 100 of the 203 bytes of a version 8 header\n"
              "Unable to repair Source file.\n");
    EXPECT_EQ(run.err, "ornfix: head.orn: no whole header: the file ends inside it (exit 15)\n");
    // A first block cut short: no trailer to compute, nothing kept.
    dir.write("first.orn", sampleCutTo(250));
    EXPECT_EQ(runOrnfix(dir, {"first.orn"}).out,
              "first.orn: format version 8 (header 203 bytes), 250 bytes\n"
              "cut short: block 1 at offset 203: its 255 bytes of data are cut short: the file "
              "ends there and its trailer is gone; bytes 203 to 249 (47 bytes) dropped\n"
              "kept: 0 records in 0 blocks (0 of them whole)\n"
              "dropped: 47 bytes of the trace, 0 blocks missing by their numbers, 0 records cut\n"
              "Unable to repair Source file.\n");
    expectOnly(dir, {"first.orn", "head.orn"});
}

TEST(OrnfixCommand, AGoodTraceIsLeftAlone) {
    TempDir dir;
    dir.write("Trace.orn", sample());
    const ToolRun run = runOrnfix(dir, {"Trace.orn"});
    EXPECT_EQ(run.exitCode, 16);
    EXPECT_EQ(run.out,
              "Trace.orn: format version 8 (header 203 bytes), 3430 bytes\n"
              "nothing to repair: header, trailer and 9 blocks intact, 63 records\n"
              "Source file is GOOD and doesn't need to be repaired.\n");
    EXPECT_EQ(run.err, "");
    expectOnly(dir, {"Trace.orn"});
}

TEST(OrnfixCommand, NothingToSalvageAndUnreadableTraces) {
    TempDir dir;
    dir.write("empty.orn", Bytes(300, 0x20));
    const ToolRun nothing = runOrnfix(dir, {"empty.orn", "out.orn"});
    EXPECT_EQ(nothing.exitCode, 15);
    EXPECT_EQ(nothing.out, "empty.orn: 300 bytes\nheader: not a trace: file type is not TRC\n"
                           "Unable to repair Source file.\n");
    EXPECT_EQ(nothing.err, "ornfix: empty.orn: no header that can be recognised: not a trace: file "
                           "type is not TRC (exit 15)\n");
    const ToolRun missing = runOrnfix(dir, {"nosuch.orn"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.out, "Unable to OPEN Source file.\n");
    EXPECT_EQ(missing.err, "ornfix: nosuch.orn: No such file or directory (exit 2)\n");
    dir.makeDir("folder.orn");
    const ToolRun folder = runOrnfix(dir, {"folder.orn"});
    EXPECT_EQ(folder.exitCode, 4);
    EXPECT_EQ(folder.out, "Unable to READ Source file.\n");
    EXPECT_EQ(folder.err, "ornfix: folder.orn: is a folder (exit 4)\n");
    // A FIFO is refused at once, not waited on for a writer.
    ASSERT_EQ(::mkfifo((dir / "pipe.orn").c_str(), 0600), 0);
    RunOptions hang;
    hang.killAfterMs = 20000;
    const ToolRun pipe = runOrnfix(dir, {"pipe.orn"}, hang);
    EXPECT_EQ(pipe.exitCode, 4);
    EXPECT_EQ(pipe.err, "ornfix: pipe.orn: is a pipe: ornfix reads a trace twice, and needs a "
                        "file (exit 4)\n");
    expectOnly(dir, {"empty.orn", "folder.orn", "pipe.orn"});
}

TEST(OrnfixCommand, ADamagedHeaderIsRewrittenWithAWarning) {
    TempDir dir;
    Bytes trace = sample();
    trace[60] ^= 1;  // the start second
    dir.write("t.orn", trace);
    const ToolRun run = runOrnfix(dir, {"t.orn"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.substr(0, run.out.find("written: ")),
              "t.orn: format version 8 (header 203 bytes), 3430 bytes\n"
              "header: FCS-16 wrong (0xCF0C, its bytes give 0xD55F) while its fields are a "
              "trace's (TRC, version 8.0, sub-version 01): FCS rewritten; the header itself was "
              "damaged\n"
              "kept: 63 records in 9 blocks (9 of them whole), 2009-12-09 11:00:02.000 UTC to "
              "2009-12-09 11:00:15.640 UTC\n"
              "dropped: 0 bytes of the trace, 0 blocks missing by their numbers, 0 records cut\n");
    EXPECT_EQ(run.err,
              "ornfix: t.orn: warning: the header itself was damaged: its FCS is rewritten, and "
              "its other fields (start time, snapLength) may be wrong too\n");
    EXPECT_EQ(runOrnfix(dir, {"t_fixed.orn"}).exitCode, 16);
}

TEST(OrnfixCommand, AFlippedBitInTheVersionIsPutRightFromTheBlocks) {
    TempDir dir;
    Bytes trace = sample();
    trace[14] ^= 1;  // 00008 reads 00009
    dir.write("v.orn", trace);
    const ToolRun run = runOrnfix(dir, {"v.orn"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.substr(0, run.out.find("kept: ")),
              "v.orn: format version 8 (header 203 bytes), 3430 bytes\n"
              "header: FCS-16 wrong and its text \"TRC    00009.000\" not that of the trace "
              "block 1 and the trailer show, version 8 (header 203 bytes): text rebuilt as "
              "\"TRC    00008.000\", with which the FCS-16 it carries is right again\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(dir.read("v_fixed.orn"), sample());
}

TEST(OrnfixOutputs, AnExistingFileIsReplacedOnlyWhenForced) {
    TempDir dir;
    dir.write("cut.orn", sampleCutTo(2000));
    dir.write("cut_fixed.orn", Bytes{1, 2, 3});
    const ToolRun refused = runOrnfix(dir, {"cut.orn"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_EQ(refused.out, "Unable to OPEN/CREATE Target file.\n");
    EXPECT_EQ(refused.err, "ornfix: cut_fixed.orn: exists (-f replaces it) (exit 3)\n");
    EXPECT_EQ(dir.read("cut_fixed.orn"), (Bytes{1, 2, 3}));
    for (const char* force : {"-f", "--force"}) {
        const ToolRun forced = runOrnfix(dir, {force, "cut.orn"});
        EXPECT_EQ(forced.exitCode, 0);
        EXPECT_GT(dir.read("cut_fixed.orn").size(), 1000u);
        expectOnly(dir, {"cut.orn", "cut_fixed.orn"});
    }
    // A folder of the name is no file -f could replace: said as such either way.
    dir.makeDir("folder.orn");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"cut.orn", "folder.orn"},
          std::vector<std::string>{"-f", "cut.orn", "folder.orn"}}) {
        const ToolRun folder = runOrnfix(dir, args);
        EXPECT_EQ(folder.exitCode, 3);
        EXPECT_EQ(folder.err, "ornfix: folder.orn: is a folder (exit 3)\n");
    }
}

TEST(OrnfixOutputs, NeverTheTraceItselfByAnyName) {
    TempDir dir;
    dir.write("cut.orn", sampleCutTo(2000));
    ASSERT_EQ(::link((dir / "cut.orn").c_str(), (dir / "hard.orn").c_str()), 0);
    ASSERT_EQ(::symlink("cut.orn", (dir / "soft.orn").c_str()), 0);
    for (const char* name : {"cut.orn", "./cut.orn", "hard.orn", "soft.orn"}) {
        const ToolRun run = runOrnfix(dir, {"-f", "cut.orn", name});
        EXPECT_EQ(run.exitCode, 3) << name;
        EXPECT_EQ(run.err, "ornfix: " + std::string(name) + ": is the trace itself (exit 3)\n");
    }
    EXPECT_EQ(dir.read("cut.orn"), sampleCutTo(2000));
    expectOnly(dir, {"cut.orn", "hard.orn", "soft.orn"});
}

TEST(OrnfixOutputs, ALinkKeepsPointingAtTheRepairedTrace) {
    TempDir dir;
    dir.write("cut.orn", sampleCutTo(2000));
    dir.write("old.orn", Bytes{9});
    ASSERT_EQ(::symlink("old.orn", (dir / "link.orn").c_str()), 0);
    EXPECT_EQ(runOrnfix(dir, {"-f", "cut.orn", "link.orn"}).exitCode, 0);
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "link.orn").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(runOrnfix(dir, {"old.orn"}).exitCode, 16);
}

TEST(OrnfixOutputs, StandardOutputDevicesAndDryRuns) {
    TempDir dir;
    dir.write("cut.orn", sampleCutTo(2500));
    const ToolRun piped = runOrnfix(dir, {"cut.orn", "-"});
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_NE(piped.err.find("\nwritten: - holds "), std::string::npos) << piped.err;
    dir.write("piped.orn", Bytes(piped.out.begin(), piped.out.end()));
    EXPECT_EQ(runOrnfix(dir, {"piped.orn"}).exitCode, 16);

    EXPECT_EQ(runOrnfix(dir, {"-f", "cut.orn", "/dev/null"}).exitCode, 0);
    EXPECT_EQ(runOrnfix(dir, {"cut.orn", "/dev/null"}).exitCode, 3);

    for (const char* dry : {"-n", "--dry-run"}) {
        const ToolRun run = runOrnfix(dir, {dry, "cut.orn"});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_NE(run.out.find("\ndry run: nothing written; cut_fixed.orn would hold "),
                  std::string::npos);
        EXPECT_NE(run.out.find(", not read back\n"), std::string::npos);
    }
    expectOnly(dir, {"cut.orn", "piped.orn"});
}

TEST(OrnfixOutputs, AFailedWriteLeavesNothing) {
    TempDir dir;
    dir.write("cut.orn", sampleCutTo(3000));
    const ToolRun noFolder = runOrnfix(dir, {"cut.orn", "nosuch/out.orn"});
    EXPECT_EQ(noFolder.exitCode, 3);
    EXPECT_EQ(noFolder.err, "ornfix: nosuch/out.orn: No such file or directory (exit 3)\n");
    RunOptions limited;
    limited.fileSizeLimit = 1000;
    const ToolRun full = runOrnfix(dir, {"cut.orn"}, limited);
    EXPECT_EQ(full.exitCode, 6);
    EXPECT_NE(full.out.find("\nUnable to WRITE Target file.\n"), std::string::npos);
    EXPECT_EQ(full.err, "ornfix: cut_fixed.orn: File too large (exit 6)\n");
    expectOnly(dir, {"cut.orn"});
}

TEST(OrnfixOutputs, AnInterruptedRunLeavesNothing) {
    TempDir dir;
    {
        tracebuild::HeaderSpec header;
        std::FILE* out = std::fopen((dir / "big.orn").c_str(), "wb");
        ASSERT_NE(out, nullptr);
        tracebuild::TraceWriter writer(out, header, 60000, BlockMode::Compressed, 1);
        // A sanitizer's runtime makes a run of fewer records last as long.
        const std::vector<Record> records = variedRecords(200000 / kSanitizerStride, 41);
        for (const Record& r : records) {
            writer.addRecord(r.header, r.payload);
        }
        ASSERT_TRUE(writer.finish());
        std::fclose(out);
    }
    const Bytes big = dir.read("big.orn");
    dir.write("big.orn", Bytes(big.begin(), big.end() - 20));
    RunOptions options;
    options.pauseMs = 50;
    options.signal = SIGTERM;
    // Under a sanitizer's runtime the start-up alone may outlast a short delay,
    // and a signal then kills the process before any handler exists: wait longer.
    ToolRun run;
    for (const int delayMs : {20, 200, 1000}) {
        options.signalAfterMs = delayMs;
        run = runOrnfix(dir, {"big.orn"}, options);
        if (!run.killed) {
            break;
        }
    }
    EXPECT_FALSE(run.killed);
    EXPECT_EQ(run.exitCode, 128 + SIGTERM);
    EXPECT_EQ(run.err, "ornfix: big.orn: interrupted by signal 15: nothing written\n");
    expectOnly(dir, {"big.orn"});
}

}  // namespace
}  // namespace ornpcap::test::fix
