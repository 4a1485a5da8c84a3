#include <new>

#include "app/diagnostics.hpp"
#include "base/interrupt.hpp"
#include "programs/orninfo/orninfo.hpp"

namespace {
// Ctrl-C ends a long read between blocks, with the progress line cleared.
const bool handlersInstalled = (ornpcap::installInterruptHandlers(), true);
}  // namespace

int main(int argc, char** argv) {
    try {
        return ornpcap::orninfo::runOrnInfo(argc, argv);
    } catch (const std::bad_alloc&) {
        ornpcap::diagnostics::say(ornpcap::orninfo::kProgram, "", "out of memory");
        return 2;
    }
}
