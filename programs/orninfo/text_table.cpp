#include "orninfo/text_table.hpp"

#include <algorithm>

namespace ornpcap::orninfo {

namespace {

std::string line(const std::vector<TextColumn>& columns, const std::vector<std::string>& cells,
                 const std::vector<size_t>& widths, size_t indent) {
    std::string text(indent, ' ');
    for (size_t i = 0; i < columns.size(); ++i) {
        const std::string& cell = i < cells.size() ? cells[i] : std::string();
        const std::string pad(widths[i] - cell.size(), ' ');
        text += (i == 0 ? "" : "  ") + (columns[i].right ? pad + cell : cell + pad);
    }
    text.erase(text.find_last_not_of(' ') + 1);
    return text + "\n";
}

}  // namespace

std::string TextTable::render(size_t indent) const {
    std::vector<size_t> widths;
    std::vector<std::string> heads;
    for (const TextColumn& column : columns) {
        widths.push_back(column.head.size());
        heads.push_back(column.head);
    }
    for (const auto& row : rows) {
        for (size_t i = 0; i < widths.size() && i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    // Heads of number columns stand over their numbers, on the right.
    std::string text = line(columns, heads, widths, indent);
    for (const auto& row : rows) {
        text += line(columns, row, widths, indent);
    }
    return text;
}

}  // namespace ornpcap::orninfo
