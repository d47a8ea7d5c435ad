#include "keel/FileSystemFaults.h"

#include <cerrno>
#include <mutex>
#include <system_error>

namespace keel {

namespace {

struct FaultState {
    std::mutex mutex;
    std::uint64_t target = 0;
    std::uint64_t count = 0;
    int error = 0;
    FileSystemFaults::Persistence persistence = FileSystemFaults::Persistence::once;
    bool fired = false;
    std::optional<FileSystemFaults::Operation> failed;
};

// Never destroyed: a checkpoint may run while the process exits.
FaultState& state() {
    static FaultState* instance = new FaultState;
    return *instance;
}

}  // namespace

void FileSystemFaults::arm(std::uint64_t n, int error, Persistence persistence) {
    FaultState& s = state();
    std::lock_guard lock(s.mutex);
    s.target = n;
    s.count = 0;
    s.error = error;
    s.persistence = persistence;
    s.fired = false;
    s.failed.reset();
    armed_.store(true, std::memory_order_release);
}

void FileSystemFaults::disarm() {
    FaultState& s = state();
    std::lock_guard lock(s.mutex);
    armed_.store(false, std::memory_order_release);
    s.target = 0;
}

bool FileSystemFaults::didFire() {
    FaultState& s = state();
    std::lock_guard lock(s.mutex);
    return s.fired;
}

std::optional<FileSystemFaults::Operation> FileSystemFaults::failedOperation() {
    FaultState& s = state();
    std::lock_guard lock(s.mutex);
    return s.failed;
}

int FileSystemFaults::checkArmed(Operation operation) noexcept {
    FaultState& s = state();
    std::lock_guard lock(s.mutex);
    if (!armed_.load(std::memory_order_relaxed)) return 0;
    const std::uint64_t number = ++s.count;
    if (s.target == 0) return 0;
    const bool fails =
        number == s.target || (number > s.target && s.persistence == Persistence::fromThenOn);
    if (!fails) return 0;
    if (!s.fired) s.failed = operation;
    s.fired = true;
    errno = s.error;
    return s.error;
}

void FileSystemFaults::checkpoint(Operation operation, const std::filesystem::path& path) {
    if (const int error = check(operation)) {
        throw std::filesystem::filesystem_error("injected file-system fault", path,
                                                std::error_code(error, std::generic_category()));
    }
}

}  // namespace keel
