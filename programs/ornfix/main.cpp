// ornfix: salvages every intact record of a damaged or truncated trace.
#include "base/interrupt.hpp"
#include "ornfix/fix_run.hpp"

namespace {
// A signal that comes while the program starts up still ends the run with its
// message and no output left behind.
const bool handlersInstalled = (ornpcap::installInterruptHandlers(), true);
}  // namespace

int main(int argc, char** argv) { return ornpcap::ornfix::runOrnfix(argc, argv); }
