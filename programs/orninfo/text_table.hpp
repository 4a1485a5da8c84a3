#pragma once
// Columns aligned to their widest cell, two blanks apart: numbers to the
// right, text to the left, as capinfos and ls -l line them up.

#include <string>
#include <vector>

namespace ornpcap::orninfo {

struct TextColumn {
    std::string head;
    bool right = true;  // numbers; text goes to the left
};

struct TextTable {
    std::vector<TextColumn> columns;
    std::vector<std::vector<std::string>> rows;  // one cell per column

    // Every line, the heads first, each indented and ended by a newline; no
    // blanks at the end of a line.
    std::string render(size_t indent = 2) const;
};

}  // namespace ornpcap::orninfo
