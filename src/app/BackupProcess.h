// BackupProcess: one request given to the backup manager: an action and the
// block that carries it out. After the run, `result` holds what the block
// returned (a bool, or the SyncLogs of a device action; empty when it returned
// nothing) and `error` what it threw. The block runs at most once and is
// released after the run.
//
// Threads: a process is shared between the caller, the manager's worker and
// the observers of the manager's notifications. The worker runs it; the
// result and error may be read by anyone once the did-process notification
// has been posted (they are final then).
#pragma once

#include <any>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "app/BackupAction.h"

namespace quillfen {

class BackupProcess {
public:
    using Block = std::function<std::any()>;

    BackupProcess(BackupAction action, Block block);

    BackupAction action() const { return action_; }
    const std::any& result() const { return result_; }
    std::exception_ptr error() const { return error_; }
    // The error's description (what() of the exception), empty without error.
    std::string errorDescription() const;
    bool hasBlock() const { return static_cast<bool>(block_); }

    // Calls the block once, storing its value or its error; never throws.
    void run();

private:
    BackupAction action_;
    std::any result_;
    std::exception_ptr error_;
    Block block_;
};

}  // namespace quillfen
