#pragma once
// orninfo's long form: the trace's fields one per line, name and value in
// aligned columns as capinfos prints them, then a table of channels and a
// table of ports with the OrnPcap command of each.

#include <string>

#include "orninfo/inventory.hpp"

namespace ornpcap::orninfo {

std::string inventoryAsText(const TraceInventory& inventory);

}  // namespace ornpcap::orninfo
