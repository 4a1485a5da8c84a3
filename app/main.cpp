#include "app/entry.hpp"

int main(int argc, char** argv) { return ornpcap::runOrnPcap(argc, argv); }
