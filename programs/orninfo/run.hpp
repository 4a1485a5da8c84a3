#pragma once
// A run of orninfo, from the command line (options.hpp) to the exit status:
// each trace read once, in the order given, and reported in the form asked
// for (text_report, json_report, tsv_report).
//
// Exit status: 0 when every trace is intact, 1 when any is damaged (its
// report is printed all the same), 2 for a usage error or a file that cannot
// be opened or is no trace at all (the JSON and tab-separated forms give it an
// element or a line with its error). Diagnostics go to standard error as
// "orninfo: FILE: reason".

namespace ornpcap::orninfo {

int run(int argc, char** argv);

}  // namespace ornpcap::orninfo
