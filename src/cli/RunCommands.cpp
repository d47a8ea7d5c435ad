#include "cli/RunCommands.h"

#include <unistd.h>

#include "app/BackupManager.h"
#include "backup/BackupError.h"
#include "cli/CliError.h"
#include "cli/Report.h"
#include "cli/UndoReport.h"
#include "keel/CarriedException.h"
#include "keel/FileManager.h"
#include "sync/UndoStore.h"

namespace fs = std::filesystem;

namespace quillfen::cli {

RunCommand::RunCommand(std::string name, std::string description, BackupAction action,
                       SyncAction syncAction)
    : name_(std::move(name)),
      description_(std::move(description)),
      action_(action),
      syncAction_(syncAction) {}

CLI::App* RunCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand(name_, description_);
    if (action_ == BackupAction::backUpDevice)
        command->add_flag("--force", force_,
                          "Back up even when the package's Data.json has not arrived yet; the "
                          "copies it would name are then no longer used");
    return command;
}

int RunCommand::run(const GlobalOptions& options, const Printer& print) {
    Session session(options, print);
    // Nothing here shows the viewer's lists.
    session.manager().setReloadsViewer(false);
    // Only a back-up makes a package where there is none.
    session.openPackage(action_ == BackupAction::backUpDevice);
    if (::isatty(::fileno(print.err)) && !options.json) {
        session.manager().setSyncProgressHandler(
            [err = print.err, action = syncAction_](std::size_t done, std::size_t total) {
                std::fprintf(err, "\r%s: %zu of %zu items", localizedTitle(action).c_str(), done,
                             total);
                if (done == total) std::fputs("\n", err);
                std::fflush(err);
            });
    }
    session.manager().setReplacesMissingDataList(force_);
    auto process = session.run(action_);
    session.manager().setSyncProgressHandler(nullptr);
    Session::check(*process);
    std::optional<SyncLogs> logs;
    if (const SyncLogs* value = process->syncLogs()) logs = *value;
    print.text(Report::runText(syncAction_, logs));
    auto document = Report::run(syncAction_, logs);
    document["warnings"] = session.packageWarnings();
    print.document(document);
    return logs && !logs->results().empty() ? exitFailedPaths : exitSuccess;
}

CLI::App* UndoCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand(
        "undo",
        "Put back what the last install or synchronize replaced on this computer; run it again "
        "to go one more run back");
    command->add_flag("--list", list_, "List the kept runs, newest first, with their disk use");
    command->footer(
        "Before an install or synchronize replaces or creates a settings file, Quillfen keeps "
        "what was there, for the last " +
        std::to_string(UndoStore::maximumRuns) + " runs and at most " +
        Report::sizeText(UndoStore::defaultMaximumSize) +
        " (older runs go first). Undo puts back the newest run not undone yet, removes what the "
        "run created where nothing was, and leaves a file changed since the run as it is. The "
        "package is not touched.");
    return command;
}

int UndoCommand::run(const GlobalOptions& options, const Printer& print) {
    // A package named on the command line that is not there is a mistake to
    // report, not one to pass over.
    if (options.package && !keel::FileManager::contentExists(*options.package).exists) {
        throw CliError(std::string(BackupError(BackupError::Code::backupFileDoesNotExist).what()) +
                           "\n  " + fs::absolute(*options.package).lexically_normal().string(),
                       exitFailure, "Check the path given with --package.");
    }
    if (list_) {
        const auto store = UndoStore::standard();
        if (!store) throw CliError("no support folder is known, so no run has been kept");
        const auto runs = store->runs();
        print.text(UndoReport::listText(*store, runs));
        print.document(UndoReport::list(*store, runs));
        return exitSuccess;
    }
    Session session(options, print);
    session.manager().setReloadsViewer(false);
    session.lockExistingPackage();
    auto process = session.run(BackupAction::undoInstall);
    if (keel::carriedException<UndoStore::NothingToUndo>(process->error()))
        throw CliError("nothing to undo: every kept install and synchronize run has been undone",
                       exitFailure, "'quillfen undo --list' shows the kept runs.");
    Session::check(*process);
    const UndoStore::Result* result = process->undoResult();
    if (!result) throw CliError("the undo gave no result");
    for (const auto& path : result->leftAlone)
        print.warn(path +
                   ": changed since the run, so left as it is; the version the run replaced stays "
                   "in the undo store");
    for (const auto& [path, message] : result->failures)
        print.warn(path + ": " + message);
    print.text(UndoReport::text(*result));
    print.document(UndoReport::run(*result));
    return result->failures.empty() && result->leftAlone.empty() ? exitSuccess : exitFailedPaths;
}

}  // namespace quillfen::cli
