#pragma once
// How every program of the suite starts and ends. The interrupt handlers are
// in place before main (so that no signal kills even the first moments of a
// run outright); then the program's run; and an allocation that failed past
// every stage's own care ends it with 18 and its line on standard error,
// after what the program says on standard output where it says something.

#include <string_view>

namespace ornpcap {

using ProgramRun = int (*)(int argc, char** argv);

int guardedMain(std::string_view program, ProgramRun run, int argc, char** argv,
                void (*onOutOfMemory)() = nullptr);

}  // namespace ornpcap
