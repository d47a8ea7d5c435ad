// DesktopEntryCache: the desktop entries a scan last read, as parsed, kept in
// one file between runs. A program starts by scanning hundreds of small entry
// files; with the cache it reads one file and asks the system for each
// entry's status once, instead of opening, reading and parsing each entry.
//
// An entry is taken from the cache only while its file is the one it was read
// from, unchanged: the same device, inode, size, modification time and
// status-change time (which no program can set back), all to the nanosecond,
// as stat() gave them before the file was read. Any difference and the file
// is read afresh. Files that are no valid entry are not kept. A cache file
// that is missing, too large or malformed counts as empty; it is only ever an
// aid, never the source of an application.
//
// Stored form: a first line "Quillfen desktop entries 2", then per entry a
// line of nine decimal numbers (path length, device, inode, size, modification
// seconds and nanoseconds, status-change seconds and nanoseconds, body
// length), the path, the body and a line break. The body holds the entry's
// fields in their order of declaration: a string as its length, ":" and its
// bytes; an absent value as "-"; a flag as "0" or "1"; a list as its count,
// "*" and its strings.
//
// Thread safety: after loading, `entry` and `remember` may be called from any
// number of threads at once; `save` must not overlap them.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "local/DesktopEntry.h"

namespace quillfen {

class DesktopEntryCache {
public:
    // The cache of `url`, read now.
    explicit DesktopEntryCache(std::filesystem::path url);

    // Where programs keep it: "$XDG_CACHE_HOME/Quillfen/Desktop Entries",
    // by default under "~/.cache". None without an absolute home.
    static std::optional<std::filesystem::path> defaultURL();

    // The cached entry of the file `path` when `info` (its stat, links
    // followed) is what it was when the entry was read.
    std::optional<DesktopEntry> entry(std::string_view path, const struct stat& info) const;
    // Records the entry read from `path` after stat() gave `info`.
    void remember(std::string_view path, const struct stat& info, DesktopEntry entry);

    // Writes the entries of `paths` (the files the scan found) back when
    // anything changed: a text remembered, or a cached file no longer
    // found. Failures are ignored; the next run reads the entries again.
    // `paths` holds each file once.
    void save(const std::vector<std::string_view>& paths);

private:
    struct Record {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        DesktopEntry entry;
    };
    static Record recordOf(const struct stat& info, DesktopEntry entry);
    static bool matches(const Record& record, const struct stat& info);
    void load();

    std::filesystem::path url_;
    // Looked up by the scan's own strings, without a copy of each.
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const noexcept {
            return std::hash<std::string_view>{}(path);
        }
    };
    using Records = std::unordered_map<std::string, Record, PathHash, std::equal_to<>>;
    Records records_;
    std::mutex mutex_;
    Records fresh_;  // guarded by mutex_
};

}  // namespace quillfen
