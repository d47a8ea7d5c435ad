// FileLock: an exclusive advisory lock (flock) on one file, held by at most
// one process of this computer at a time, whichever user or home runs it.
// The system releases it when the holder exits, also when it is killed, so
// a lock is never left behind.
//
// Within one process the lock is shared: acquiring a lock this process
// already holds (the same file, by device and inode) succeeds at once and
// keeps it until the last holder lets go. So a command may hold the lock for
// its whole length while the operations it runs take it again for
// themselves. It therefore serializes processes, not the threads of one.
//
// The file is created (empty, owner-only) when missing and never written or
// removed. A lock taken on a file that was replaced or removed while the
// process waited for it excludes nobody: acquiring checks, once it holds
// the lock, that the path still leads to the file it locked, and tries
// again with the new file otherwise.
//
// Errors: `acquire` throws FileLock::Busy when asked not to wait and
// another process holds the lock, and std::filesystem::filesystem_error
// when the file cannot be opened or created (a symbolic link in its place is
// refused). Threads: `acquire` may be called from any thread; a FileLock
// object is used from one thread at a time.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>

namespace keel {

class FileLock {
public:
    // Thrown by `acquire` with `wait` false when another process holds the lock.
    class Busy : public std::runtime_error {
    public:
        explicit Busy(const std::filesystem::path& url)
            : std::runtime_error("the lock " + url.string() + " is held by another process") {}
    };

    // An object that holds no lock.
    FileLock() = default;

    // Takes the lock on the file at `url`. When another process holds it:
    // with `wait`, calls `willWait` (when given) once on this thread and
    // blocks until the lock is free; without, throws Busy.
    static FileLock acquire(const std::filesystem::path& url, bool wait = true,
                            const std::function<void()>& willWait = {});

    FileLock(FileLock&&) noexcept = default;
    FileLock& operator=(FileLock&&) noexcept = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() = default;

    bool holds() const { return held_ != nullptr; }
    // Lets go of this object's share; the lock is released with the last share.
    void release() { held_.reset(); }

    // The open lock file of this process; defined in the implementation.
    struct Held;

private:
    explicit FileLock(std::shared_ptr<Held> held) : held_(std::move(held)) {}

    std::shared_ptr<Held> held_;
};

}  // namespace keel
