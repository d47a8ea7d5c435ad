// The commands that run through the backup manager on this computer's
// settings: back up, install and synchronize, and undo.
#pragma once

#include <string>

#include "app/BackupAction.h"
#include "backup/SyncAction.h"
#include "cli/Command.h"

namespace quillfen::cli {

// "backup", "install" or "sync": one run of the sync engine over the package.
// Shows its progress on a terminal; exits 1 when settings paths failed. A
// package whose "Data.json" has not arrived is refused (exit 3); "backup
// --force" goes ahead and records this computer afresh.
class RunCommand : public Command {
public:
    RunCommand(std::string name, std::string description, BackupAction action,
               SyncAction syncAction);

    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    std::string name_;
    std::string description_;
    BackupAction action_;
    SyncAction syncAction_;
    bool force_ = false;
};

// "undo": puts back what the last install or synchronize replaced; with
// --list, lists the kept runs instead.
class UndoCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    bool list_ = false;
};

}  // namespace quillfen::cli
