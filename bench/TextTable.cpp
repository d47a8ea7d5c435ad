#include "TextTable.h"

#include <algorithm>

namespace quillfen::bench {

namespace {

std::size_t displayWidth(const std::string& text) {
    // Counts every byte that does not continue a UTF-8 sequence.
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

TextTable::TextTable(std::vector<std::pair<std::string, Align>> columns)
    : columns_(std::move(columns)) {}

void TextTable::addRow(std::vector<std::string> cells) {
    cells.resize(columns_.size());
    rows_.push_back(std::move(cells));
}

void TextTable::addSeparator() {
    rows_.emplace_back();
}

void TextTable::print(std::FILE* out) const {
    std::vector<std::size_t> widths;
    for (const auto& [title, align] : columns_)
        widths.push_back(displayWidth(title));
    for (const auto& row : rows_) {
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], displayWidth(row[i]));
    }
    std::size_t total = 0;
    for (const std::size_t width : widths)
        total += width + 2;

    const auto printRow = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const std::string padding(widths[i] - displayWidth(cells[i]), ' ');
            line += columns_[i].second == Align::right ? padding + cells[i] : cells[i] + padding;
            if (i + 1 < cells.size()) line += "  ";
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::fprintf(out, "%s\n", line.c_str());
    };

    std::vector<std::string> titles;
    for (const auto& [title, align] : columns_)
        titles.push_back(title);
    printRow(titles);
    const std::string rule(total > 2 ? total - 2 : 0, '-');
    std::fprintf(out, "%s\n", rule.c_str());
    for (const auto& row : rows_) {
        if (row.empty()) {
            std::fprintf(out, "%s\n", rule.c_str());
        } else {
            printRow(row);
        }
    }
}

std::string formatDuration(double seconds) {
    if (seconds < 1e-3) return formatted("%.0f µs", seconds * 1e6);
    if (seconds < 1e-2) return formatted("%.2f ms", seconds * 1e3);
    if (seconds < 1.0) return formatted("%.1f ms", seconds * 1e3);
    return formatted("%.2f s", seconds);
}

std::string formatBytes(double bytes) {
    if (bytes < 1024) return formatted("%.0f B", bytes);
    if (bytes < 1024 * 1024) return formatted("%.1f KiB", bytes / 1024);
    return formatted("%.1f MiB", bytes / (1024 * 1024));
}

std::string formatCount(std::uintmax_t count) {
    const std::string digits = std::to_string(count);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(' ');
        grouped.push_back(digits[i]);
    }
    return grouped;
}

std::string formatRatio(double ratio) {
    return formatted(ratio < 10 ? "%.2f" : "%.1f", ratio);
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    if (values.size() % 2 == 1) return values[middle];
    return (values[middle - 1] + values[middle]) / 2;
}

}  // namespace quillfen::bench
