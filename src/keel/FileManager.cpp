#include "keel/FileManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace keel {

namespace {

[[noreturn]] void throwErrno(const std::string& what, const fs::path& path, int error = errno) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
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

std::string randomSuffix() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
    return text;
}

// A hidden sibling of `destination` that no one else uses; recognisable by its
// ".qftmp-" part so that leftovers of an interrupted run can be found.
fs::path temporarySibling(const fs::path& destination) {
    fs::path name = destination.filename();
    if (name.empty()) name = destination.parent_path().filename();
    return destination.parent_path() / ("." + name.string() + ".qftmp-" + randomSuffix());
}

void setTimes(const fs::path& path, const struct stat& source) {
    const timespec times[2] = {source.st_atim, source.st_mtim};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throwErrno("cannot set the dates of", path);
}

void copyFileContents(int from, int to, const fs::path& source, const fs::path& destination) {
    // copy_file_range lets the kernel copy (or share extents) without a round trip
    // through user space; fall back to read/write where it is not supported.
    bool useRange = true;
    for (;;) {
        ssize_t copied;
        if (useRange) {
            copied = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
            if (copied < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                useRange = false;
                continue;
            }
            if (copied < 0) {
                if (errno == EINTR) continue;
                throwErrno("cannot copy", source);
            }
            if (copied == 0) return;
            continue;
        }
        char buffer[1 << 16];
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno("cannot read", source);
        }
        if (n == 0) return;
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = ::write(to, buffer + written, static_cast<size_t>(n - written));
            if (w < 0) {
                if (errno == EINTR) continue;
                throwErrno("cannot write", destination);
            }
            written += w;
        }
    }
}

void copyItem(const fs::path& source, const fs::path& destination) {
    struct stat info {};
    if (::lstat(source.c_str(), &info) != 0) throwErrno("cannot examine", source);

    if (S_ISLNK(info.st_mode)) {
        std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) +
                                 1);
        const ssize_t length = ::readlink(source.c_str(), target.data(), target.size());
        if (length < 0) throwErrno("cannot read the link", source);
        target.resize(static_cast<size_t>(length));
        target.push_back('\0');
        if (::symlink(target.data(), destination.c_str()) != 0)
            throwErrno("cannot create the link", destination);
        setTimes(destination, info);
        return;
    }

    if (S_ISREG(info.st_mode)) {
        FileDescriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (from.fd < 0) throwErrno("cannot open", source);
        FileDescriptor to(
            ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (to.fd < 0) throwErrno("cannot create", destination);
        copyFileContents(from.fd, to.fd, source, destination);
        if (::fchmod(to.fd, info.st_mode & 07777) != 0)
            throwErrno("cannot set the permissions of", destination);
        const timespec times[2] = {info.st_atim, info.st_mtim};
        if (::futimens(to.fd, times) != 0) throwErrno("cannot set the dates of", destination);
        if (to.release() != 0) throwErrno("cannot write", destination);
        return;
    }

    if (S_ISDIR(info.st_mode)) {
        // Owner-only and writable while filling it; the real mode comes last.
        if (::mkdir(destination.c_str(), 0700) != 0)
            throwErrno("cannot create the folder", destination);
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(source.c_str()), ::closedir);
        if (!dir) throwErrno("cannot read the folder", source);
        errno = 0;
        while (dirent* entry = ::readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            copyItem(source / entry->d_name, destination / entry->d_name);
            errno = 0;
        }
        if (errno != 0) throwErrno("cannot read the folder", source);
        if (::chmod(destination.c_str(), info.st_mode & 07777) != 0)
            throwErrno("cannot set the permissions of", destination);
        setTimes(destination, info);
        return;
    }
    // Sockets, pipes and devices are live objects, not settings: leave them out.
}

void removeQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

}  // namespace

ContentExistence FileManager::contentExists(const fs::path& url) {
    struct stat info {};
    if (::lstat(url.c_str(), &info) != 0) return {};
    return {true, S_ISDIR(info.st_mode)};
}

void FileManager::overwritingCopy(const fs::path& source, const fs::path& destination) {
    const fs::path temporary = temporarySibling(destination);
    try {
        copyItem(source, temporary);
    } catch (...) {
        removeQuietly(temporary);
        throw;
    }
    // A rename replaces a file atomically, but not a folder (nor a file by a
    // folder): swap the two in one step, then remove the old one.
    if (::rename(temporary.c_str(), destination.c_str()) == 0) return;
    const int renameError = errno;
    if (renameError == EISDIR || renameError == ENOTDIR || renameError == ENOTEMPTY ||
        renameError == EEXIST) {
        if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(),
                        RENAME_EXCHANGE) == 0) {
            removeQuietly(temporary);
            return;
        }
        // No exchange on this file system: move the old one aside first.
        const fs::path aside = temporarySibling(destination);
        if (::rename(destination.c_str(), aside.c_str()) == 0) {
            if (::rename(temporary.c_str(), destination.c_str()) == 0) {
                removeQuietly(aside);
                return;
            }
            const int error = errno;
            ::rename(aside.c_str(), destination.c_str());
            removeQuietly(temporary);
            throwErrno("cannot replace", destination, error);
        }
    }
    removeQuietly(temporary);
    throwErrno("cannot replace", destination, renameError);
}

std::optional<Date> FileManager::modifyDateForFile(const fs::path& url) {
    struct stat info {};
    if (::lstat(url.c_str(), &info) != 0) return std::nullopt;
    return Date::fromTimespec(info.st_mtim);
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

void FileManager::writeAtomically(const fs::path& destination, std::string_view bytes) {
    const fs::path temporary = temporarySibling(destination);
    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(destination.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    try {
        FileDescriptor file(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (file.fd < 0) throwErrno("cannot create", temporary);
        for (size_t written = 0; written < bytes.size();) {
            const ssize_t w = ::write(file.fd, bytes.data() + written, bytes.size() - written);
            if (w < 0) {
                if (errno == EINTR) continue;
                throwErrno("cannot write", destination);
            }
            written += static_cast<size_t>(w);
        }
        if (::fchmod(file.fd, mode) != 0) throwErrno("cannot set the permissions of", destination);
        if (::fsync(file.fd) != 0) throwErrno("cannot flush", destination);
        if (file.release() != 0) throwErrno("cannot write", destination);
        if (::rename(temporary.c_str(), destination.c_str()) != 0)
            throwErrno("cannot replace", destination);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    // Make the rename itself durable.
    FileDescriptor folder(
        ::open(destination.parent_path().empty() ? "." : destination.parent_path().c_str(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd >= 0 && ::fsync(folder.fd) != 0 && errno != EINVAL)
        throwErrno("cannot flush the folder of", destination);
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
