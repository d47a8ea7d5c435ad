#include "cli/CommandLine.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "app/BackupManager.h"
#include "app/BackupViewer.h"
#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "backup/PackageInspector.h"
#include "catalog/SyncConfiguration.h"
#include "catalog/SyncPathsFinder.h"
#include "cli/CliError.h"
#include "cli/Report.h"
#include "cli/Session.h"
#include "keel/Bundle.h"
#include "keel/CarriedException.h"
#include "keel/FileManager.h"
#include "keel/JSON.h"
#include "keel/URL.h"
#include "local/AccessManager.h"
#include "local/LocalResources.h"
#include "local/PathConverter.h"
#include "sync/UndoStore.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace quillfen::cli {

namespace {

// The note the notes editor offers as a start.
constexpr const char* kExampleNote =
    "#Example\n\n##New macOS Install\n\n###Step1: Homebrew\n\n- imagemagick\n- opencv\n- ffmpeg\n- "
    "much more...\n\n";

struct Printer {
    std::FILE* out;
    std::FILE* err;
    bool json;

    void text(const std::string& text) const {
        if (!json) std::fputs(text.c_str(), out);
    }
    void document(const nlohmann::json& document) const {
        if (json) std::fputs(keel::prettyJSON(document).c_str(), out);
    }
    void warn(const std::string& message) const {
        std::fprintf(err, "quillfen: %s\n", message.c_str());
    }
    void warning(const std::string& message) const {
        std::fprintf(err, "quillfen: warning: %s\n", message.c_str());
    }
};

// Whether `text` is well-formed UTF-8. The package is JSON, which holds UTF-8
// only: anything else would be stored altered, so it is refused instead.
bool isUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t minimum = 0, code = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2, minimum = 0x80, code = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3, minimum = 0x800, code = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4, minimum = 0x10000, code = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

// A file given on the command line: relative to the home folder unless
// absolute; "notes/" and "notes" name the same folder.
fs::path homeRelativeLocation(const std::string& given) {
    fs::path path(given);
    if (!path.is_absolute()) path = keel::FileManager::noSandboxHomeURL() / path;
    path = path.lexically_normal();
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path;
}

// Why `location` cannot be recorded as a custom file of the package at
// `packageURL`, or nothing when it can.
std::optional<std::string> fileRefusal(const fs::path& location, const fs::path& packageURL) {
    if (!keel::FileManager::contentExists(location).exists) return "no such file or folder";
    if (keel::checkIsOnMainDisk(location) == false)
        return "not on the main disk; only files of the main disk can be backed up";
    // Backing up the home folder, or a folder around it, would copy every
    // other settings file and the package with it.
    if (keel::isFileParent(location, keel::FileManager::noSandboxHomeURL()))
        return "the home folder, or a folder that holds it, cannot be backed up as one file";
    // A copy of the package inside itself would grow with every backup.
    if (keel::isFileParent(packageURL, location) || keel::isFileParent(location, packageURL))
        return "the backup package cannot back up itself";
    return std::nullopt;
}

bool isKnownApplication(const std::string& name) {
    return SyncConfiguration::catalogByName().count(name) ||
           SyncConfiguration::nameAliases().count(name) ||
           LocalResources::shared().appItem(name).has_value();
}

bool isKnownExecutable(const std::string& name) {
    const auto& names = SyncConfiguration::execNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

class Commands {
public:
    Commands(const GlobalOptions& options, Printer printer) : options_(options), print_(printer) {}

    int authorize(bool yes) {
        if (!yes && ::isatty(STDIN_FILENO)) {
            std::fprintf(
                print_.err,
                "Quillfen reads and writes settings anywhere in your home folder and beyond.\n"
                "Grant it access to the whole disk (/)? [y/N] ");
            std::string answer;
            std::getline(std::cin, answer);
            if (answer != "y" && answer != "Y" && answer != "yes")
                throw CliError("Access to the disk was not granted.");
        }
        AccessManager::shared().addAccess(fs::path("/"));
        if (!AccessManager::shared().hasAccess(fs::path("/")))
            throw CliError("Access to the disk could not be granted.");
        print_.text("Access to the disk granted.\n");
        print_.document({{"ok", true}});
        return exitSuccess;
    }

    int status(bool all) {
        Session session(options_);
        auto file = session.openPackage();
        auto viewer = session.manager().viewer();
        StatusRows rows;
        rows.package = file->url().string();
        for (auto& entry : viewer->backupAppEntries())
            if (all || entry.backupItem) rows.apps.push_back(std::move(entry));
        for (auto& entry : viewer->backupExecEntries())
            if (all || entry.backupItem) rows.execs.push_back(std::move(entry));
        rows.files = viewer->backupFileEntries();
        if (auto note = file->note()) rows.note = note->content;
        rows.history = file->eventItems();
        rows.warnings = packageWarnings(*file, rows);
        for (const auto& warning : rows.warnings)
            print_.warning(warning);
        print_.text(Report::statusText(rows));
        print_.document(Report::status(rows));
        return exitSuccess;
    }

    int device(BackupAction action, SyncAction syncAction) {
        Session session(options_);
        session.openPackage();
        const bool showProgress = ::isatty(::fileno(print_.err)) && !options_.json;
        std::FILE* err = print_.err;
        if (showProgress) {
            session.manager().setSyncProgressHandler(
                [err, syncAction](std::size_t done, std::size_t total) {
                    std::fprintf(err, "\r%s: %zu of %zu items", localizedTitle(syncAction).c_str(),
                                 done, total);
                    if (done == total) std::fputs("\n", err);
                    std::fflush(err);
                });
        }
        auto process = session.run(action);
        session.manager().setSyncProgressHandler(nullptr);
        Session::check(*process);
        std::optional<SyncLogs> logs;
        if (const SyncLogs* value = process->syncLogs()) logs = *value;
        print_.text(Report::runText(syncAction, logs));
        print_.document(Report::run(syncAction, logs));
        return logs && !logs->results().empty() ? exitFailedPaths : exitSuccess;
    }

    int undo(bool list) {
        if (list) {
            const auto store = UndoStore::standard();
            if (!store) throw CliError("no support folder is known, so no run has been kept");
            const auto runs = store->runs();
            print_.text(Report::undoListText(*store, runs));
            print_.document(Report::undoList(*store, runs));
            return exitSuccess;
        }
        Session session(options_);
        auto process = session.run(BackupAction::undoInstall);
        if (keel::carriedException<UndoStore::NothingToUndo>(process->error()))
            throw CliError(
                "nothing to undo: every kept install and synchronize run has been undone",
                exitFailure, "'quillfen undo --list' shows the kept runs.");
        Session::check(*process);
        const UndoStore::Result* result = process->undoResult();
        if (!result) throw CliError("the undo gave no result");
        for (const auto& path : result->leftAlone)
            print_.warn(path +
                        ": changed since the run, so left as it is; the version the run "
                        "replaced stays in the undo store");
        for (const auto& [path, message] : result->failures)
            print_.warn(path + ": " + message);
        print_.text(Report::undoText(*result));
        print_.document(Report::undo(*result));
        return result->failures.empty() && result->leftAlone.empty() ? exitSuccess
                                                                     : exitFailedPaths;
    }

    int add(const std::string& kind, const std::vector<std::string>& names) {
        Session session(options_);
        auto file = session.openPackage();
        std::vector<std::string> refused;
        if (kind == "app") {
            std::vector<BackupAppItem> items;
            for (const auto& name : names) {
                if (!isUTF8(name)) {
                    refused.push_back(name + ": not UTF-8; the package cannot hold this name");
                    continue;
                }
                if (!isKnownApplication(name)) {
                    refused.push_back(name +
                                      ": no application of that name in the catalog or installed");
                    continue;
                }
                auto existing = file->appItem(name);
                items.push_back(
                    BackupAppItem{name, true, existing ? existing->comment : std::nullopt});
            }
            file->setAppItems(items);
        } else if (kind == "exec") {
            std::vector<BackupExecItem> items;
            for (const auto& name : names) {
                if (!isKnownExecutable(name)) {
                    refused.push_back(name + ": no executable of that name in the catalog");
                    continue;
                }
                auto existing = file->execItem(name);
                items.push_back(
                    BackupExecItem{name, true, existing ? existing->comment : std::nullopt});
            }
            file->setExecItems(items);
        } else {
            std::vector<BackupFileItem> items;
            for (const auto& given : names) {
                const fs::path location = homeRelativeLocation(given);
                if (!isUTF8(location.string())) {
                    refused.push_back(given + ": not UTF-8; the package cannot hold this path");
                    continue;
                }
                if (auto refusal = fileRefusal(location, file->url())) {
                    refused.push_back(given + ": " + *refusal);
                    continue;
                }
                const std::string path = PathConverter::path(location);
                auto existing = file->fileItem(path);
                items.push_back(
                    BackupFileItem{path, true, existing ? existing->comment : std::nullopt});
            }
            file->setFileItems(items);
        }
        session.save(file);
        return finishEdit(refused, names.size());
    }

    int remove(const std::string& kind, const std::vector<std::string>& names) {
        Session session(options_);
        auto file = session.openPackage();
        std::vector<std::string> keys;
        std::vector<std::string> missing;
        for (const auto& name : names) {
            std::string key = name;
            bool recorded = false;
            if (kind == "app") {
                recorded = file->appItem(name).has_value();
            } else if (kind == "exec") {
                recorded = file->execItem(name).has_value();
            } else {
                key = PathConverter::path(homeRelativeLocation(name));
                recorded = file->fileItem(key).has_value();
            }
            // Only recorded items are removed: removing an application also
            // deletes the data copies of its settings paths.
            if (recorded) {
                keys.push_back(key);
            } else {
                missing.push_back(name + ": not in the package");
            }
        }
        if (kind == "app") {
            file->removeAppItems(keys);
        } else if (kind == "exec") {
            file->removeExecItems(keys);
        } else {
            file->removeFileItems(keys);
        }
        session.save(file);
        for (const auto& message : missing)
            print_.warn(message);
        print_.text("Removed " + std::to_string(keys.size()) + " item(s).\n");
        print_.document({{"ok", true}, {"notFound", missing}});
        return exitSuccess;
    }

    int setEnabled(const std::string& kind, const std::vector<std::string>& names, bool enabled) {
        Session session(options_);
        auto file = session.openPackage();
        std::vector<std::string> refused;
        if (kind == "app") {
            std::vector<BackupAppItem> items;
            for (const auto& name : names) {
                auto existing = file->appItem(name);
                if (!existing && !isKnownApplication(name)) {
                    refused.push_back(
                        name +
                        ": no application of that name in the package, the catalog or installed");
                    continue;
                }
                items.push_back(
                    BackupAppItem{name, enabled, existing ? existing->comment : std::nullopt});
            }
            file->setAppItems(items);
        } else {
            std::vector<BackupExecItem> items;
            for (const auto& name : names) {
                auto existing = file->execItem(name);
                if (!existing && !isKnownExecutable(name)) {
                    refused.push_back(name +
                                      ": no executable of that name in the package or the catalog");
                    continue;
                }
                items.push_back(
                    BackupExecItem{name, enabled, existing ? existing->comment : std::nullopt});
            }
            file->setExecItems(items);
        }
        session.save(file);
        return finishEdit(refused, names.size());
    }

    int history(bool clear) {
        Session session(options_);
        auto file = session.openPackage();
        if (clear) {
            file->removeEvents();
            session.save(file);
            print_.text("History cleared.\n");
            print_.document({{"ok", true}, {"history", json::array()}});
            return exitSuccess;
        }
        const auto events = file->eventItems();
        print_.text(Report::historyText(events));
        print_.document({{"ok", true}, {"history", Report::history(events)}});
        return exitSuccess;
    }

    int note(const std::optional<std::string>& setFrom, bool example, bool remove) {
        Session session(options_);
        auto file = session.openPackage();
        if (setFrom || example) {
            std::string text = kExampleNote;
            if (setFrom) {
                try {
                    if (*setFrom == "-") {
                        text.assign(std::istreambuf_iterator<char>(std::cin),
                                    std::istreambuf_iterator<char>());
                    } else {
                        text = keel::FileManager::readWholeFile(*setFrom);
                    }
                } catch (const std::exception& e) {
                    throw CliError(*setFrom + ": " + e.what());
                }
                if (!isUTF8(text))
                    throw CliError((*setFrom == "-" ? std::string("standard input") : *setFrom) +
                                   ": the note is not UTF-8 text; the package keeps its note");
            }
            file->setNote(text);
            session.save(file);
            print_.text("Note saved.\n");
            print_.document({{"ok", true}, {"note", text}});
            return exitSuccess;
        }
        if (remove) {
            file->removeNote();
            session.save(file);
            print_.text("Note removed.\n");
            print_.document({{"ok", true}, {"note", nullptr}});
            return exitSuccess;
        }
        const auto note = file->note();
        const auto content = note ? note->content : std::nullopt;
        print_.text(content.value_or(""));
        print_.document({{"ok", true}, {"note", content ? json(*content) : json(nullptr)}});
        return exitSuccess;
    }

    int package(const std::string& action, const std::optional<std::string>& target) {
        if (action == "show") {
            Session session(options_);
            const auto url = session.manager().backupFileURL();
            if (!url) throw CliError(BackupError(BackupError::Code::noBackupLocation).what());
            const bool stored = keel::UserSettings::standard()
                                    .get(BackupManager::backupFileURLLocationKey)
                                    .has_value();
            print_.text(url->string() + (stored || options_.package ? "\n" : "  (default)\n"));
            print_.document({{"ok", true},
                             {"package", url->string()},
                             {"default", !stored && !options_.package}});
            return exitSuccess;
        }
        if (!target) throw CliError("package " + action + " needs a PATH", exitUsage);
        const fs::path path = fs::absolute(*target).lexically_normal();
        if (action != "import" && keel::pathExtension(path) != BackupFile::packageExtension)
            throw CliError(
                std::string(BackupError(BackupError::Code::backupFileExtensionIsInvalid).what()) +
                "\n  " + path.string() + ": a package's name ends in ." +
                BackupFile::packageExtension);
        if ((action == "move" || action == "export") &&
            keel::FileManager::contentExists(path).exists)
            throw CliError(path.string() +
                           " already exists; remove it first or choose another location");
        Session session(options_);
        auto file = session.openPackage();
        const BackupAction which = action == "move"      ? BackupAction::moveBackupFile
                                   : action == "replace" ? BackupAction::replaceBackupFile
                                   : action == "import"  ? BackupAction::importBackupFile
                                                         : BackupAction::exportBackupFile;
        auto process = session.run(which, path);
        Session::check(*process);
        const auto now = session.manager().file() ? session.manager().file()->url() : path;
        print_.text(progressTitle(which) + ": done. Package: " + now.string() + "\n");
        print_.document({{"ok", true}, {"package", now.string()}});
        return exitSuccess;
    }

    int exclude(const std::string& action, const std::vector<std::string>& paths) {
        auto& local = LocalResources::shared();
        auto list = local.excludedFileURLs();
        if (action == "add") {
            for (const auto& given : paths)
                list.push_back(fs::absolute(given).lexically_normal());
            local.setExcludedFileURLs(list);
        } else if (action == "remove") {
            std::vector<fs::path> remaining;
            for (const auto& url : list) {
                const bool named =
                    std::any_of(paths.begin(), paths.end(), [&](const std::string& given) {
                        return fs::absolute(given).lexically_normal() == url.lexically_normal();
                    });
                if (!named) remaining.push_back(url);
            }
            if (remaining.size() + paths.size() != list.size())
                print_.warn("some of the paths given are not in the exclusion list");
            local.setExcludedFileURLs(remaining);
        } else if (action == "sort") {
            local.sortExcludedFileURLs();
        }
        if (action != "list") local.saveExcludedFileURLs();
        json urls = json::array();
        std::string text;
        for (const auto& url : local.excludedFileURLs()) {
            urls.push_back(url.string());
            text += url.string() + "\n";
        }
        print_.text(text);
        print_.document({{"ok", true}, {"excluded", urls}});
        return exitSuccess;
    }

    int catalog(const std::optional<std::string>& name) {
        if (!name) {
            json names = json::array();
            std::string text;
            for (const auto& entry : SyncConfiguration::catalog()) {
                names.push_back(entry.name);
                text += entry.name + "\n";
            }
            print_.text(text);
            print_.document({{"ok", true}, {"names", names}});
            return exitSuccess;
        }
        const bool exec = isKnownExecutable(*name);
        if (!exec && !isKnownApplication(*name))
            throw CliError(*name + ": not in the catalog and not installed");
        const auto finder = exec ? SyncPathsFinder::forExec(*name) : SyncPathsFinder::forApp(*name);
        const auto configuration = SyncConfiguration::configuration(*name);
        std::string text = finder.identifier + (exec ? " (executable)" : " (application)");
        if (configuration.name != *name) text += ", catalog entry " + configuration.name;
        text += "\n";
        for (const auto& path : finder.paths)
            text += "  " + path + "\n";
        print_.text(text);
        print_.document({{"ok", true},
                         {"name", finder.identifier},
                         {"kind", exec ? "exec" : "app"},
                         {"catalogName", configuration.name},
                         {"paths", finder.paths}});
        return exitSuccess;
    }

private:
    // What status tells the user to look at: conflict copies beside the
    // package's files, and records whose data copy has not arrived (a cloud
    // drive may deliver "Data.json" first), among the paths of the rows shown.
    static std::vector<std::string> packageWarnings(BackupFile& file, const StatusRows& rows) {
        std::vector<std::string> warnings;
        const fs::path url = file.url();
        for (const auto& name : PackageInspector::conflictCopies(url))
            warnings.push_back((url / name).string() +
                               ": a conflict copy left by the cloud drive; it is not read as "
                               "part of the package and is left where it is");
        BackupFileData::DataItems records;
        const auto addRecord = [&](const std::string& path) {
            if (records.count(path)) return;
            if (auto record = file.dataItem(path)) records.emplace(path, *record);
        };
        for (const auto& entry : rows.apps)
            for (const auto& [path, state] : entry.state.states)
                addRecord(path);
        for (const auto& entry : rows.execs)
            for (const auto& [path, state] : entry.state.states)
                addRecord(path);
        for (const auto& entry : rows.files)
            addRecord(entry.path);
        for (const auto& path : PackageInspector::missingCopies(url, records))
            warnings.push_back(path + ": its backed-up copy (" + BackupFileData::dataFolderName +
                               "/" + records.at(path).uuid + "." +
                               BackupFileData::dataCopyExtension +
                               ") has not arrived in the package yet; an install skips it");
        return warnings;
    }

    // Reports an edit of several items: those refused are named on standard
    // error and make the command fail, the others are saved all the same.
    int finishEdit(const std::vector<std::string>& refused, std::size_t given) {
        const std::size_t saved = given - refused.size();
        if (saved > 0 || refused.empty())
            print_.text("Saved " + std::to_string(saved) + " item(s).\n");
        if (refused.empty()) {
            print_.document({{"ok", true}, {"saved", saved}, {"refused", json::array()}});
            return exitSuccess;
        }
        std::string error;
        for (const auto& message : refused) {
            print_.warn(message);
            error += (error.empty() ? "" : "\n") + message;
        }
        print_.document({{"ok", false}, {"error", error}, {"saved", saved}, {"refused", refused}});
        return exitFailure;
    }

    GlobalOptions options_;
    Printer print_;
};

}  // namespace

int CommandLine::run(int argc, char** argv, std::FILE* out, std::FILE* err) {
    CLI::App app{
        "Quillfen: carries the settings of your applications, tools and files between computers.",
        "quillfen"};
    app.set_version_flag("--version", "quillfen " + keel::bundleShortVersion());
    app.require_subcommand(1);
    // Global options are also accepted after the command ("status --json").
    app.fallthrough();

    GlobalOptions options;
    std::string package, applications;
    app.add_option("--package", package, "Use the package at PATH for this command only")
        ->option_text("PATH");
    app.add_option("--applications", applications, "Folder searched for installed applications")
        ->option_text("DIR");
    app.add_flag("--json", options.json, "Print one JSON document instead of text");

    bool yes = false, all = false, clear = false, example = false, removeNote = false;
    std::string kind, action, noteFile, target;
    std::vector<std::string> names;
    std::optional<std::string> catalogName;

    auto* authorize = app.add_subcommand("authorize", "Grant Quillfen access to the disk");
    authorize->add_flag("--yes,-y", yes, "Do not ask");
    auto* status = app.add_subcommand(
        "status", "Show the items of the package and what a synchronize would do");
    status->add_flag("--all", all, "Also installed applications and every catalog executable");
    auto* backup = app.add_subcommand("backup", "Back up this computer into the package");
    auto* install = app.add_subcommand("install", "Install the package onto this computer");
    auto* sync = app.add_subcommand("sync", "Synchronize: per settings file, the newer side wins");
    const std::vector<std::string> kinds{"app", "exec", "file"};
    auto* add = app.add_subcommand("add", "Record items in the package, enabled");
    add->add_option("kind", kind, "app, exec or file")->required()->check(CLI::IsMember(kinds));
    add->add_option("names", names,
                    "Names, or file paths (relative to the home folder or absolute)")
        ->required();
    auto* remove =
        app.add_subcommand("remove", "Remove items and their backed-up copies from the package");
    remove->add_option("kind", kind, "app, exec or file")->required()->check(CLI::IsMember(kinds));
    remove->add_option("names", names, "Names or file paths")->required();
    auto* enable = app.add_subcommand("enable", "Switch items on");
    auto* disable = app.add_subcommand("disable", "Switch items off");
    for (auto* command : {enable, disable}) {
        command->add_option("kind", kind, "app or exec")
            ->required()
            ->check(CLI::IsMember({"app", "exec"}));
        command->add_option("names", names, "Names")->required();
    }
    auto* history = app.add_subcommand("history", "Show the last operations");
    history->add_flag("--clear", clear, "Clear the history");
    auto* note = app.add_subcommand("note", "Show or change the package's note");
    auto* setOption =
        note->add_option("--set", noteFile, "Set the note from FILE ('-' for standard input)")
            ->option_text("FILE");
    auto* exampleFlag = note->add_flag("--example", example, "Write the example note");
    auto* removeFlag = note->add_flag("--remove", removeNote, "Remove the note");
    setOption->excludes(exampleFlag)->excludes(removeFlag);
    exampleFlag->excludes(removeFlag);
    auto* packageCommand = app.add_subcommand(
        "package", "Show the package location, or move, replace, import, export");
    action = "show";
    packageCommand->add_option("action", action, "show, move, replace, import or export")
        ->check(CLI::IsMember({"show", "move", "replace", "import", "export"}));
    packageCommand->add_option("path", target, "The other location")->option_text("PATH");
    auto* excludeCommand =
        app.add_subcommand("exclude", "Show or edit the folders Quillfen leaves alone");
    std::string excludeAction = "list";
    excludeCommand->add_option("action", excludeAction, "list, add, remove or sort")
        ->check(CLI::IsMember({"list", "add", "remove", "sort"}));
    excludeCommand->add_option("paths", names, "Folders or files");
    bool listRuns = false;
    auto* undoCommand = app.add_subcommand(
        "undo",
        "Put back what the last install or synchronize replaced on this computer; run it again "
        "to go one more run back");
    undoCommand->add_flag("--list", listRuns,
                          "List the kept runs, newest first, with their disk use");
    undoCommand->footer(
        "Before an install or synchronize replaces or creates a settings file, Quillfen keeps "
        "what was there, for the last " +
        std::to_string(UndoStore::maximumRuns) + " runs and at most " +
        Report::sizeText(UndoStore::defaultMaximumSize) +
        " (older runs go first). Undo puts back the newest run not undone yet, removes what the "
        "run created where nothing was, and leaves a file changed since the run as it is. The "
        "package is not touched.");
    auto* catalogCommand =
        app.add_subcommand("catalog", "List the catalog, or one name's settings paths");
    catalogCommand->add_option("name", catalogName, "An application or executable name");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& parseError) {
        std::ostringstream outText, errText;
        // A misspelt command leaves no command and an extra word: name the
        // word rather than say that a command is missing.
        const auto extras = app.remaining();
        const CLI::ExtrasError unknownCommand(
            "Unknown command: " + (extras.empty() ? std::string() : extras.front()),
            CLI::ExitCodes::ExtrasError);
        const bool misspelt = dynamic_cast<const CLI::RequiredError*>(&parseError) &&
                              app.get_subcommands().empty() && !extras.empty();
        const CLI::ParseError& e = misspelt ? unknownCommand : parseError;
        const int code = app.exit(e, outText, errText);
        std::fputs(outText.str().c_str(), out);
        std::fputs(errText.str().c_str(), err);
        if (code == 0) return exitSuccess;
        // The options were not parsed, so look for --json among the words
        // before a "--" to keep the promise of one document on standard output.
        for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
            if (std::string_view(argv[i]) == "--json") {
                std::fputs(keel::prettyJSON({{"ok", false}, {"error", e.what()}}).c_str(), out);
                break;
            }
        }
        return exitUsage;
    }
    if (!package.empty()) options.package = package;
    if (!applications.empty()) options.applications = applications;

    Printer printer{out, err, options.json};
    Commands commands(options, printer);
    try {
        if (options.applications)
            LocalResources::setApplicationsDirectory(fs::absolute(*options.applications));
        if (*authorize) return commands.authorize(yes);
        if (*status) return commands.status(all);
        if (*backup) return commands.device(BackupAction::backUpDevice, SyncAction::backUp);
        if (*install) return commands.device(BackupAction::installDevice, SyncAction::install);
        if (*sync) return commands.device(BackupAction::syncDevice, SyncAction::synchronize);
        if (*add) return commands.add(kind, names);
        if (*remove) return commands.remove(kind, names);
        if (*enable) return commands.setEnabled(kind, names, true);
        if (*disable) return commands.setEnabled(kind, names, false);
        if (*history) return commands.history(clear);
        if (*note)
            return commands.note(setOption->count() ? std::optional(noteFile) : std::nullopt,
                                 example, removeNote);
        if (*packageCommand)
            return commands.package(action, target.empty() ? std::nullopt : std::optional(target));
        if (*excludeCommand) {
            if ((excludeAction == "add" || excludeAction == "remove") && names.empty())
                throw CliError("exclude " + excludeAction + " needs at least one PATH", exitUsage);
            return commands.exclude(excludeAction, names);
        }
        if (*catalogCommand) return commands.catalog(catalogName);
        if (*undoCommand) return commands.undo(listRuns);
    } catch (const CliError& e) {
        std::fprintf(err, "quillfen: %s\n", e.what());
        if (!e.hint().empty()) std::fprintf(err, "%s\n", e.hint().c_str());
        if (options.json) {
            json document{{"ok", false}, {"error", e.what()}};
            if (!e.hint().empty()) document["hint"] = e.hint();
            std::fputs(keel::prettyJSON(document).c_str(), out);
        }
        return e.exitCode();
    } catch (const std::exception& e) {
        std::fprintf(err, "quillfen: %s\n", e.what());
        if (options.json)
            std::fputs(keel::prettyJSON({{"ok", false}, {"error", e.what()}}).c_str(), out);
        return exitFailure;
    }
    return exitUsage;
}

}  // namespace quillfen::cli
