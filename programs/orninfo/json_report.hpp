#pragma once
// orninfo --json: one array, one object per trace, with the keys scripts read:
//
//   file size version{major minor} headerSize description start utcOffset
//   snapLength blocks{count stored compressed maxBlockLength streamLength
//   expandedBytes} records firstMs lastMs
//   integrity{result message detail block offset incompleteLastRecord}
//   channels[{port lsn records in out otherEvents badStatus capturedBytes
//             firstMs lastMs}]
//   ports[{port records format{id name} confidence command}]
//
// What the trace does not tell (a damaged header or trailer, no records, an
// unknown format) is null. blocks.count is the trailer's; stored and
// compressed count the blocks read.

#include <string>
#include <vector>

#include "orninfo/inventory.hpp"

namespace ornpcap::orninfo {

std::string inventoriesAsJson(const std::vector<TraceInventory>& inventories);

}  // namespace ornpcap::orninfo
