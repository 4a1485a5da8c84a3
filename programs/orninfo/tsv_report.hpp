#pragma once
// orninfo --tsv: one line per trace for spreadsheets and scripts, as
// capinfos -T prints them, after a line of column names:
//
//   file exitStatus verdict version size blocks records clock firstTime
//   lastTime duration channels ports problem
//
// verdict is intact, damaged or failed (no report: problem says why); clock
// is UTC or "device clock", the clock of firstTime and lastTime
// ("2009-12-09 11:00:01.000"); duration is in seconds; ports lists each
// port with its frame format, "3:I4B ISDN,30:ETHERNET,9:unknown" (by port);
// problem is the damage or the error. A cell the trace does not tell is
// empty. A backslash, tab, newline or carriage return in a cell is written
// \\, \t, \n or \r, so that every trace stays on one line.

#include <string>

#include "orninfo/inventory.hpp"

namespace ornpcap::orninfo {

std::string tsvHeader();
std::string tsvLine(const InventoryResult& result);

}  // namespace ornpcap::orninfo
