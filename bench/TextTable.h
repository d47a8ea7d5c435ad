// TextTable: the one table the benchmark prints, laid out in plain text with
// columns as wide as their widest cell (counted in code points, so that "µs"
// and "≤" line up), and the helpers that turn figures into cells.
// Threads: a plain value.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quillfen::bench {

class TextTable {
public:
    enum class Align { left, right };

    explicit TextTable(std::vector<std::pair<std::string, Align>> columns);

    void addRow(std::vector<std::string> cells);
    void addSeparator();

    void print(std::FILE* out) const;

private:
    std::vector<std::pair<std::string, Align>> columns_;
    std::vector<std::vector<std::string>> rows_;  // an empty row is a separator
};

// "812 µs", "41.2 ms", "3.07 s".
std::string formatDuration(double seconds);
// "9.4 KiB", "61.0 MiB".
std::string formatBytes(double bytes);
// "10 042".
std::string formatCount(std::uintmax_t count);
// "1.37".
std::string formatRatio(double ratio);

// The median of `values` (the mean of the two middle ones for an even count);
// 0 for none.
double median(std::vector<double> values);

}  // namespace quillfen::bench
