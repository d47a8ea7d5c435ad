#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace testsupport {

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (fs::temp_directory_path() / "quillfen-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = buffer.data();
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    // Give back write permission where a test took it away, so everything can go.
    for (auto it = fs::recursive_directory_iterator(
             path_, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    if (value) {
        ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    if (old_) {
        ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

void writeFile(const fs::path& path, std::string_view content) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void setModifyDate(const fs::path& path, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::system_error(errno, std::generic_category(), "utimensat " + path.string());
}

unsigned modeOf(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        throw std::system_error(errno, std::generic_category(), "lstat " + path.string());
    return info.st_mode & 07777;
}

void writeSparseFile(const fs::path& path, off_t size, const std::vector<SparsePiece>& pieces) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "open " + path.string());
    bool written = ::ftruncate(fd, size) == 0;
    for (const auto& piece : pieces) {
        written = written && ::pwrite(fd, piece.bytes.data(), piece.bytes.size(), piece.offset) ==
                                 static_cast<ssize_t>(piece.bytes.size());
    }
    const int error = errno;
    ::close(fd);
    if (!written) throw std::system_error(error, std::generic_category(), "write " + path.string());
}

unsigned long long allocatedBytes(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        throw std::system_error(errno, std::generic_category(), "lstat " + path.string());
    return static_cast<unsigned long long>(info.st_blocks) * 512;
}

bool keepsHoles(const fs::path& folder) {
    const fs::path probe = folder / ".hole-probe";
    writeSparseFile(probe, 16 << 20, {{0, "x"}});
    const bool keeps = allocatedBytes(probe) < (1 << 20);
    fs::remove(probe);
    return keeps;
}

ScopedFileSizeLimit::ScopedFileSizeLimit(unsigned long long bytes) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::system_error(errno, std::generic_category(), "getrlimit");
    oldSoftLimit_ = limit.rlim_cur;
    // Without this the kernel would end the process with SIGXFSZ instead of
    // failing the write.
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::system_error(errno, std::generic_category(), "setrlimit");
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = oldSoftLimit_;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler_);
}

}  // namespace testsupport
