// The lock that keeps the runs of several processes apart.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "keel/FileLock.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using keel::FileLock;

// A child process that holds the lock on `file` until it is killed.
class OtherProcess {
public:
    explicit OtherProcess(const fs::path& file) {
        int ready[2];
        if (::pipe(ready) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls between fork and exit.
            const int fd = ::open(file.c_str(), O_RDONLY | O_CREAT, 0600);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
            const char byte = 1;
            if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char byte = 0;
        const bool locked = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        if (!locked) throw std::runtime_error("the other process could not lock");
    }
    ~OtherProcess() { exit(); }
    // Ends the process, which releases its lock.
    void exit() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

TEST(FileLockTest, AnotherProcessMakesItFailOrWaitUntilThatProcessEnds) {
    const testsupport::TemporaryDirectory folder;
    const fs::path file = folder / "run.lock";
    OtherProcess other(file);

    EXPECT_THROW(FileLock::acquire(file, false), FileLock::Busy);

    std::atomic<int> toldWaiting{0};
    std::atomic<bool> acquired{false};
    std::thread waiter([&] {
        const FileLock lock = FileLock::acquire(file, true, [&] { ++toldWaiting; });
        acquired = lock.holds();
    });
    while (toldWaiting == 0)
        std::this_thread::yield();
    EXPECT_FALSE(acquired);
    other.exit();  // a killed holder lets go
    waiter.join();
    EXPECT_TRUE(acquired);
    EXPECT_EQ(toldWaiting, 1);
}

TEST(FileLockTest, OneProcessSharesItsLockUntilTheLastHolderLetsGo) {
    const testsupport::TemporaryDirectory folder;
    const fs::path file = folder / "run.lock";
    FileLock outer = FileLock::acquire(file, false);
    {
        // The same process again: at once, without waiting for itself.
        const FileLock inner = FileLock::acquire(file, false);
        EXPECT_TRUE(inner.holds());
    }
    // The outer share still holds it against other processes: a descriptor
    // of another open of the file cannot take it.
    const int probe = ::open(file.c_str(), O_RDONLY);
    EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0);
    outer.release();
    EXPECT_EQ(::flock(probe, LOCK_EX | LOCK_NB), 0);
    ::close(probe);
}

TEST(FileLockTest, ALinkInPlaceOfTheLockFileIsRefused) {
    const testsupport::TemporaryDirectory folder;
    fs::create_symlink(folder / "elsewhere", folder / "run.lock");
    EXPECT_THROW(FileLock::acquire(folder / "run.lock"), fs::filesystem_error);
    EXPECT_FALSE(fs::exists(folder / "elsewhere"));
}

}  // namespace
