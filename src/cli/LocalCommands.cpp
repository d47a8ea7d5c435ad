#include "cli/LocalCommands.h"

#include <algorithm>

#include "app/ItemEditor.h"
#include "catalog/CatalogLookup.h"
#include "catalog/SyncConfiguration.h"
#include "catalog/SyncPathsFinder.h"
#include "cli/CliError.h"
#include "cli/Confirmation.h"
#include "keel/FileManager.h"
#include "local/AccessManager.h"
#include "local/LocalResources.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace quillfen::cli {

CLI::App* AuthorizeCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand("authorize", "Grant Quillfen access to the disk");
    command->add_flag("--yes,-y", yes_, "Do not ask");
    return command;
}

int AuthorizeCommand::run(const GlobalOptions&, const Printer& print) {
    Confirmation::require(
        print, yes_,
        "Quillfen reads and writes settings anywhere in your home folder and beyond.\n"
        "Grant it access to the whole disk (/)?",
        "Access to the disk was not granted");
    AccessManager::shared().addAccess(fs::path("/"));
    if (!AccessManager::shared().hasAccess(fs::path("/")))
        throw CliError("Access to the disk could not be granted.");
    print.text("Access to the disk granted.\n");
    print.document({{"ok", true}});
    return exitSuccess;
}

CLI::App* ExcludeCommand::define(CLI::App& program) {
    auto* command =
        program.add_subcommand("exclude", "Show or edit the folders Quillfen leaves alone");
    command->add_option("action", action_, "list, add, remove or sort")
        ->check(CLI::IsMember({"list", "add", "remove", "sort"}));
    command->add_option("paths", paths_,
                        "Folders or files (relative to the home folder or absolute)");
    return command;
}

int ExcludeCommand::run(const GlobalOptions&, const Printer& print) {
    if ((action_ == "add" || action_ == "remove") && paths_.empty())
        throw CliError("exclude " + action_ + " needs at least one PATH", exitUsage);
    auto& local = LocalResources::shared();
    auto list = local.excludedFileURLs();
    // Relative paths name places in the home folder, as custom files do,
    // whatever folder the command runs in.
    const auto location = [](const std::string& given) {
        return ItemEditor::customFileLocation(given);
    };
    const auto normal = [](const fs::path& url) {
        fs::path result = url.lexically_normal();
        if (!result.has_filename() && result.has_relative_path()) result = result.parent_path();
        return result;
    };
    if (action_ == "add") {
        for (const auto& given : paths_) {
            const fs::path url = location(given);
            // Not there yet is fine (an application may create it later),
            // but may as well be a typing mistake.
            if (!keel::FileManager::contentExists(url).exists)
                print.warning(url.string() + " does not exist (yet); it is excluded all the same");
            if (std::none_of(list.begin(), list.end(),
                             [&](const fs::path& listed) { return normal(listed) == url; }))
                list.push_back(url);
        }
        local.setExcludedFileURLs(list);
    } else if (action_ == "remove") {
        std::vector<fs::path> remaining;
        for (const auto& url : list) {
            const bool named = std::any_of(paths_.begin(), paths_.end(), [&](const auto& given) {
                return location(given) == normal(url);
            });
            if (!named) remaining.push_back(url);
        }
        std::vector<std::string> unlisted;
        for (const auto& given : paths_)
            if (std::none_of(list.begin(), list.end(),
                             [&](const fs::path& url) { return location(given) == normal(url); }))
                unlisted.push_back(given);
        local.setExcludedFileURLs(remaining);
        if (!unlisted.empty()) {
            // What was listed is removed all the same; the rest is an error.
            local.saveExcludedFileURLs();
            std::string error;
            for (const auto& given : unlisted)
                error += (error.empty() ? "" : "\n") + given + ": not in the exclusion list";
            throw CliError(error, exitFailure, "'quillfen exclude list' shows the list.");
        }
    } else if (action_ == "sort") {
        local.sortExcludedFileURLs();
    }
    if (action_ != "list") local.saveExcludedFileURLs();
    json urls = json::array();
    std::string text;
    for (const auto& url : local.excludedFileURLs()) {
        urls.push_back(url.string());
        text += url.string() + "\n";
    }
    print.text(text);
    print.document({{"ok", true}, {"excluded", urls}});
    return exitSuccess;
}

CLI::App* CatalogCommand::define(CLI::App& program) {
    auto* command =
        program.add_subcommand("catalog", "List the catalog, or one name's settings paths");
    command->add_option("name", name_, "An application or executable name");
    command->add_flag("--all-platforms", allPlatforms_,
                      "Also the catalog's paths for a Mac and for Linux");
    return command;
}

int CatalogCommand::run(const GlobalOptions&, const Printer& print) {
    if (!name_) {
        json names = json::array(), entries = json::array();
        std::string text;
        for (const auto& entry : CatalogLookup::catalogNames()) {
            const bool exec = entry.kind == ItemKind::exec;
            names.push_back(entry.name);
            entries.push_back({{"name", entry.name}, {"kind", exec ? "exec" : "app"}});
            text += entry.name + (exec ? "  (executable)\n" : "  (application)\n");
        }
        print.text(text);
        print.document({{"ok", true}, {"names", names}, {"entries", entries}});
        return exitSuccess;
    }
    const auto known = CatalogLookup::find(*name_);
    if (!known) {
        const auto near = CatalogLookup::suggestions(*name_);
        std::string hint;
        for (std::size_t i = 0; i < near.size(); ++i)
            hint += (i == 0 ? "Did you mean " : i + 1 == near.size() ? " or " : ", ") + near[i];
        throw CliError(*name_ + ": not in the catalog and not installed", exitFailure,
                       hint.empty() ? "'quillfen catalog' lists the catalog." : hint + "?");
    }
    const std::string& name = known->name;
    const bool exec = known->kind == ItemKind::exec;
    const auto finder = exec ? SyncPathsFinder::forExec(name) : SyncPathsFinder::forApp(name);
    const auto configuration = SyncConfiguration::configuration(name);
    std::string text = finder.identifier + (exec ? " (executable)" : " (application)");
    if (configuration.name != name) text += ", catalog entry " + configuration.name;
    text += "\n";
    for (const auto& path : finder.paths)
        text += "  " + path + "\n";
    json document{{"ok", true},
                  {"name", finder.identifier},
                  {"kind", exec ? "exec" : "app"},
                  {"catalogName", configuration.name},
                  {"paths", finder.paths}};
    if (allPlatforms_) {
        // As the catalog lists them, before this computer's sandboxes and
        // links change them.
        json platforms = json::object();
        for (const auto platform : {SettingsPlatform::macOS, SettingsPlatform::linuxOS}) {
            const auto& paths = configuration.pathsOn(platform);
            text += "On " + std::string(platformTitle(platform)) + ":\n";
            for (const auto& path : paths)
                text += "  " + path + "\n";
            platforms[std::string(platformTitle(platform))] = paths;
        }
        document["platforms"] = std::move(platforms);
    }
    print.text(text);
    print.document(document);
    return exitSuccess;
}

}  // namespace quillfen::cli
