#include <new>

#include "app/entry.hpp"
#include "app/report.hpp"
#include "base/interrupt.hpp"

namespace {
// Before main, so that not even the first moments of a run can be killed by
// SIGINT, SIGTERM, SIGHUP or a file-size limit.
const bool handlersInstalled = (ornpcap::installInterruptHandlers(), true);
}  // namespace

int main(int argc, char** argv) {
    try {
        return ornpcap::runOrnPcap(argc, argv);
    } catch (const std::bad_alloc&) {
        // Every stage turns a failed allocation into its result; this is the
        // last word for one that slipped past them.
        ornpcap::printFailure(ornpcap::ResultCode::OutOfMemory, {}, {});
        return ornpcap::exitCode(ornpcap::ResultCode::OutOfMemory);
    }
}
