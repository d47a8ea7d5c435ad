#include "cli/DiffCommand.h"

#include "app/BackupManager.h"
#include "app/BackupViewer.h"
#include "app/SettingsDiff.h"
#include "backup/BackupFile.h"
#include "cli/CliError.h"
#include "cli/Report.h"
#include "keel/Strings.h"
#include "local/LocalResources.h"

using nlohmann::json;

namespace quillfen::cli {

namespace {

const char* kindName(ItemKind kind) {
    switch (kind) {
        case ItemKind::app:
            return "app";
        case ItemKind::exec:
            return "exec";
        case ItemKind::file:
            break;
    }
    return "file";
}

// The line above a path's diff: what a synchronize would do and why.
std::string headingText(const SettingsDiff::Target& target) {
    std::string text = localizedTitle(target.state) + "  " + target.path + "  (";
    if (target.kind != ItemKind::file) text += target.item + "; ";
    text += target.state == SyncAction::backUp
                ? "the local file is newer: a back-up or synchronize copies it into the package"
                : "the package's copy is newer: an install or synchronize copies it here";
    if (!target.enabled) text += "; switched off, so runs leave it alone";
    return text + ")\n";
}

std::string sizeOf(const std::optional<std::uintmax_t>& size) {
    return size ? Report::sizeText(*size) : std::string("none");
}

std::string changeText(const SettingsDiff::Change& change) {
    using Kind = SettingsDiff::Change::Kind;
    const std::string package = SettingsDiff::label(true, change.path);
    const std::string local = SettingsDiff::label(false, change.path);
    switch (change.kind) {
        case Kind::text:
            return DiffCommand::visible(change.diff) +
                   (change.truncated ? "[diff cut short: it is longer than the output limit]\n"
                                     : "");
        case Kind::binary:
            return "Binary files " + DiffCommand::visible(package) + " and " +
                   DiffCommand::visible(local) + " differ (package: " + sizeOf(change.packageSize) +
                   ", local: " + sizeOf(change.localSize) + ")\n";
        case Kind::other:
            break;
    }
    return DiffCommand::visible(change.path) + ": " + DiffCommand::visible(change.description) +
           "\n";
}

json changeDocument(const SettingsDiff::Change& change) {
    using Kind = SettingsDiff::Change::Kind;
    const auto size = [](const std::optional<std::uintmax_t>& value) {
        return value ? json(*value) : json(nullptr);
    };
    json document{{"path", change.path}};
    switch (change.kind) {
        case Kind::text:
            document["kind"] = "text";
            document["diff"] = change.diff;
            document["truncated"] = change.truncated;
            break;
        case Kind::binary:
            document["kind"] = "binary";
            document["packageSize"] = size(change.packageSize);
            document["localSize"] = size(change.localSize);
            break;
        case Kind::other:
            document["kind"] = "other";
            document["description"] = change.description;
            break;
    }
    return document;
}

}  // namespace

std::string DiffCommand::visible(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7F) {
            shown += '^';
            shown += byte == 0x7F ? '?' : static_cast<char>(byte + 0x40);
        } else {
            shown += c;
        }
    }
    return shown;
}

CLI::App* DiffCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand(
        "diff",
        "Show what a synchronize would change: the package's copy against the local file, for "
        "each settings path to back up or install");
    command->add_option("item", item_,
                        "An application or executable of the package, a custom file, or a "
                        "settings path of one (default: every item that is on)");
    command->add_option("-U,--unified", contextLines_, "Lines of context around each change")
        ->option_text("N")
        ->check(CLI::Range(0, 1000));
    return command;
}

int DiffCommand::run(const GlobalOptions& options, const Printer& print) {
    Session session(options, print);
    auto file = session.openPackage();
    auto viewer = session.manager().viewer();
    std::optional<std::string> name;
    if (!item_.empty()) name = item_;
    std::vector<SettingsDiff::Target> targets;
    try {
        targets = SettingsDiff::targets(viewer->backupAppEntries(), viewer->backupExecEntries(),
                                        viewer->backupFileEntries(), name);
    } catch (const SettingsDiff::Refusal& refusal) {
        throw CliError(refusal.what());
    }

    SettingsDiff::Options diffOptions;
    diffOptions.contextLines = contextLines_;
    const SettingsDiff diff(file, LocalResources::shared(), diffOptions);
    json paths = json::array();
    std::size_t failed = 0;
    for (const auto& target : targets) {
        const SettingsDiff::PathDiff result = diff.compare(target);
        json changes = json::array();
        for (const auto& change : result.changes)
            changes.push_back(changeDocument(change));
        const bool fromPackage = target.state == SyncAction::backUp;
        paths.push_back({{"kind", kindName(target.kind)},
                         {"item", target.item},
                         {"path", target.path},
                         {"state", rawValue(target.state)},
                         {"enabled", target.enabled},
                         {"from", fromPackage ? "package" : "local"},
                         {"to", fromPackage ? "local" : "package"},
                         {"changes", changes},
                         {"error", result.error ? json(*result.error) : json(nullptr)}});
        std::string text = visible(headingText(target));
        if (result.error) {
            ++failed;
            print.warn(visible(target.path + ": " + *result.error));
        } else if (result.changes.empty()) {
            text += "  same content; only the dates differ\n";
        }
        for (const auto& change : result.changes)
            text += changeText(change);
        print.text(text + "\n");
    }
    if (targets.empty())
        print.text("Nothing to compare: no settings path needs a back-up or an install.\n");

    json document{{"ok", failed == 0}, {"package", file->url().string()}, {"paths", paths}};
    if (failed > 0)
        document["error"] = std::to_string(failed) + " settings path(s) could not be compared";
    print.document(document);
    return failed == 0 ? exitSuccess : exitFailedPaths;
}

}  // namespace quillfen::cli
