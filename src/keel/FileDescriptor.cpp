#include "keel/FileDescriptor.h"

#include <unistd.h>

#include <system_error>
#include <utility>

namespace keel {

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.take();
    }
    return *this;
}

int FileDescriptor::take() noexcept {
    return std::exchange(fd_, -1);
}

void throwFileSystemError(const std::string& what, const std::filesystem::path& path, int error) {
    throw std::filesystem::filesystem_error(what, path,
                                            std::error_code(error, std::generic_category()));
}

}  // namespace keel
