// ornfix: salvages every intact record of a damaged or truncated trace.
#include "ornfix/fix_run.hpp"

int main(int argc, char** argv) { return ornpcap::ornfix::runOrnfix(argc, argv); }
