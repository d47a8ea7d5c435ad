#include "ReflinkVolume.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>

#include "Process.h"

namespace fs = std::filesystem;

namespace quillfen::bench {

namespace {

// The system tool `name` from PATH or the administrator's folders, which a
// plain user's PATH often lacks.
std::optional<fs::path> findTool(const std::string& name) {
    std::string folders = std::getenv("PATH") ? std::getenv("PATH") : "";
    folders += ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::string_view rest = folders;
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (folder.empty()) continue;
        const fs::path candidate = fs::path(folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

bool run(const std::vector<std::string>& arguments, const fs::path& log) {
    ProcessSpec spec;
    spec.arguments = arguments;
    spec.log = log;
    try {
        return runProcess(spec).status == 0;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace

ReflinkVolume::Attempt ReflinkVolume::mount(const fs::path& image, const fs::path& mountPoint,
                                            unsigned long long bytes, const fs::path& log) {
    if (::geteuid() != 0) return {nullptr, "not run as root, so no loop mount"};
    const auto mkfs = findTool("mkfs.btrfs");
    if (!mkfs) return {nullptr, "mkfs.btrfs (btrfs-progs) is not installed"};
    const auto mountTool = findTool("mount");
    if (!mountTool || !findTool("umount")) return {nullptr, "mount or umount is missing"};

    std::error_code error;
    fs::create_directories(mountPoint, error);
    if (error) return {nullptr, "cannot create " + mountPoint.string()};
    {
        const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const bool sized = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
        if (fd >= 0) ::close(fd);
        if (!sized) return {nullptr, "cannot make the image " + image.string()};
    }
    if (!run({mkfs->string(), "-q", "-f", image.string()}, log)) {
        fs::remove(image, error);
        return {nullptr, "mkfs.btrfs failed; see " + log.string()};
    }
    if (!run({mountTool->string(), "-o", "loop", image.string(), mountPoint.string()}, log)) {
        fs::remove(image, error);
        return {nullptr, "the loop mount failed (no loop device, or no right to mount); see " +
                             log.string()};
    }
    return {std::unique_ptr<ReflinkVolume>(new ReflinkVolume(image, mountPoint, log)), ""};
}

ReflinkVolume::ReflinkVolume(fs::path image, fs::path mountPoint, fs::path log)
    : image_(std::move(image)), mountPoint_(std::move(mountPoint)), log_(std::move(log)) {}

ReflinkVolume::~ReflinkVolume() {
    if (const auto umount = findTool("umount")) {
        if (run({umount->string(), mountPoint_.string()}, log_)) {
            std::error_code ignored;
            fs::remove(image_, ignored);
            fs::remove(mountPoint_, ignored);
        }
    }
}

unsigned long long ReflinkVolume::usedBytes() const {
    const int fd = ::open(mountPoint_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
    struct statvfs info {};
    if (::statvfs(mountPoint_.c_str(), &info) != 0) return 0;
    return static_cast<unsigned long long>(info.f_blocks - info.f_bfree) * info.f_frsize;
}

}  // namespace quillfen::bench
