#include "cli/PackageCommands.h"

#include <iostream>
#include <iterator>

#include "app/BackupManager.h"
#include "app/ItemEditor.h"
#include "app/ReplacedPackages.h"
#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "cli/CliError.h"
#include "cli/Confirmation.h"
#include "cli/Report.h"
#include "keel/FileManager.h"
#include "keel/URL.h"
#include "keel/UserSettings.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace quillfen::cli {

CLI::App* PackageCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand(
        "package", "Show the package location, or move, replace, import, export, clean");
    command->add_option("action", action_, "show, move, replace, import, export or clean")
        ->check(CLI::IsMember({"show", "move", "replace", "import", "export", "clean"}));
    command->add_option("path", target_, "The other location")->option_text("PATH");
    command->add_flag("--dry-run", dryRun_,
                      "With clean: list what would be removed, remove nothing");
    command->add_flag("--yes,-y", yes_, "With replace and import: do not ask");
    command->footer(
        "move moves the package to PATH and uses it there. replace uses the package at PATH "
        "instead of this one from now on: its items, copies, history and note take the place "
        "of this package's (which stays where it is). import copies the package at PATH over "
        "this one: its items, copies, history and note replace all of this package's, and the "
        "package stays where it is. Both ask first (--yes answers for you; without a terminal "
        "it is needed), and keep a copy of the package as it was in the support folder, under "
        "'" +
        ReplacedPackages::folderName + "/<date>/' (the last " +
        std::to_string(ReplacedPackages::kept) +
        "), so that it can be put back by hand. export copies the package to PATH.\n\n"
        "clean removes the data copies that no record of the package names, that no run of "
        "this computer is still writing, and that arrived longer ago than the grace period "
        "(OrphanCopyGracePeriod in the settings, in seconds; 7 days by default, time for a cloud "
        "drive to deliver another computer's records), and tells how much space that freed. A "
        "back-up does the same at its end.");
    return command;
}

int PackageCommand::clean(const GlobalOptions& options, const Printer& print) {
    Session session(options, print);
    auto file = session.openPackage();
    const auto grace = BackupManager::orphanCopyGracePeriod();
    std::vector<BackupFileData::OrphanCopy> copies;
    try {
        copies = dryRun_ ? file->orphanCopies(grace) : file->removeOrphanCopies(grace);
    } catch (...) {
        throw CliError(file->url().string() + ": " + Session::describe(std::current_exception()));
    }
    std::uint64_t bytes = 0;
    json list = json::array();
    std::string text;
    for (const auto& copy : copies) {
        bytes += copy.bytes;
        list.push_back({{"name", copy.name}, {"bytes", copy.bytes}});
        text += "  Data/" + copy.name + "." + BackupFileData::dataCopyExtension + "  " +
                Report::sizeText(copy.bytes) + "\n";
    }
    const std::string count = std::to_string(copies.size()) + " cop" +
                              (copies.size() == 1 ? "y" : "ies") + " that no record names";
    if (dryRun_) {
        print.text("Would remove " + count + ", " + Report::sizeText(bytes) + ":\n" + text);
    } else {
        print.text(text + "Removed " + count + ", freeing " + Report::sizeText(bytes) + ".\n");
    }
    print.document({{"ok", true}, {"dryRun", dryRun_}, {"copies", list}, {"bytes", bytes}});
    return exitSuccess;
}

int PackageCommand::run(const GlobalOptions& options, const Printer& print) {
    if (action_ == "show") {
        Session session(options, print);
        const auto url = session.manager().backupFileURL();
        if (!url) throw CliError(BackupError(BackupError::Code::noBackupLocation).what());
        const bool stored =
            keel::UserSettings::standard().get(BackupManager::backupFileURLLocationKey).has_value();
        print.text(url->string() + (stored || options.package ? "\n" : "  (default)\n"));
        print.document(
            {{"ok", true}, {"package", url->string()}, {"default", !stored && !options.package}});
        return exitSuccess;
    }
    if (action_ == "clean") {
        if (!target_.empty()) throw CliError("package clean takes no PATH", exitUsage);
        return clean(options, print);
    }
    if (dryRun_) throw CliError("--dry-run goes with package clean only", exitUsage);
    if (target_.empty()) throw CliError("package " + action_ + " needs a PATH", exitUsage);
    const fs::path path = fs::absolute(target_).lexically_normal();
    if (action_ != "import" && keel::pathExtension(path) != BackupFile::packageExtension)
        throw CliError(
            std::string(BackupError(BackupError::Code::backupFileExtensionIsInvalid).what()) +
            "\n  " + path.string() + ": a package's name ends in ." + BackupFile::packageExtension);
    if ((action_ == "move" || action_ == "export") && keel::FileManager::contentExists(path).exists)
        throw CliError(path.string() +
                       " already exists; remove it first or choose another location");
    Session session(options, print);
    const auto open = session.openPackage(true);
    if (action_ == "replace" || action_ == "import") {
        const std::string current = open->url().string();
        const std::string question =
            action_ == "import"
                ? "Copy " + path.string() + " over " + current +
                      "? Its items, copies, history and note replace this package's."
                : "Use " + path.string() + " instead of " + current +
                      "? Its items, copies, history and note take the place of this package's.";
        Confirmation::require(
            print, yes_, question,
            "The package was not " + std::string(action_ == "import" ? "imported" : "replaced"));
    }
    const auto keptBefore = ReplacedPackages::copies();
    const BackupAction which = action_ == "move"      ? BackupAction::moveBackupFile
                               : action_ == "replace" ? BackupAction::replaceBackupFile
                               : action_ == "import"  ? BackupAction::importBackupFile
                                                      : BackupAction::exportBackupFile;
    auto process = session.run(which, path);
    Session::check(*process);
    const auto now = session.manager().file() ? session.manager().file()->url() : path;
    print.text(progressTitle(which) + ": done. Package: " + now.string() + "\n");
    json document{{"ok", true}, {"package", now.string()}};
    const auto kept = ReplacedPackages::copies();
    if (!kept.empty() && (keptBefore.empty() || kept.front() != keptBefore.front())) {
        print.text("The package as it was is kept in " + kept.front().string() +
                   "; copy it back to undo this.\n");
        document["replacedCopy"] = kept.front().string();
    }
    print.document(document);
    return exitSuccess;
}

CLI::App* NoteCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand("note", "Show or change the package's note");
    set_ = command->add_option("--set", file_, "Set the note from FILE ('-' for standard input)")
               ->option_text("FILE");
    auto* example = command->add_flag("--example", example_, "Write the example note");
    auto* remove = command->add_flag("--remove", remove_, "Remove the note");
    set_->excludes(example)->excludes(remove);
    example->excludes(remove);
    return command;
}

int NoteCommand::run(const GlobalOptions& options, const Printer& print) {
    Session session(options, print);
    const bool set = set_->count() > 0;
    // Writing a note makes the package, as any edit; showing it does not.
    auto file = session.openPackage(set || example_ || remove_);
    if (set || example_) {
        std::string text = ItemEditor::exampleNote;
        if (set) {
            try {
                if (file_ == "-") {
                    text.assign(std::istreambuf_iterator<char>(std::cin),
                                std::istreambuf_iterator<char>());
                } else {
                    text = keel::FileManager::readWholeFile(file_);
                }
            } catch (const std::exception& e) {
                throw CliError(file_ + ": " + e.what());
            }
            if (!ItemEditor::isStorableText(text))
                throw CliError((file_ == "-" ? std::string("standard input") : file_) +
                               ": the note is not UTF-8 text; the package keeps its note");
        }
        file->setNote(text);
        session.save(file);
        print.text("Note saved.\n");
        print.document({{"ok", true}, {"note", text}});
        return exitSuccess;
    }
    if (remove_) {
        file->removeNote();
        session.save(file);
        print.text("Note removed.\n");
        print.document({{"ok", true}, {"note", nullptr}});
        return exitSuccess;
    }
    const auto note = file->note();
    const auto content = note ? note->content : std::nullopt;
    print.text(content.value_or(""));
    print.document({{"ok", true}, {"note", content ? json(*content) : json(nullptr)}});
    return exitSuccess;
}

CLI::App* HistoryCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand("history", "Show the last operations");
    command->add_flag("--clear", clear_, "Clear the history");
    return command;
}

int HistoryCommand::run(const GlobalOptions& options, const Printer& print) {
    Session session(options, print);
    auto file = session.openPackage();
    if (clear_) {
        file->removeEvents();
        session.save(file);
        print.text("History cleared.\n");
        print.document({{"ok", true}, {"history", json::array()}});
        return exitSuccess;
    }
    const auto events = file->eventItems();
    print.text(Report::historyText(events));
    print.document({{"ok", true}, {"history", Report::history(events)}});
    return exitSuccess;
}

}  // namespace quillfen::cli
