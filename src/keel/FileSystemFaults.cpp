#include "keel/FileSystemFaults.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <mutex>
#include <system_error>

namespace keel {

namespace {

constexpr std::size_t kOperationCount =
    static_cast<std::size_t>(FileSystemFaults::Operation::createLink) + 1;

std::size_t indexOf(FileSystemFaults::Operation operation) {
    return static_cast<std::size_t>(operation);
}

struct FaultState {
    std::mutex mutex;
    bool counting = false;
    // The errno each kind of operation is refused with, 0 where it is not.
    std::array<int, kOperationCount> refusals{};
    std::array<std::uint64_t, kOperationCount> passed{};
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

// Whether a checkpoint must look at the state at all. Called with the lock held.
void updateFlag(FaultState& s, std::atomic<bool>& flag) {
    const bool refusing =
        std::any_of(s.refusals.begin(), s.refusals.end(), [](int error) { return error != 0; });
    flag.store(s.counting || refusing, std::memory_order_release);
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
    s.passed.fill(0);
    s.counting = true;
    updateFlag(s, armed_);
}

void FileSystemFaults::disarm() {
    FaultState& s = state();
    std::lock_guard lock(s.mutex);
    s.counting = false;
    s.target = 0;
    updateFlag(s, armed_);
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

std::uint64_t FileSystemFaults::passed(Operation operation) {
    FaultState& s = state();
    std::lock_guard lock(s.mutex);
    return s.passed[indexOf(operation)];
}

void FileSystemFaults::refuse(Operation operation, int error) {
    FaultState& s = state();
    std::lock_guard lock(s.mutex);
    s.refusals[indexOf(operation)] = error;
    updateFlag(s, armed_);
}

int FileSystemFaults::checkArmed(Operation operation) noexcept {
    FaultState& s = state();
    std::lock_guard lock(s.mutex);
    if (const int refusal = s.refusals[indexOf(operation)]) {
        errno = refusal;
        return refusal;
    }
    if (!s.counting) return 0;
    const std::uint64_t number = ++s.count;
    const bool fails =
        s.target != 0 &&
        (number == s.target || (number > s.target && s.persistence == Persistence::fromThenOn));
    if (!fails) {
        ++s.passed[indexOf(operation)];
        return 0;
    }
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
