#pragma once
// What one trace adds to orninfo's exit status, and why a trace that has no
// report has none: the same in every form of the report.

#include <string>

#include "orninfo/inventory.hpp"

namespace ornpcap::orninfo {

inline constexpr int kIntact = 0;
inline constexpr int kDamaged = 1;  // its report is printed all the same
inline constexpr int kFailed = 2;   // it cannot be opened, is no trace, or memory ran out

inline int exitStatusOf(const InventoryResult& result) {
    if (result.status != InventoryStatus::Taken) {
        return kFailed;
    }
    return result.inventory.integrity.intact ? kIntact : kDamaged;
}

// Why the trace has no report; empty when it has one.
inline std::string errorOf(const InventoryResult& result) {
    if (result.status == InventoryStatus::Taken) {
        return "";
    }
    return result.status == InventoryStatus::OutOfMemory ? "out of memory" : result.reason;
}

}  // namespace ornpcap::orninfo
