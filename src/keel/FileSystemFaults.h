// FileSystemFaults: a switch that makes the file primitives fail on purpose.
// It exists for tests: a test arms it to fail the Nth file-system operation
// from now with a chosen errno, runs a back-up, an install or a save, and
// checks that the operation reports the error and that what was on disk
// before is intact. Sweeping N from 1 until an operation completes without
// meeting the fault exercises a failure at every step of it.
//
// What is counted: every checkpoint that a primitive passes just before a
// system call that changes the file system or flushes it: opening a file for
// writing, each write or in-kernel copy of a file's bytes (and the setting of
// a copy's size past its last bytes), the clone of a whole file, fsync/syncfs,
// rename/renameat2, mkdir, unlink/rmdir/remove, chmod, utimens, symlink.
// Reads are not counted. The primitives of keel::FileManager and the package's
// data operations (quillfen::BackupFileData) pass these checkpoints; the failed
// operation does not happen, and the primitive reports the errno exactly as the
// system call would have.
//
// Apart from the counted fault, a test can make one kind of operation refused
// every time, as a file system that lacks it refuses it (a clone where blocks
// cannot be shared, an in-kernel copy across file systems), so that the
// fallbacks of the primitives can be driven one by one.
//
// Threads: process-wide and safe from any thread; the count runs across all
// threads together. While neither armed nor refusing, a checkpoint costs one
// relaxed atomic load.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <vector>

namespace keel {

class FileSystemFaults {
public:
    enum class Operation {
        openForWriting,
        write,
        copyBytes,
        cloneFile,
        setSize,
        flush,
        rename,
        createFolder,
        remove,
        setMode,
        setDates,
        createLink,
    };

    // How long the fault lasts once it fires.
    enum class Persistence {
        // Only the Nth operation fails; the ones after it succeed again (a
        // passing error, such as a full disk that frees up).
        once,
        // The Nth and every later operation fail until `disarm()`: nothing
        // changes on disk after the Nth step, as after a crash or power loss
        // at that point.
        fromThenOn,
    };

    // Fails the `n`th checkpoint from now (1 is the next one) with `error`,
    // and resets the count and the fired state. `n` of 0 counts without failing.
    static void arm(std::uint64_t n, int error, Persistence persistence = Persistence::once);
    // Stops failing and counting.
    static void disarm();

    // Whether the armed fault has fired since `arm`.
    static bool didFire();
    // The operation that first failed since `arm`, if any.
    static std::optional<Operation> failedOperation();
    // How many checkpoints of `operation` went ahead since `arm` (refused
    // and failed ones not counted): which way a primitive took.
    static std::uint64_t passed(Operation operation);

    // Makes every `operation` fail with `error` until `allow(operation)`,
    // whether armed or not. A refused operation is not counted towards the
    // armed fault and does not fire it. `error` of 0 allows it again;
    // refusals do not nest, one `allow` ends them.
    static void refuse(Operation operation, int error);
    static void allow(Operation operation) { refuse(operation, 0); }

    // The checkpoint: 0 when `operation` may go ahead, else the errno it must
    // fail with (errno is set to it as well).
    static int check(Operation operation) noexcept {
        if (!armed_.load(std::memory_order_relaxed)) [[likely]]
            return 0;
        return checkArmed(operation);
    }

    // The checkpoint for calls that report errors by exception (the
    // std::filesystem functions): throws std::filesystem::filesystem_error with
    // the armed errno and `path` when `operation` must fail.
    static void checkpoint(Operation operation, const std::filesystem::path& path);

    // Arms for the life of a scope and disarms at its end, also when a test
    // assertion leaves the scope early.
    class Scope {
    public:
        Scope(std::uint64_t n, int error, Persistence persistence = Persistence::once) {
            arm(n, error, persistence);
        }
        ~Scope() { disarm(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };

    // Refuses a few operations for the life of a scope.
    class Refusal {
    public:
        Refusal(std::initializer_list<Operation> operations, int error) : operations_(operations) {
            for (const Operation operation : operations_)
                refuse(operation, error);
        }
        ~Refusal() {
            for (const Operation operation : operations_)
                allow(operation);
        }
        Refusal(const Refusal&) = delete;
        Refusal& operator=(const Refusal&) = delete;

    private:
        std::vector<Operation> operations_;
    };

private:
    static int checkArmed(Operation operation) noexcept;

    static inline std::atomic<bool> armed_{false};
};

}  // namespace keel
