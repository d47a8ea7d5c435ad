// A record of everything in a folder tree: kind, content or link target,
// permission bits and modification date of every entry, without following
// links. Two equal snapshots mean nothing in the tree was written, created,
// deleted or touched.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/TestSupport.h"

namespace quillfen::testing {

using Snapshot = std::map<std::string, std::string>;

inline Snapshot snapshotOf(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    Snapshot entries;
    const auto describe = [](const fs::path& path) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) return std::string("missing");
        std::string text = std::to_string(info.st_mode) + " " +
                           std::to_string(info.st_mtim.tv_sec) + "." +
                           std::to_string(info.st_mtim.tv_nsec) + " ";
        if (S_ISLNK(info.st_mode)) return text + "-> " + fs::read_symlink(path).string();
        if (S_ISREG(info.st_mode)) return text + testsupport::readFile(path);
        return text;
    };
    entries[""] = describe(root);
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(root, error))) return entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        entries[fs::relative(it->path(), root).string()] = describe(it->path());
    }
    return entries;
}

}  // namespace quillfen::testing
