// FileContentCopier: copies the bytes of one regular file into a new, empty
// one as cheaply as the file system allows, the same bytes whichever way.
//
// First it asks the file system for a clone of the whole file (FICLONE): on
// file systems that share blocks between files (btrfs, XFS with reflinks)
// the copy then costs no data I/O and no space. Where a clone is refused it
// copies the file's data in the kernel (copy_file_range), and where that is
// refused too it reads and writes. Either copy keeps the source's holes: only
// the ranges that hold data (SEEK_DATA/SEEK_HOLE) are copied, and a hole at
// the end is given by the copy's size, so a sparse file stays sparse.
//
// A file that reports a size of 0 (those of /proc and /sys do, whatever they
// hold) is read to its end; so is the rest of a file when the kernel's copy
// ends before the size the file reported.
//
// Every write, in-kernel copy, clone and change of size passes a checkpoint
// of FileSystemFaults; a refused clone or in-kernel copy falls back to the
// next way, any other error is thrown.
//
// One copier serves the files of one copy of a tree, all into one
// destination folder: once a file system has refused a clone as a whole (it
// cannot clone, or not across these two file systems), the copier asks no
// more for files from that same source file system. A file whose allocated
// blocks cover its size has no holes, and is copied without looking for any.
//
// Threads: a copier is used by one thread at a time; different copiers may
// copy at once. Flushing and closing the copy are the caller's.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

namespace keel {

class FileContentCopier {
public:
    // Copies the content of the regular file open for reading at `from` into
    // the empty file open for writing at `to`. `source` is what the source
    // reported before it was opened (its size, blocks and device);
    // `sourcePath` and `destination` name the two in errors. Throws
    // std::filesystem::filesystem_error with the system's error; the copy is
    // then incomplete.
    void copy(int from, int to, const struct stat& source, const std::string& sourcePath,
              const std::string& destination);

private:
    // The source file system whose clones the destination's refused.
    std::optional<dev_t> cloneRefusedFrom_;
};

}  // namespace keel
