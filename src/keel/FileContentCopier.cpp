#include "keel/FileContentCopier.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

#include "keel/FileDescriptor.h"
#include "keel/FileSystemFaults.h"

namespace keel {

namespace {

using Operation = FileSystemFaults::Operation;

// The most one in-kernel copy is asked for; it may copy less.
constexpr off_t kLargestKernelCopy = off_t{1} << 30;
constexpr std::size_t kBufferSize = std::size_t{1} << 16;

// The system calls that change the copy, each behind its fault checkpoint:
// on an injected fault the call does not happen and fails as it would.
int cloneWholeFile(int from, int to) {
    if (FileSystemFaults::check(Operation::cloneFile)) return -1;
    return ::ioctl(to, FICLONE, from);
}
ssize_t copyInKernel(int from, off_t* fromOffset, int to, off_t* toOffset, std::size_t size) {
    if (FileSystemFaults::check(Operation::copyBytes)) return -1;
    return ::copy_file_range(from, fromOffset, to, toOffset, size, 0);
}
ssize_t writeAt(int fd, const char* bytes, std::size_t size, off_t offset) {
    if (FileSystemFaults::check(Operation::write)) return -1;
    return ::pwrite(fd, bytes, size, offset);
}
int setSize(int fd, off_t size) {
    if (FileSystemFaults::check(Operation::setSize)) return -1;
    return ::ftruncate(fd, size);
}

// How a file system says that it cannot clone these two files (it shares no
// blocks, they are on different file systems, or the ioctl is unknown to it).
bool cloneIsRefused(int error) {
    return error == EOPNOTSUPP || error == ENOTTY || error == EXDEV || error == EINVAL ||
           error == ENOSYS;
}

// The same for the in-kernel copy: EXDEV between file systems (older kernels
// refuse every such pair), EINVAL or EOPNOTSUPP where the file system has no
// way to do it, ENOSYS on a kernel without the call.
bool kernelCopyIsRefused(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// One file's copy, which remembers whether the kernel still copies for it.
class Copy {
public:
    Copy(int from, int to, off_t reportedSize, const std::string& source,
         const std::string& destination)
        : from_(from),
          to_(to),
          reportedSize_(reportedSize),
          source_(source),
          destination_(destination) {}

    void readAndWriteFromNowOn() { kernelCopies_ = false; }

    // Copies the bytes from `offset` up to `end`, or to the end of the file
    // when `end` is negative, to the same offsets of the copy. Returns the
    // offset after the last byte copied: short of `end` when the file ended
    // sooner.
    off_t range(off_t offset, off_t end) {
        const bool toTheEnd = end < 0;
        while (toTheEnd || offset < end) {
            const off_t wanted =
                toTheEnd ? kLargestKernelCopy : std::min(end - offset, kLargestKernelCopy);
            if (kernelCopies_) {
                off_t in = offset;
                off_t out = offset;
                const ssize_t copied =
                    copyInKernel(from_, &in, to_, &out, static_cast<std::size_t>(wanted));
                if (copied > 0) {
                    offset += copied;
                    continue;
                }
                if (copied == 0) {
                    // The end of the file, unless that comes before the size
                    // the file reported: some files (in /sys, on some kernels
                    // those of other file systems) give the kernel's copy
                    // nothing although they can be read. Reading tells.
                    if (toTheEnd && offset >= reportedSize_) return offset;
                    kernelCopies_ = false;
                    continue;
                }
                if (errno == EINTR) continue;
                if (!kernelCopyIsRefused(errno))
                    throwFileSystemError("cannot copy", source_, errno);
                kernelCopies_ = false;
                continue;
            }
            const ssize_t read = ::pread(
                from_, buffer_, std::min(static_cast<std::size_t>(wanted), kBufferSize), offset);
            if (read < 0) {
                if (errno == EINTR) continue;
                throwFileSystemError("cannot read", source_, errno);
            }
            if (read == 0) return offset;
            for (ssize_t written = 0; written < read;) {
                const ssize_t w =
                    writeAt(to_, buffer_ + written, static_cast<std::size_t>(read - written),
                            offset + written);
                if (w < 0) {
                    if (errno == EINTR) continue;
                    throwFileSystemError("cannot write", destination_, errno);
                }
                written += w;
            }
            offset += read;
        }
        return offset;
    }

    // Gives the copy the source's size when the source ends in a hole after
    // `offset`, the end of what was copied.
    void endWithHole(off_t offset) {
        struct stat info {};
        if (::fstat(from_, &info) != 0) throwFileSystemError("cannot examine", source_, errno);
        if (info.st_size > offset && setSize(to_, info.st_size) != 0)
            throwFileSystemError("cannot write", destination_, errno);
    }

private:
    int from_;
    int to_;
    off_t reportedSize_;
    const std::string& source_;
    const std::string& destination_;
    bool kernelCopies_ = true;
    char buffer_[kBufferSize];
};

}  // namespace

void FileContentCopier::copy(int from, int to, const struct stat& sourceInfo,
                             const std::string& source, const std::string& destination) {
    const off_t sourceSize = sourceInfo.st_size;
    Copy copy(from, to, sourceSize, source, destination);
    if (sourceSize <= 0) {
        // Empty, or made as it is read (the files of /proc report 0 bytes):
        // reading to the end copies either, and neither a clone nor the
        // kernel's copy sees bytes the size does not announce.
        copy.readAndWriteFromNowOn();
        copy.range(0, -1);
        return;
    }
    if (cloneRefusedFrom_ != sourceInfo.st_dev) {
        if (cloneWholeFile(from, to) == 0) return;
        const int error = errno;
        if (!cloneIsRefused(error)) throwFileSystemError("cannot clone", source, error);
        // EINVAL can be about this one file (btrfs refuses a clone between
        // files of different copy-on-write flags); the others are about the
        // two file systems, and hold for every file between them.
        if (error != EINVAL) cloneRefusedFrom_ = sourceInfo.st_dev;
    }

    // Blocks that cover the size leave no room for a hole (st_blocks counts
    // 512-byte units whatever the file system's block size).
    if (static_cast<off_t>(sourceInfo.st_blocks) * 512 >= sourceSize) {
        copy.range(0, -1);
        return;
    }

    // The ranges that hold data, one after the other; the holes between them
    // stay holes in the copy, as they are never written.
    off_t offset = 0;
    for (;;) {
        const off_t data = ::lseek(from, offset, SEEK_DATA);
        if (data < 0 && errno == ENXIO) {
            copy.endWithHole(offset);
            break;
        }
        if (data < 0) {
            // A file system that cannot tell its holes: all of it is data.
            copy.range(offset, -1);
            break;
        }
        const off_t hole = ::lseek(from, data, SEEK_HOLE);
        if (hole < 0 || hole >= sourceSize) {
            // The last data, up to the end of the file even if it has grown.
            copy.range(data, -1);
            break;
        }
        offset = copy.range(data, hole);
        if (offset < hole) break;  // the file has shrunk meanwhile
    }
}

}  // namespace keel
