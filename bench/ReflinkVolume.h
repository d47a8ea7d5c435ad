// ReflinkVolume: a btrfs file system in an image file, loop-mounted for the
// figures of copies that share blocks (clones), and unmounted and removed
// with the object.
//
// Mounting needs root, `mkfs.btrfs` (btrfs-progs) and a loop device; where
// any of them is missing `mount` gives nothing and says why, and the figures
// that need the volume are left out of the table.
//
// Errors: `mount` reports failures in its result, never throws; the
// destructor ignores a failed unmount (the mount point then says so in the
// log). Threads: use from one thread.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace quillfen::bench {

class ReflinkVolume {
public:
    struct Attempt {
        std::unique_ptr<ReflinkVolume> volume;  // absent when it could not be made
        std::string reason;                     // why not, for the table
    };

    // Makes a sparse image of `bytes` at `image`, formats it and mounts it at
    // `mountPoint` (created when missing); the tools' output goes to `log`.
    static Attempt mount(const std::filesystem::path& image,
                         const std::filesystem::path& mountPoint, unsigned long long bytes,
                         const std::filesystem::path& log);

    ~ReflinkVolume();
    ReflinkVolume(const ReflinkVolume&) = delete;
    ReflinkVolume& operator=(const ReflinkVolume&) = delete;

    const std::filesystem::path& root() const { return mountPoint_; }

    // The bytes in use on the volume, after its pending writes are flushed.
    unsigned long long usedBytes() const;

private:
    ReflinkVolume(std::filesystem::path image, std::filesystem::path mountPoint,
                  std::filesystem::path log);

    std::filesystem::path image_;
    std::filesystem::path mountPoint_;
    std::filesystem::path log_;
};

}  // namespace quillfen::bench
