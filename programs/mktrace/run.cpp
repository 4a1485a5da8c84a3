#include "mktrace/run.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "base/interrupt.hpp"
#include "mktrace/options.hpp"
#include "suite/command_line.hpp"
#include "suite/console.hpp"
#include "suite/progress.hpp"
#include "suite/say.hpp"
#include "suite/version.hpp"
#include "base/file_io.hpp"
#include "tracebuild/scenario.hpp"

namespace ornpcap::mktrace {

namespace {

using diagnostics::say;

// A scenario of this many records shows its progress on a terminal: about a
// second's work or more.
constexpr uint64_t kManyRecords = 100000;

bool readScenario(const std::string& name, std::string& text) {
    if (name == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), {});
        return true;
    }
    std::ifstream in(name);
    text.assign(std::istreambuf_iterator<char>(in), {});
    return static_cast<bool>(in) || in.eof();
}

// Whether the name stands for something that is not a regular file but is
// written into (a device such as /dev/null, a FIFO, a socket).
bool writtenInto(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

// The trace is written under a temporary name beside it and takes its name
// only once whole: a failed run leaves no file, and an older trace of the
// name stays as it was. A device or a FIFO of the name is written into
// instead, never replaced.
class PendingTrace {
public:
    explicit PendingTrace(const std::string& name) : name_(name), temporary_(name + ".XXXXXX") {
        if (writtenInto(name)) {
            direct_ = true;
            file_ = FileHandle(std::fopen(name.c_str(), "wb"));
            return;
        }
        const int fd = ::mkstemp(temporary_.data());
        if (fd >= 0) {
            file_ = FileHandle(::fdopen(fd, "wb"));
            if (!file_) {
                ::close(fd);
            }
        }
    }
    ~PendingTrace() {
        if (!kept_ && file_) {
            file_.reset();
            if (!direct_) {
                ::unlink(temporary_.c_str());
            }
        }
    }
    PendingTrace(const PendingTrace&) = delete;
    PendingTrace& operator=(const PendingTrace&) = delete;

    std::FILE* get() const { return file_.get(); }
    // Closes the file and gives it its name; false when that failed.
    bool keep() {
        std::FILE* f = file_.get();
        if (direct_) {
            const bool written = std::fflush(f) == 0;
            kept_ = std::fclose(f) == 0 && written;
            (void)file_.release();
            return kept_;
        }
        const mode_t mask = ::umask(0);  // read and put back: as fopen would have made it
        ::umask(mask);
        const bool written = std::fflush(f) == 0 && ::fchmod(::fileno(f), 0666 & ~mask) == 0;
        const bool closed = std::fclose(f) == 0;
        (void)file_.release();
        kept_ = written && closed && ::rename(temporary_.c_str(), name_.c_str()) == 0;
        if (!kept_) {
            ::unlink(temporary_.c_str());
        }
        return kept_;
    }

private:
    std::string name_;
    std::string temporary_;
    FileHandle file_;
    bool direct_ = false;  // written into the name itself
    bool kept_ = false;
};

int make(const std::string& scenarioName, const std::string& traceName) {
    std::string text;
    if (!readScenario(scenarioName, text)) {
        say(kProgram, scenarioName, "cannot be read");
        return 1;
    }
    const bool toStdout = traceName == "-";
    std::optional<PendingTrace> file;
    if (!toStdout) {
        file.emplace(traceName);
    }
    std::FILE* out = toStdout ? stdout : file->get();
    if (out == nullptr) {
        say(kProgram, traceName, std::string("cannot be created: ") + std::strerror(errno));
        return 1;
    }
    std::optional<ProgressLine> progress;
    tracebuild::ScenarioOptions options;
    options.progress = [&progress](uint64_t records, uint64_t announced) {
        if (!progress) {
            progress.emplace("Writing", announced, kManyRecords);
        }
        progress->show(records, announced);
    };
    options.stop = [] { return pendingInterrupt() != 0; };
    const auto result = tracebuild::runScenario(text, out, options);
    progress.reset();  // the line cleared before anything else is said
    // A signal ends the run whatever it interrupted (a wait to read the
    // scenario or to write the trace), and no trace is left.
    if (const int signalNumber = pendingInterrupt(); signalNumber != 0) {
        say(kProgram, traceName, "interrupted");
        return 128 + signalNumber;
    }
    if (!result.ok) {
        say(kProgram, scenarioName, result.error);
        return 1;
    }
    if (toStdout ? std::fflush(out) != 0 : !file->keep()) {
        say(kProgram, traceName, std::string("cannot be written: ") + std::strerror(errno));
        return 1;
    }
    say(kProgram, traceName,
        std::to_string(result.records) + " records in " + std::to_string(result.blocks) +
            " blocks");
    return 0;
}

}  // namespace

int run(int argc, char** argv) {
    const ParsedCommandLine parsed = parseCommandLine(argc, argv);
    switch (parsed.what) {
        case Invocation::Help: console::print(kHelp); return 0;
        case Invocation::Version: console::printLine(versionLine(kProgram)); return 0;
        case Invocation::UsageError: return command_line::usageError(kProgram, parsed.error);
        case Invocation::Make: break;
    }
    return make(parsed.scenario, parsed.trace);
}

}  // namespace ornpcap::mktrace
