// BackupProcess: one request given to the backup manager: an action and the
// block that carries it out. After the run, `result` holds what the block
// returned and `error` what it threw. The block runs at most once and is
// released after the run.
//
// Threads: a process is shared between the caller, the manager's worker and
// the observers of the manager's notifications. The worker runs it; the
// result and error may be read by anyone once the did-process notification
// has been posted (they are final then).
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "app/BackupAction.h"
#include "sync/SyncLogs.h"
#include "sync/UndoStore.h"

namespace quillfen {

class BackupProcess {
public:
    // The result of an action that only succeeds or fails: read, save, move,
    // replace, import, export and reload.
    struct Done {
        friend bool operator==(Done, Done) = default;
    };
    // What a finished process holds: nothing when its block threw (see
    // `error`) or found nothing to work on (a device action without an open
    // package); `Done`; the logs of a back-up, install or synchronize; or
    // what an undo did.
    using Result = std::variant<std::monostate, Done, SyncLogs, UndoStore::Result>;
    using Block = std::function<Result()>;

    BackupProcess(BackupAction action, Block block);

    BackupAction action() const { return action_; }
    const Result& result() const { return result_; }
    bool hasResult() const { return !std::holds_alternative<std::monostate>(result_); }
    // The logs of a device action; null for any other result.
    const SyncLogs* syncLogs() const { return std::get_if<SyncLogs>(&result_); }
    // What an undo did; null for any other result.
    const UndoStore::Result* undoResult() const { return std::get_if<UndoStore::Result>(&result_); }
    std::exception_ptr error() const { return error_; }
    // The error's description (what() of the exception), empty without error.
    std::string errorDescription() const;

    // Calls the block once, storing its value or its error; never throws.
    void run();

private:
    BackupAction action_;
    Result result_;
    std::exception_ptr error_;
    Block block_;
};

}  // namespace quillfen
