#pragma once
// orninfo --json: one array, one element per trace in the order given, with
// the keys scripts read:
//
//   file exitStatus size version{major minor} headerSize description start
//   utcOffset snapLength blocks{count stored compressed maxBlockLength
//   streamLength expandedBytes} records firstMs lastMs clock firstTime lastTime
//   integrity{result message detail block offset incompleteLastRecord}
//   channels[{port lsn records in out otherEvents badStatus capturedBytes
//             firstMs lastMs firstTime lastTime}]
//   ports[{port records format{id name} confidence command commandNote}]
//
// A file that has no report (it cannot be opened, is no trace) is an element
// of its own: {file exitStatus error}. firstTime and lastTime are ISO 8601, in
// UTC ("Z") where clock is "UTC", on the device clock of no known zone where
// it is "device". What the trace does not tell (a damaged header or trailer,
// no records, an unknown format) is null. blocks.count is the trailer's;
// stored and compressed count the blocks read.

#include <string>
#include <vector>

#include "orninfo/inventory.hpp"

namespace ornpcap::orninfo {

std::string inventoriesAsJson(const std::vector<InventoryResult>& results);

}  // namespace ornpcap::orninfo
