#include "keel/FileLock.h"

#include "keel/FileDescriptor.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace keel {

struct FileLock::Held {
    Held(int descriptor, dev_t device, ino_t inode) : fd(descriptor), identity(device, inode) {}
    ~Held();
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

    int fd;
    std::pair<dev_t, ino_t> identity;
};

namespace {

// The locks this process holds, by the identity of their file.
struct Registry {
    std::mutex mutex;
    std::map<std::pair<dev_t, ino_t>, std::weak_ptr<FileLock::Held>> held;
};

Registry& registry() {
    // Never destroyed: locks may still be let go while the program exits.
    static Registry* instance = new Registry();
    return *instance;
}

}  // namespace

FileLock::Held::~Held() {
    {
        std::lock_guard guard(registry().mutex);
        const auto found = registry().held.find(identity);
        if (found != registry().held.end() && found->second.expired()) registry().held.erase(found);
    }
    // Closing the last descriptor of the open file releases the lock.
    ::close(fd);
}

FileLock FileLock::acquire(const fs::path& url, bool wait, const std::function<void()>& willWait) {
    bool toldWaiting = false;
    for (;;) {
        FileDescriptor file(::open(url.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (file.get() < 0) throwFileSystemError("cannot open the lock file", url, errno);
        struct stat info {};
        if (::fstat(file.get(), &info) != 0)
            throwFileSystemError("cannot read the lock file", url, errno);
        const std::pair<dev_t, ino_t> identity(info.st_dev, info.st_ino);
        {
            std::lock_guard guard(registry().mutex);
            const auto found = registry().held.find(identity);
            if (found != registry().held.end()) {
                if (auto shared = found->second.lock()) return FileLock(std::move(shared));
            }
        }

        if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK) throwFileSystemError("cannot lock", url, errno);
            if (!wait) throw Busy(url);
            if (!toldWaiting && willWait) willWait();
            toldWaiting = true;
            while (::flock(file.get(), LOCK_EX) != 0) {
                if (errno != EINTR) throwFileSystemError("cannot lock", url, errno);
            }
        }

        // The file may have been replaced or removed while this process
        // waited: then the lock guards nothing, and the current file is tried.
        struct stat now {};
        if (::stat(url.c_str(), &now) != 0 || now.st_dev != info.st_dev ||
            now.st_ino != info.st_ino)
            continue;

        auto held = std::make_shared<Held>(file.take(), info.st_dev, info.st_ino);
        std::lock_guard guard(registry().mutex);
        registry().held[identity] = held;
        return FileLock(std::move(held));
    }
}

}  // namespace keel
