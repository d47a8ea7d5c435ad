#include "outfitter/InstallSteps.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "keel/FileSystemFaults.h"
#include "keel/UUID.h"
#include "outfitter/UpdateError.h"

namespace outfitter::InstallSteps {

namespace {

using Operation = keel::FileSystemFaults::Operation;

void check(Operation operation, const std::string& name) {
    if (const int error = keel::FileSystemFaults::check(operation)) fail(name, error);
}

}  // namespace

void fail(const std::string& name, int error) {
    throw UpdateError(UpdateError::Kind::installFailed, name + ": " + std::strerror(error));
}

std::optional<Descriptor> openFolder(int parent, const std::string& name) {
    Descriptor folder(
        ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() >= 0) return folder;
    if (errno == ENOENT) return std::nullopt;
    fail(name, errno);
}

Descriptor openOrMakeFolder(int parent, const std::string& name) {
    if (auto folder = openFolder(parent, name)) return std::move(*folder);
    check(Operation::createFolder, name);
    if (::mkdirat(parent, name.c_str(), 0755) != 0 && errno != EEXIST) fail(name, errno);
    auto folder = openFolder(parent, name);
    if (!folder) fail(name, ENOENT);
    // Exactly 0755, whatever the umask.
    setMode(folder->get(), 0755, name);
    return std::move(*folder);
}

Descriptor createFile(int parent, const std::string& name) {
    check(Operation::openForWriting, name);
    Descriptor file(
        ::openat(parent, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.get() < 0) fail(name, errno);
    return file;
}

void writeAll(int fd, std::string_view bytes, const std::string& name) {
    check(Operation::write, name);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) fail(name, errno);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void setMode(int fd, mode_t mode, const std::string& name) {
    check(Operation::setMode, name);
    if (::fchmod(fd, mode) != 0) fail(name, errno);
}

void flush(int fd, const std::string& name) {
    check(Operation::flush, name);
    // EINVAL: a file system that keeps no state to flush for it.
    if (::fsync(fd) != 0 && errno != EINVAL) fail(name, errno);
}

void flushFileSystem(int fd, const std::string& name) {
    check(Operation::flush, name);
    if (::syncfs(fd) != 0) fail(name, errno);
}

void rename(int fromParent, const std::string& from, int toParent, const std::string& to) {
    check(Operation::rename, to);
    if (::renameat(fromParent, from.c_str(), toParent, to.c_str()) != 0) fail(to, errno);
}

void makeLink(const std::string& target, int parent, const std::string& name) {
    check(Operation::createLink, name);
    if (::symlinkat(target.c_str(), parent, name.c_str()) != 0) fail(name, errno);
}

void makeHardLink(int fromParent, const std::string& from, int toParent, const std::string& to) {
    check(Operation::createLink, to);
    if (::linkat(fromParent, from.c_str(), toParent, to.c_str(), 0) != 0) fail(to, errno);
}

void remove(int parent, const std::string& name, bool folder) {
    check(Operation::remove, name);
    if (::unlinkat(parent, name.c_str(), folder ? AT_REMOVEDIR : 0) != 0 && errno != ENOENT)
        fail(name, errno);
}

void removeTree(int parent, const std::string& name) {
    struct stat own {};
    if (::fstatat(parent, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISDIR(own.st_mode)) return remove(parent, name, false);
    auto folder = openFolder(parent, name);
    if (!folder) return;
    std::vector<std::pair<std::string, bool>> entries;
    {
        const int listing = ::fcntl(folder->get(), F_DUPFD_CLOEXEC, 0);
        if (listing < 0) fail(name, errno);
        DIR* directory = ::fdopendir(listing);
        if (!directory) {
            ::close(listing);
            fail(name, errno);
        }
        while (dirent* entry = ::readdir(directory)) {
            const std::string child = entry->d_name;
            if (child == "." || child == "..") continue;
            struct stat info {};
            if (::fstatat(folder->get(), child.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
            entries.emplace_back(child, S_ISDIR(info.st_mode));
        }
        ::closedir(directory);
    }
    for (const auto& [child, isFolder] : entries) {
        if (isFolder)
            removeTree(folder->get(), child);
        else
            remove(folder->get(), child, false);
    }
    remove(parent, name, true);
}

std::optional<std::string> readLink(int parent, const std::string& name) {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlinkat(parent, name.c_str(), buffer.data(), buffer.size());
    if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) return std::nullopt;
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string uniqueName(std::string_view stem) {
    std::string name = "." + std::string(stem) + "-" + keel::makeUUIDString().substr(0, 13);
    return name;
}

}  // namespace outfitter::InstallSteps
