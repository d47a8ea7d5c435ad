// Helpers shared by the test programs: temporary folders, file contents and
// dates, and environment overrides. Everything here is for tests only.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes away.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const fs::path& relative) const { return path_ / relative; }

private:
    fs::path path_;
};

// Sets an environment variable (or unsets it when `value` is empty) and puts
// the old value back when the object goes away.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Writes `content` to `path`, creating the parent folders.
void writeFile(const fs::path& path, std::string_view content);
// The content of the file at `path`; throws when it cannot be read.
std::string readFile(const fs::path& path);

// Sets the modification date of the item at `path` (not following a link),
// in seconds and nanoseconds since 1970.
void setModifyDate(const fs::path& path, time_t seconds, long nanoseconds = 0);

// The permission bits of the item at `path` (not following a link).
unsigned modeOf(const fs::path& path);

// A sparse file: `size` bytes of which only the given pieces (offset, bytes)
// are written, the rest left as holes. Creates the parent folders.
struct SparsePiece {
    off_t offset;
    std::string bytes;
};
void writeSparseFile(const fs::path& path, off_t size, const std::vector<SparsePiece>& pieces);

// The bytes the file at `path` takes on its file system (st_blocks), which is
// less than its size when it has holes.
unsigned long long allocatedBytes(const fs::path& path);

// Whether the folder's file system keeps holes (most do; some network and
// FUSE file systems fill them).
bool keepsHoles(const fs::path& folder);

// Makes every write that would let a file grow past `bytes` fail with EFBIG
// while the object lives, then puts the old limit back. A way to make a copy or
// a save fail part-way that works for root too (permission bits do not stop
// root). The limit is per process: use it only in tests that run no threads.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(unsigned long long bytes);
    ~ScopedFileSizeLimit();
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    unsigned long long oldSoftLimit_;
    void (*oldHandler_)(int);
};

}  // namespace testsupport
