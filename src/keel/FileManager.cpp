#include "keel/FileManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <system_error>
#include <vector>

#include "keel/FileContentCopier.h"
#include "keel/FileSystemFaults.h"

namespace fs = std::filesystem;

namespace keel {

namespace {

using Operation = FileSystemFaults::Operation;

[[noreturn]] void throwErrno(const std::string& what, const fs::path& path, int error = errno) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

// The system calls that change or flush the file system, each behind the fault
// checkpoint that tests use to fail it. On an injected fault the call does not
// happen and the wrapper fails as the call would: -1 with errno set.
int openForWriting(const char* path, int flags, mode_t mode) {
    if (FileSystemFaults::check(Operation::openForWriting)) return -1;
    return ::open(path, flags, mode);
}
ssize_t writeBytes(int fd, const void* bytes, size_t size) {
    if (FileSystemFaults::check(Operation::write)) return -1;
    return ::write(fd, bytes, size);
}
int flushFile(int fd) {
    if (FileSystemFaults::check(Operation::flush)) return -1;
    return ::fsync(fd);
}
int flushFileSystemOf(int fd) {
    if (FileSystemFaults::check(Operation::flush)) return -1;
    return ::syncfs(fd);
}
int renameItem(const char* from, const char* to) {
    if (FileSystemFaults::check(Operation::rename)) return -1;
    return ::rename(from, to);
}
int exchangeItems(const char* a, const char* b) {
    if (FileSystemFaults::check(Operation::rename)) return -1;
    return ::renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
}
int makeFolder(const char* path, mode_t mode) {
    if (FileSystemFaults::check(Operation::createFolder)) return -1;
    return ::mkdir(path, mode);
}
int unlinkFile(const char* path) {
    if (FileSystemFaults::check(Operation::remove)) return -1;
    return ::unlink(path);
}
int changeMode(int fd, mode_t mode) {
    if (FileSystemFaults::check(Operation::setMode)) return -1;
    return ::fchmod(fd, mode);
}
int changeModeAt(const char* path, mode_t mode) {
    if (FileSystemFaults::check(Operation::setMode)) return -1;
    return ::chmod(path, mode);
}
int setDates(int fd, const timespec times[2]) {
    if (FileSystemFaults::check(Operation::setDates)) return -1;
    return ::futimens(fd, times);
}
int setDatesAt(const char* path, const timespec times[2]) {
    if (FileSystemFaults::check(Operation::setDates)) return -1;
    return ::utimensat(AT_FDCWD, path, times, AT_SYMLINK_NOFOLLOW);
}

struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int value) : fd(value) {}
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    // Closes now and reports a failure of the close (a late write error).
    int release() {
        const int result = ::close(fd);
        fd = -1;
        return result;
    }
};

constexpr std::string_view kTemporaryMarker = ".qftmp-";
// The hexadecimal digits after the marker in a short temporary name: the
// name's hash, the computer, the process and a random part.
constexpr std::size_t kShortSuffixLength = 8 + 8 + 8 + 16;
// The same in the longer form of earlier versions: computer, process, random.
constexpr std::size_t kLongSuffixLength = 8 + 8 + 16;

// FNV-1a: stable across runs and builds, unlike std::hash.
std::uint32_t nameHash(std::string_view name) {
    std::uint32_t hash = 2166136261u;
    for (const unsigned char c : name) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

std::string hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

bool isHex(std::string_view text) {
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

// A short token naming this computer in temporary names, so that a later run
// can tell its own leftovers from those another computer is still writing
// into a shared package: a hash of the machine identity (or, without one, of
// the host name), as 8 hexadecimal digits.
std::string computeComputerToken() {
    std::string identity;
    for (const char* source : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        try {
            identity = FileManager::readWholeFile(source);
        } catch (const fs::filesystem_error&) {
            continue;
        }
        if (!identity.empty()) break;
    }
    if (identity.empty()) {
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) == 0) identity = host;
    }
    return hex8(nameHash(identity));
}

const std::string& computerToken() {
    static const std::string* token = new std::string(computeComputerToken());
    return *token;
}

std::string randomSuffix() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
    return text;
}

void setTimes(const fs::path& path, const struct stat& source) {
    const timespec times[2] = {source.st_atim, source.st_mtim};
    if (setDatesAt(path.c_str(), times) != 0) throwErrno("cannot set the dates of", path);
}

bool later(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// Relative paths in one form ("a/b", no "." or trailing "/"), so that they
// compare as strings with the paths a walk builds; paths that climb out, are
// absolute or name the item itself are dropped.
std::vector<std::string> relativeForms(const std::vector<fs::path>& paths) {
    std::vector<std::string> forms;
    for (const auto& path : paths) {
        fs::path normal = path.lexically_normal();
        if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
        if (normal.empty() || normal.is_absolute() || normal == "." || *normal.begin() == "..")
            continue;
        forms.push_back(normal.string());
    }
    return forms;
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
    for (const auto& entry : list) {
        if (entry == item) return true;
    }
    return false;
}

// "relative/name", or "name" at the top.
std::string childPath(const std::string& relative, std::string_view name) {
    if (relative.empty()) return std::string(name);
    std::string child;
    child.reserve(relative.size() + 1 + name.size());
    child.append(relative).append("/").append(name);
    return child;
}

// What one copy carries through its walk: how to copy, what to leave out,
// and the newest date seen.
struct CopyWalk {
    bool flushFiles = false;
    FileContentCopier copier;
    std::vector<std::string> leftOut;
    timespec newest{};
    bool sawAny = false;

    // Every item looked at counts, also one that is not copied (a socket):
    // the date a folder's state reads counts it too, and the two must agree.
    void saw(const timespec& date) {
        if (!sawAny || later(date, newest)) newest = date;
        sawAny = true;
    }
};

// The paths of the item a walk is at, as strings that grow by a name on the
// way down and shrink on the way back: the system calls name each item
// relative to its open folder, and only an error needs the whole path.
struct WalkPaths {
    std::string source;
    std::string destination;

    // Appends `name` to both for the life of the object.
    class Child {
    public:
        Child(WalkPaths& paths, std::string_view name)
            : paths_(paths),
              sourceSize_(paths.source.size()),
              destinationSize_(paths.destination.size()) {
            paths.source.append("/").append(name);
            paths.destination.append("/").append(name);
        }
        ~Child() {
            paths_.source.resize(sourceSize_);
            paths_.destination.resize(destinationSize_);
        }
        Child(const Child&) = delete;
        Child& operator=(const Child&) = delete;

    private:
        WalkPaths& paths_;
        std::size_t sourceSize_;
        std::size_t destinationSize_;
    };
};

int openForWritingAt(int folder, const char* name, int flags, mode_t mode) {
    if (FileSystemFaults::check(Operation::openForWriting)) return -1;
    return ::openat(folder, name, flags, mode);
}
int makeFolderAt(int folder, const char* name, mode_t mode) {
    if (FileSystemFaults::check(Operation::createFolder)) return -1;
    return ::mkdirat(folder, name, mode);
}
int makeLinkAt(const char* target, int folder, const char* name) {
    if (FileSystemFaults::check(Operation::createLink)) return -1;
    return ::symlinkat(target, folder, name);
}
int setLinkDatesAt(int folder, const char* name, const timespec times[2]) {
    if (FileSystemFaults::check(Operation::setDates)) return -1;
    return ::utimensat(folder, name, times, AT_SYMLINK_NOFOLLOW);
}

// Copies the item `fromName` of the folder open at `fromFolder` to `toName`
// in the folder open at `toFolder` (AT_FDCWD with whole paths at the top).
// Every file and folder is created owner-only and gets the original's mode
// only once it is complete, so nothing half-written is ever readable by
// others. With `flushFiles` each regular file reaches the disk before it is
// closed. `paths` names the two items in errors; `relative` is the item's
// path inside the copied folder, kept only while something is to be left out.
void copyItemAt(int fromFolder, const char* fromName, int toFolder, const char* toName,
                WalkPaths& paths, CopyWalk& walk, const std::string& relative) {
    // The rest of the system names files by whole paths: an item whose path
    // is longer than a path may be could be copied folder by folder, but
    // neither read nor removed again.
    if (paths.source.size() >= PATH_MAX) throwErrno("cannot examine", paths.source, ENAMETOOLONG);
    if (paths.destination.size() >= PATH_MAX)
        throwErrno("cannot create", paths.destination, ENAMETOOLONG);
    struct stat info {};
    if (::fstatat(fromFolder, fromName, &info, AT_SYMLINK_NOFOLLOW) != 0)
        throwErrno("cannot examine", paths.source);
    walk.saw(info.st_mtim);
    const timespec times[2] = {info.st_atim, info.st_mtim};

    if (S_ISLNK(info.st_mode)) {
        std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) +
                                 1);
        const ssize_t length = ::readlinkat(fromFolder, fromName, target.data(), target.size());
        if (length < 0) throwErrno("cannot read the link", paths.source);
        target.resize(static_cast<size_t>(length));
        target.push_back('\0');
        if (makeLinkAt(target.data(), toFolder, toName) != 0)
            throwErrno("cannot create the link", paths.destination);
        if (setLinkDatesAt(toFolder, toName, times) != 0)
            throwErrno("cannot set the dates of", paths.destination);
        return;
    }

    if (S_ISREG(info.st_mode)) {
        FileDescriptor from(::openat(fromFolder, fromName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (from.fd < 0) throwErrno("cannot open", paths.source);
        FileDescriptor to(
            openForWritingAt(toFolder, toName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (to.fd < 0) throwErrno("cannot create", paths.destination);
        walk.copier.copy(from.fd, to.fd, info, paths.source, paths.destination);
        if (changeMode(to.fd, info.st_mode & 07777) != 0)
            throwErrno("cannot set the permissions of", paths.destination);
        if (setDates(to.fd, times) != 0) throwErrno("cannot set the dates of", paths.destination);
        if (walk.flushFiles && flushFile(to.fd) != 0) throwErrno("cannot flush", paths.destination);
        if (to.release() != 0) throwErrno("cannot write", paths.destination);
        return;
    }

    if (S_ISDIR(info.st_mode)) {
        // Owner-only and writable while filling it; the real mode comes last.
        if (makeFolderAt(toFolder, toName, 0700) != 0)
            throwErrno("cannot create the folder", paths.destination);
        // Not followed: what was examined as a folder must still be one.
        const int fromFd =
            ::openat(fromFolder, fromName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fromFd < 0) throwErrno("cannot read the folder", paths.source);
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fromFd), ::closedir);
        if (!dir) {
            const int error = errno;
            ::close(fromFd);
            throwErrno("cannot read the folder", paths.source, error);
        }
        FileDescriptor copy(
            ::openat(toFolder, toName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (copy.fd < 0) throwErrno("cannot open the folder", paths.destination);
        errno = 0;
        while (dirent* entry = ::readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            const WalkPaths::Child child(paths, name);
            if (walk.leftOut.empty()) {
                copyItemAt(::dirfd(dir.get()), entry->d_name, copy.fd, entry->d_name, paths, walk,
                           relative);
            } else {
                const std::string childRelative = childPath(relative, name);
                if (!contains(walk.leftOut, childRelative))
                    copyItemAt(::dirfd(dir.get()), entry->d_name, copy.fd, entry->d_name, paths,
                               walk, childRelative);
            }
            errno = 0;
        }
        if (errno != 0) throwErrno("cannot read the folder", paths.source);
        if (changeMode(copy.fd, info.st_mode & 07777) != 0)
            throwErrno("cannot set the permissions of", paths.destination);
        if (setDates(copy.fd, times) != 0) throwErrno("cannot set the dates of", paths.destination);
        return;
    }
    // Sockets, pipes and devices are live objects, not settings: leave them out.
}

// Copies the item at `source` to `destination`, which must not exist.
void copyItem(const fs::path& source, const fs::path& destination, CopyWalk& walk) {
    WalkPaths paths{source.native(), destination.native()};
    copyItemAt(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), paths, walk, {});
}

int makeHardLink(const char* existing, const char* path) {
    if (FileSystemFaults::check(Operation::createLink)) return -1;
    return ::link(existing, path);
}

// Puts the item at `from` at `to` sharing its files: folders are made anew
// with the same modes and dates, files are hard links (copies where the file
// system refuses a link), links are copied as links.
void linkItem(const fs::path& from, const fs::path& to) {
    struct stat info {};
    if (::lstat(from.c_str(), &info) != 0) throwErrno("cannot examine", from);
    if (S_ISDIR(info.st_mode)) {
        if (makeFolder(to.c_str(), 0700) != 0) throwErrno("cannot create the folder", to);
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(from.c_str()), ::closedir);
        if (!dir) throwErrno("cannot read the folder", from);
        errno = 0;
        while (dirent* entry = ::readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") linkItem(from / entry->d_name, to / entry->d_name);
            errno = 0;
        }
        if (errno != 0) throwErrno("cannot read the folder", from);
        if (changeModeAt(to.c_str(), info.st_mode & 07777) != 0)
            throwErrno("cannot set the permissions of", to);
        setTimes(to, info);
        return;
    }
    if (S_ISREG(info.st_mode) && makeHardLink(from.c_str(), to.c_str()) == 0) return;
    CopyWalk walk;
    copyItem(from, to, walk);
}

// Carries the entries `kept` (relative paths) of the folder `from`, the
// version being replaced, into `into`, the copy that replaces it, in place of
// what the copy holds there; with an empty `from` (nothing is replaced) they
// are only dropped from the copy. The folders of the copy that receive them
// keep the dates they had, so that carrying changes no date of the new
// version.
void carryOver(const fs::path& from, const fs::path& into, const std::vector<std::string>& kept) {
    // The folders whose entries change, with the dates they must keep.
    std::vector<std::pair<fs::path, struct stat>> dated;
    const auto remember = [&](const fs::path& folder, const struct stat& info) {
        for (const auto& entry : dated) {
            if (entry.first == folder) return;
        }
        dated.emplace_back(folder, info);
    };
    for (const auto& relative : kept) {
        const fs::path old = from / relative;
        const fs::path fresh = into / relative;
        struct stat oldInfo {};
        const bool oldExists = !from.empty() && ::lstat(old.c_str(), &oldInfo) == 0;

        // The folders above the entry, from the top down: those of the copy
        // keep their dates, missing ones are made like the old version's.
        fs::path folder = into;
        fs::path oldFolder = from;
        bool placeable = true;
        const fs::path parent = fs::path(relative).parent_path();
        std::vector<fs::path> levels{fs::path()};
        for (const auto& component : parent)
            levels.push_back(levels.back() / component);
        for (std::size_t level = 0; level < levels.size(); ++level) {
            if (level > 0) {
                folder /= *std::prev(levels[level].end());
                oldFolder /= *std::prev(levels[level].end());
            }
            struct stat info {};
            if (::lstat(folder.c_str(), &info) == 0) {
                if (!S_ISDIR(info.st_mode)) {
                    // The copy holds a file where the kept entry's folder is:
                    // keeping the entry would mean dropping part of the copy.
                    if (oldExists)
                        throw fs::filesystem_error(
                            "cannot keep what is excluded here: the new version holds a file "
                            "where its folder is",
                            old, folder, std::make_error_code(std::errc::not_a_directory));
                    placeable = false;
                    break;
                }
                remember(folder, info);
                continue;
            }
            if (!oldExists) {
                placeable = false;
                break;
            }
            struct stat oldFolderInfo {};
            if (::lstat(oldFolder.c_str(), &oldFolderInfo) != 0 || !S_ISDIR(oldFolderInfo.st_mode))
                throwErrno("cannot examine", oldFolder);
            if (makeFolder(folder.c_str(), 0700) != 0)
                throwErrno("cannot create the folder", folder);
            if (changeModeAt(folder.c_str(), oldFolderInfo.st_mode & 07777) != 0)
                throwErrno("cannot set the permissions of", folder);
            remember(folder, oldFolderInfo);
        }
        if (!placeable) continue;
        struct stat freshInfo {};
        if (::lstat(fresh.c_str(), &freshInfo) == 0) {
            FileSystemFaults::checkpoint(Operation::remove, fresh);
            fs::remove_all(fresh);
        }
        if (oldExists) linkItem(old, fresh);
    }
    for (const auto& [folder, info] : dated)
        setTimes(folder, info);
}

// The newest of `newest` and the modification dates of everything below the
// folder at `folder`, every level down, links not followed (a link counts by
// its own date), without the entries at the relative paths `leftOut`. Each
// folder is opened relative to its parent, so the walk costs one stat per
// entry. A folder that cannot be opened is left out: an unreadable folder
// could not be copied either, and a tree deeper than the process may hold
// folders open stops there rather than failing.
timespec newestBelow(const fs::path& folder, timespec newest,
                     const std::vector<std::string>& leftOut) {
    using Directory = std::unique_ptr<DIR, int (*)(DIR*)>;
    const auto open = [](int parent, const char* name) -> Directory {
        const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return {nullptr, ::closedir};
        DIR* dir = ::fdopendir(fd);
        if (!dir) ::close(fd);
        return {dir, ::closedir};
    };
    // Each open folder with its path inside `folder`, kept only while
    // something is to be left out.
    std::vector<std::pair<Directory, std::string>> stack;
    if (Directory root = open(AT_FDCWD, folder.c_str()))
        stack.emplace_back(std::move(root), std::string());
    while (!stack.empty()) {
        DIR* current = stack.back().first.get();
        const dirent* entry = ::readdir(current);
        if (!entry) {
            stack.pop_back();
            continue;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string relative;
        if (!leftOut.empty()) {
            relative = childPath(stack.back().second, name);
            if (contains(leftOut, relative)) continue;
        }
        struct stat info {};
        if (::fstatat(::dirfd(current), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (later(info.st_mtim, newest)) newest = info.st_mtim;
        if (!S_ISDIR(info.st_mode)) continue;
        if (Directory child = open(::dirfd(current), entry->d_name))
            stack.emplace_back(std::move(child), std::move(relative));
    }
    return newest;
}

void removeQuietly(const fs::path& path) {
    if (FileSystemFaults::check(Operation::remove)) return;
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

fs::path folderOf(const fs::path& path) {
    return path.parent_path().empty() ? fs::path(".") : path.parent_path();
}

}  // namespace

ContentExistence FileManager::contentExists(const fs::path& url) {
    struct stat info {};
    if (::lstat(url.c_str(), &info) != 0) return {};
    return {true, S_ISDIR(info.st_mode)};
}

void FileManager::overwritingCopy(const fs::path& source, const fs::path& destination,
                                  CopyDurability durability) {
    CopyOptions options;
    options.durability = durability;
    overwritingCopy(source, destination, options);
}

Date FileManager::overwritingCopy(const fs::path& source, const fs::path& destination,
                                  const CopyOptions& options) {
    const bool durable = options.durability == CopyDurability::flushed;
    const fs::path temporary = temporarySibling(destination);
    CopyWalk walk;
    try {
        // A single file is flushed on its own; a folder's files all at once
        // with one flush of the file system, which costs far less than a
        // flush per file once a folder holds more than a few of them.
        struct stat info {};
        const bool isFolder = ::lstat(source.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        walk.flushFiles = durable && !isFolder;
        if (isFolder) walk.leftOut = relativeForms(options.leftOut);
        copyItem(source, temporary, walk);
        if (isFolder) {
            struct stat old {};
            const std::vector<std::string> kept = relativeForms(options.keptInDestination);
            if (!kept.empty() && ::lstat(destination.c_str(), &old) == 0 && S_ISDIR(old.st_mode))
                carryOver(destination, temporary, kept);
            else if (!kept.empty())
                carryOver(fs::path(), temporary, kept);
            if (options.datesFolderByNewest) {
                const timespec times[2] = {{0, UTIME_OMIT}, walk.newest};
                if (setDatesAt(temporary.c_str(), times) != 0)
                    throwErrno("cannot set the dates of", temporary);
            }
        }
        if (durable && isFolder) synchronizeFileSystem(temporary);
    } catch (...) {
        removeQuietly(temporary);
        throw;
    }
    const Date newest = Date::fromTimespec(walk.newest);
    // The rename is made durable by flushing the folder that holds it.
    const auto settle = [&] {
        if (durable) synchronizeFolder(folderOf(destination));
    };
    // A rename replaces a file atomically, but not a folder (nor a file by a
    // folder): swap the two in one step, then remove the old one.
    if (renameItem(temporary.c_str(), destination.c_str()) == 0) {
        settle();
        return newest;
    }
    const int renameError = errno;
    if (renameError == EISDIR || renameError == ENOTDIR || renameError == ENOTEMPTY ||
        renameError == EEXIST) {
        if (exchangeItems(temporary.c_str(), destination.c_str()) == 0) {
            // The temporary now holds the old version, which goes either way.
            try {
                settle();
            } catch (...) {
                removeQuietly(temporary);
                throw;
            }
            removeQuietly(temporary);
            return newest;
        }
        int error = errno;
        if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
            // No exchange on this file system: move the old one aside first.
            const fs::path aside = temporarySibling(destination);
            if (renameItem(destination.c_str(), aside.c_str()) == 0) {
                if (renameItem(temporary.c_str(), destination.c_str()) == 0) {
                    try {
                        settle();
                    } catch (...) {
                        removeQuietly(aside);
                        throw;
                    }
                    removeQuietly(aside);
                    return newest;
                }
                error = errno;
                ::rename(aside.c_str(), destination.c_str());
            } else {
                error = errno;
            }
        }
        removeQuietly(temporary);
        throwErrno("cannot replace", destination, error);
    }
    removeQuietly(temporary);
    throwErrno("cannot replace", destination, renameError);
}

void FileManager::synchronizeFileSystem(const fs::path& url) {
    // Any item of the file system will do; O_NONBLOCK keeps a pipe from
    // blocking the open.
    FileDescriptor item(::open(url.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (item.fd < 0) throwErrno("cannot open for flushing", url);
    if (flushFileSystemOf(item.fd) != 0) throwErrno("cannot flush the file system of", url);
}

void FileManager::synchronizeFolder(const fs::path& folder) {
    FileDescriptor item(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (item.fd < 0) throwErrno("cannot open the folder for flushing", folder);
    // EINVAL: the file system keeps no folder state to flush (it is then
    // already as durable as it gets); any other failure is a lost flush.
    if (flushFile(item.fd) != 0 && errno != EINVAL) throwErrno("cannot flush the folder", folder);
}

bool FileManager::createOwnerOnlyFolder(const fs::path& url) {
    if (makeFolder(url.c_str(), 0700) != 0) {
        const int error = errno;
        struct stat info {};
        if (error == EEXIST && ::stat(url.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            return false;
        throwErrno("cannot create the folder", url, error);
    }
    // The umask can only narrow the mode; setting it states it exactly.
    if (changeModeAt(url.c_str(), 0700) != 0) throwErrno("cannot set the permissions of", url);
    return true;
}

fs::path FileManager::temporarySibling(const fs::path& destination) {
    fs::path name = destination.filename();
    if (name.empty()) name = destination.parent_path().filename();
    return destination.parent_path() /
           (std::string(kTemporaryMarker) + hex8(nameHash(name.native())) + computerToken() +
            hex8(static_cast<std::uint32_t>(::getpid())) + randomSuffix());
}

bool FileManager::isTemporaryName(std::string_view fileName) {
    return fileName.size() > kTemporaryMarker.size() && fileName.front() == '.' &&
           fileName.rfind(kTemporaryMarker) != std::string_view::npos;
}

bool FileManager::isTemporaryNameOf(std::string_view fileName, std::string_view name) {
    if (name.empty()) return false;
    if (fileName.size() == kTemporaryMarker.size() + kShortSuffixLength &&
        fileName.starts_with(kTemporaryMarker))
        return fileName.substr(kTemporaryMarker.size(), 8) == hex8(nameHash(name));
    // ".<name>.qftmp-...", as earlier versions named them.
    return fileName.size() > 1 + name.size() + kTemporaryMarker.size() && fileName.front() == '.' &&
           fileName.substr(1, name.size()) == name &&
           fileName.substr(1 + name.size(), kTemporaryMarker.size()) == kTemporaryMarker;
}

bool FileManager::isAbandonedTemporaryOfThisComputer(std::string_view fileName) {
    if (!isTemporaryName(fileName)) return false;
    const auto marker = fileName.rfind(kTemporaryMarker);
    std::string_view suffix = fileName.substr(marker + kTemporaryMarker.size());
    if (marker == 0) {
        if (suffix.size() != kShortSuffixLength) return false;
        suffix.remove_prefix(8);  // the name's hash
    } else if (suffix.size() != kLongSuffixLength) {
        return false;
    }
    if (!isHex(suffix)) return false;
    if (suffix.substr(0, 8) != computerToken()) return false;
    const auto process =
        static_cast<pid_t>(std::strtoul(std::string(suffix.substr(8, 8)).c_str(), nullptr, 16));
    if (process <= 0 || process == ::getpid()) return false;
    // A process that still runs may still be writing it.
    return ::kill(process, 0) != 0 && errno == ESRCH;
}

std::optional<Date> FileManager::modifyDateForFile(const fs::path& url) {
    struct stat info {};
    if (::lstat(url.c_str(), &info) != 0) return std::nullopt;
    return Date::fromTimespec(info.st_mtim);
}

std::optional<Date> FileManager::newestModifyDate(const fs::path& url,
                                                  const std::vector<fs::path>& leftOut) {
    struct stat info {};
    if (::lstat(url.c_str(), &info) != 0) return std::nullopt;
    return newestModifyDate(url, info, leftOut);
}

Date FileManager::newestModifyDate(const fs::path& url, const struct stat& info,
                                   const std::vector<fs::path>& leftOut) {
    if (!S_ISDIR(info.st_mode)) return Date::fromTimespec(info.st_mtim);
    return Date::fromTimespec(newestBelow(url, info.st_mtim, relativeForms(leftOut)));
}

fs::path FileManager::noSandboxHomeURL() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return fs::path(home);
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir)
        return fs::path(result->pw_dir);
    return fs::path("/");
}

std::string FileManager::noSandboxHomePath() {
    return noSandboxHomeURL().string();
}

std::optional<fs::path> FileManager::noSandboxBundleSupportDirectoryURL() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
        return fs::path(data) / "Quillfen";
    const fs::path home = noSandboxHomeURL();
    if (home.empty() || home == "/") return std::nullopt;
    return home / ".local" / "share" / "Quillfen";
}

namespace {

// The process's file-creation mask, read without changing it: setting the mask
// to learn it would, for a moment, let files that other threads create be
// wider than they should.
mode_t currentUmask() {
    try {
        const std::string status = FileManager::readWholeFile("/proc/self/status");
        const auto found = status.find("\nUmask:");
        if (found != std::string::npos)
            return static_cast<mode_t>(std::strtoul(status.c_str() + found + 7, nullptr, 8));
    } catch (const fs::filesystem_error&) {
    }
    return 022;
}

}  // namespace

void FileManager::writeAtomically(const fs::path& destination, std::string_view bytes) {
    const fs::path temporary = temporarySibling(destination);
    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(destination.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        mode &= ~currentUmask();
    }
    try {
        // Owner-only while it is written; the final mode once it is complete.
        FileDescriptor file(
            openForWriting(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (file.fd < 0) throwErrno("cannot create", temporary);
        for (size_t written = 0; written < bytes.size();) {
            const ssize_t w = writeBytes(file.fd, bytes.data() + written, bytes.size() - written);
            if (w < 0) {
                if (errno == EINTR) continue;
                throwErrno("cannot write", destination);
            }
            written += static_cast<size_t>(w);
        }
        if (changeMode(file.fd, mode) != 0)
            throwErrno("cannot set the permissions of", destination);
        if (flushFile(file.fd) != 0) throwErrno("cannot flush", destination);
        if (file.release() != 0) throwErrno("cannot write", destination);
        if (renameItem(temporary.c_str(), destination.c_str()) != 0)
            throwErrno("cannot replace", destination);
    } catch (...) {
        unlinkFile(temporary.c_str());
        throw;
    }
    // Make the rename itself durable.
    synchronizeFolder(folderOf(destination));
}

std::string FileManager::readWholeFile(const fs::path& url) {
    FileDescriptor file(::open(url.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) throwErrno("cannot open", url);
    std::string content;
    struct stat info {};
    if (::fstat(file.fd, &info) == 0 && info.st_size > 0)
        content.reserve(static_cast<size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno("cannot read", url);
        }
        if (n == 0) break;
        content.append(buffer, static_cast<size_t>(n));
    }
    return content;
}

}  // namespace keel
