#include "FileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace quillfen::bench {

namespace {

[[noreturn]] void throwErrno(const char* what, const fs::path& path) {
    throw fs::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
}

void add(TreeSnapshot& into, const fs::path& location, const std::string& key) {
    struct stat info {};
    if (::lstat(location.c_str(), &info) != 0) {
        if (errno == ENOENT) return;
        throwErrno("cannot examine", location);
    }
    TreeEntry entry;
    entry.type = info.st_mode & S_IFMT;
    entry.size = S_ISREG(info.st_mode) ? static_cast<std::uintmax_t>(info.st_size) : 0;
    entry.modified = info.st_mtim;
    entry.inode = info.st_ino;
    into.emplace(key, entry);
    if (!S_ISDIR(info.st_mode)) return;

    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(location.c_str()), ::closedir);
    if (!dir) throwErrno("cannot read the folder", location);
    while (const dirent* child = ::readdir(dir.get())) {
        const std::string name = child->d_name;
        if (name == "." || name == "..") continue;
        add(into, location / name, key.empty() ? name : key + "/" + name);
    }
}

}  // namespace

TreeSnapshot snapshot(const fs::path& root) {
    TreeSnapshot result;
    add(result, root, "");
    return result;
}

TreeSnapshot snapshot(const fs::path& root, const std::vector<std::string>& paths) {
    TreeSnapshot result;
    for (const auto& path : paths)
        add(result, root / path, path);
    return result;
}

std::vector<std::string> differences(const TreeSnapshot& expected, const TreeSnapshot& found,
                                     bool compareDates, bool compareInodes) {
    std::vector<std::string> result;
    for (const auto& [path, entry] : expected) {
        const auto other = found.find(path);
        if (other == found.end()) {
            result.push_back(path + " (missing)");
            continue;
        }
        const TreeEntry& seen = other->second;
        const bool sameDate = entry.modified.tv_sec == seen.modified.tv_sec &&
                              entry.modified.tv_nsec == seen.modified.tv_nsec;
        if (entry.type != seen.type || entry.size != seen.size || (compareDates && !sameDate) ||
            (compareInodes && entry.inode != seen.inode)) {
            result.push_back(path + " (changed)");
        }
    }
    for (const auto& [path, entry] : found) {
        if (!expected.contains(path)) result.push_back(path + " (added)");
    }
    return result;
}

TreeTotals totals(const TreeSnapshot& snapshot) {
    TreeTotals result;
    for (const auto& [path, entry] : snapshot) {
        if (entry.type == S_IFREG) {
            ++result.files;
            result.bytes += entry.size;
        } else if (entry.type == S_IFDIR) {
            ++result.folders;
        }
    }
    return result;
}

bool sameContents(const fs::path& a, const fs::path& b) {
    const auto read = [](const fs::path& path) {
        std::string content;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throwErrno("cannot open", path);
        char buffer[1 << 16];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            content.append(buffer, static_cast<std::size_t>(n));
        const int error = errno;
        ::close(fd);
        if (n < 0) {
            errno = error;
            throwErrno("cannot read", path);
        }
        return content;
    };
    return read(a) == read(b);
}

void removeTree(const fs::path& path) {
    std::error_code error;
    fs::remove_all(path, error);
    if (error) throw fs::filesystem_error("cannot remove", path, error);
}

void emptyFolder(const fs::path& path) {
    removeTree(path);
    fs::create_directories(path);
}

}  // namespace quillfen::bench
