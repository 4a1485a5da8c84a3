// orn2pcapng: every port of a Varnek ORN trace into one pcapng file.
//
//   orn2pcapng [-p PORT[=FORMAT]]... [-h|--help] [--version] TRACE [OUTPUT]

#include <new>
#include <string>
#include <vector>

#include "app/diagnostics.hpp"
#include "app/report.hpp"
#include "base/interrupt.hpp"
#include "programs/orn2pcapng/run.hpp"

namespace {
// Before main, so that no signal kills a run outright: it completes the output.
const bool handlersInstalled = (ornpcap::installInterruptHandlers(), true);
}  // namespace

int main(int argc, char** argv) {
    try {
        return ornpcap::runOrn2Pcapng(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        ornpcap::diagnostics::say(ornpcap::kOrn2PcapngName, "",
                                  ornpcap::resultMessage(18));
        return 18;
    }
}
