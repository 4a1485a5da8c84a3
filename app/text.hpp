#pragma once
// Comparing option values and file name parts, which are ASCII.

#include <algorithm>
#include <cctype>
#include <string_view>

namespace ornpcap {

inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace ornpcap
