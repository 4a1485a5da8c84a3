#include "suite/program_main.hpp"

#include <new>

#include "base/interrupt.hpp"
#include "base/result_code.hpp"
#include "suite/say.hpp"

namespace ornpcap {

namespace {
// Before main, in every program that starts through guardedMain.
const bool handlersInstalled = (installInterruptHandlers(), true);
}  // namespace

int guardedMain(std::string_view program, ProgramRun run, int argc, char** argv,
                void (*onOutOfMemory)()) {
    (void)handlersInstalled;
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        if (onOutOfMemory != nullptr) {
            onOutOfMemory();
        }
        diagnostics::say(program, "", "out of memory (exit 18)");
        return exitCode(ResultCode::OutOfMemory);
    }
}

}  // namespace ornpcap
