#include "cli/StatusCommand.h"

#include "app/BackupManager.h"
#include "app/BackupViewer.h"
#include "app/PackageWarnings.h"
#include "app/RecordedEntries.h"
#include "backup/BackupFile.h"
#include "cli/CliError.h"
#include "cli/Report.h"

namespace quillfen::cli {

CLI::App* StatusCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand(
        "status", "Show the items of the package and what a synchronize would do");
    command->add_flag("--all", all_, "Also installed applications and every catalog executable");
    command->add_flag("--verbose,-v", verbose_,
                      "Also the items and paths with nothing here or in the package");
    return command;
}

int StatusCommand::run(const GlobalOptions& options, const Printer& print) {
    Session session(options, print);
    // Warned below, about the rows shown.
    session.setWarnsAboutPackage(false);
    // Without --all only the package's items are shown: their rows are built
    // alone, not those of every installed application and executable.
    if (!all_) session.manager().setReloadsViewer(false);
    auto file = session.openPackage();
    StatusRows rows;
    rows.package = file->url().string();
    rows.verbose = verbose_;
    if (all_) {
        auto viewer = session.manager().viewer();
        rows.apps = viewer->backupAppEntries();
        rows.execs = viewer->backupExecEntries();
        rows.files = viewer->backupFileEntries();
    } else {
        RecordedEntries recorded = RecordedEntries::of(file);
        rows.apps = std::move(recorded.apps);
        rows.execs = std::move(recorded.execs);
        rows.files = std::move(recorded.files);
    }
    if (auto note = file->note()) rows.note = note->content;
    rows.history = file->eventItems();
    rows.warnings = PackageWarnings::of(*file, rows.apps, rows.execs, rows.files);
    for (const auto& warning : rows.warnings)
        print.warning(warning);
    // Only the one asked for is built: each walks every settings path.
    if (print.json)
        print.document(Report::status(rows));
    else
        print.text(Report::statusText(rows));
    return exitSuccess;
}

}  // namespace quillfen::cli
