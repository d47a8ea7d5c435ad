// FileTree: what the benchmarks need to check and reset the folders they work
// in: a snapshot of a tree (every entry's type, size, date and inode), the
// differences between two snapshots, and removal.
//
// The checks are what keeps a fast figure honest: an install that left a path
// out, or a synchronization that copied something, would look fast too.
//
// Errors: file-system failures throw std::filesystem::filesystem_error.
// Threads: plain functions.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quillfen::bench {

struct TreeEntry {
    mode_t type = 0;  // S_IFREG, S_IFDIR, S_IFLNK...
    std::uintmax_t size = 0;
    timespec modified{};
    ino_t inode = 0;
};

// Entries by path relative to the snapshot's root ("" is the root itself).
using TreeSnapshot = std::map<std::string, TreeEntry>;

// Everything at and below `root`, links not followed; empty when nothing is
// there.
TreeSnapshot snapshot(const std::filesystem::path& root);

// The entries at and below each of `paths` (relative to `root`), keyed by
// their path relative to `root`.
TreeSnapshot snapshot(const std::filesystem::path& root, const std::vector<std::string>& paths);

// The paths whose entry is missing on either side or differs in type or
// (regular files only) size; with `compareDates` also in modification date,
// with `compareInodes` also in identity (a file replaced by a new one).
std::vector<std::string> differences(const TreeSnapshot& expected, const TreeSnapshot& found,
                                     bool compareDates, bool compareInodes);

// The regular files of `snapshot` and their total size.
struct TreeTotals {
    std::size_t files = 0;
    std::size_t folders = 0;
    std::uintmax_t bytes = 0;
};
TreeTotals totals(const TreeSnapshot& snapshot);

// Whether the regular files at `a` and `b` hold the same bytes.
bool sameContents(const std::filesystem::path& a, const std::filesystem::path& b);

// Removes `path` and everything below it; nothing there is no error.
void removeTree(const std::filesystem::path& path);

// `removeTree`, then an empty folder in its place.
void emptyFolder(const std::filesystem::path& path);

}  // namespace quillfen::bench
