// PackageLock: one run at a time per backup package on this computer.
//
// Back-up, install, synchronize, undo and every edit of a package hold its
// lock while they run: an advisory lock (keel::FileLock) on the small file
// ".quillfen-run.lock" inside the package folder, so that every process of
// this computer, whichever user or home runs it, waits for the one before
// it, and a killed process lets go of it. A cloud drive replicates the empty
// file harmlessly; a lock never reaches another computer (saving merges what
// another computer wrote in the meantime, see BackupFileData).
//
// Within one process the lock is shared (see keel::FileLock): a command that
// holds it for its whole length may run operations that take it again.
//
// Errors of `acquire`: BackupError backupFileDoesNotExist (nothing at the
// location and `createsPackage` is false), backupFileIsNotADirectory,
// backupFileExtensionIsInvalid (nothing is created then), backupFileIsInUse
// (another process holds it and `wait` is false), each carrying the
// location; std::filesystem::filesystem_error when the folder or the lock
// file cannot be created or opened. Threads: as keel::FileLock.
#pragma once

#include <functional>

#include "keel/FileLock.h"
#include "keel/URL.h"

namespace quillfen {

class PackageLock {
public:
    static constexpr const char* fileName = ".quillfen-run.lock";

    struct Options {
        // Wait for another run to finish, or fail at once.
        bool wait = true;
        // Called once, on the acquiring thread, before waiting.
        std::function<void()> willWait;
        // Create the package folder (owner-only, with its parents) when
        // nothing is at the location.
        bool createsPackage = false;
    };

    // A lock that holds nothing.
    PackageLock() = default;

    static PackageLock acquire(const keel::URL& package, const Options& options);

    bool holds() const { return lock_.holds(); }
    const keel::URL& package() const { return package_; }
    void release() { lock_.release(); }

private:
    keel::FileLock lock_;
    keel::URL package_;
};

}  // namespace quillfen
