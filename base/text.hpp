#pragma once
// Comparing option values and file name parts, which are ASCII; numbers into
// the texts of the diagnostics.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

namespace ornpcap {

inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The pattern (printf conventions, %lld) with up to two numbers in it.
inline std::string withNumbers(const char* pattern, long long a = 0, long long b = 0) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

}  // namespace ornpcap
