// ArchiveUnpacker: puts a release's files into an empty folder, from a tar
// archive (plain or compressed with any filter libarchive reads) or from a
// release folder on disk, admitting only what a release holds:
//
// - regular files and folders; a symbolic link, a hard link, a device or a
//   pipe refuses the whole release;
// - relative names inside the release: an absolute name or a ".." component
//   refuses it ("./" in front and doubled slashes are fine);
// - no set-user-ID or set-group-ID bit;
// - at most `Limits::maxEntries` entries and `Limits::maxBytes` bytes in all,
//   names at most `Limits::maxDepth` components deep (see UnpackLimits).
//
// Everything is created below the destination through descriptors opened
// without following links, folders with mode 0755 and files new
// (O_EXCL|O_NOFOLLOW) with mode 0755 when the release marks them executable
// by their owner, 0644 otherwise; a name that comes twice refuses the release.
// Nothing is flushed: the caller flushes once the whole release is there.
//
// Errors: throws UpdateError, archiveRefused for a release it will not take
// (with the entry and the reason) and installFailed when the disk refuses a
// step. What was written until then stays; the caller removes the folder.
// Thread safety: the functions share nothing; call them from any thread.
#pragma once

#include <cstdint>
#include <filesystem>

namespace outfitter {

struct UnpackLimits {
    std::uint64_t maxEntries = 20000;
    std::uint64_t maxBytes = std::uint64_t{1} << 30;  // 1 GiB unpacked
    std::size_t maxDepth = 32;
};

class ArchiveUnpacker {
public:
    using Limits = UnpackLimits;

    // Unpacks the archive read from `archiveFD` (from its start) into the
    // folder open as `destinationFD`.
    static void unpackArchive(int archiveFD, int destinationFD, const Limits& limits = {});
    // Copies what is inside the folder `source` (links not followed) into the
    // folder open as `destinationFD`, by the same rules.
    static void copyFolder(const std::filesystem::path& source, int destinationFD,
                           const Limits& limits = {});
};

}  // namespace outfitter
