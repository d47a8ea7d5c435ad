// FileDescriptor: owns one open file descriptor and closes it with the
// object, so that no path of a function, thrown or returned, leaks it.
// Movable, not copyable; a default or moved-from object holds nothing (-1).
//
// `throwFileSystemError` is the one way the file code words a failed system
// call: a std::filesystem::filesystem_error with what was attempted, the
// path, and the system's error number.
//
// Threads: an object is used from one thread at a time. Nothing throws but
// `throwFileSystemError`.
#pragma once

#include <filesystem>
#include <string>

namespace keel {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) noexcept : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.take()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    // Hands the descriptor to the caller, who closes it from now on.
    int take() noexcept;

private:
    int fd_;
};

[[noreturn]] void throwFileSystemError(const std::string& what, const std::filesystem::path& path,
                                       int error);

}  // namespace keel
