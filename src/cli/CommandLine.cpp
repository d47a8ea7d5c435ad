#include "cli/CommandLine.h"

#include <sstream>

#include "app/SettingsFileNotice.h"
#include "cli/CliError.h"
#include "keel/Bundle.h"
#include "keel/JSON.h"
#include "local/LocalResources.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace quillfen::cli {

void CommandLine::add(std::unique_ptr<Command> command) {
    commands_.push_back(std::move(command));
}

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
    app.add_flag("--no-wait", options.noWait,
                 "Fail at once when another run is using the package, instead of waiting");

    std::vector<CLI::App*> defined;
    for (const auto& command : commands_)
        defined.push_back(command->define(app));

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
        if (code == 0) return exitSuccess;
        // The options were not parsed, so look for --json among the words
        // before a "--" to keep the promise of one document on standard output
        // and nothing else.
        for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
            if (std::string_view(argv[i]) == "--json") {
                std::fputs(keel::prettyJSON({{"ok", false}, {"error", e.what()}}).c_str(), out);
                return exitUsage;
            }
        }
        std::fputs(errText.str().c_str(), err);
        return exitUsage;
    }
    if (!package.empty()) options.package = package;
    if (!applications.empty()) options.applications = applications;

    const Printer printer{out, err, options.json};
    try {
        if (options.applications)
            LocalResources::setApplicationsDirectory(fs::absolute(*options.applications));
        // Said once, by the run that moved the file aside, before it acts on
        // settings that are now defaults.
        if (const auto notice = SettingsFileNotice::take()) printer.warning(*notice);
        for (std::size_t i = 0; i < commands_.size(); ++i) {
            if (defined[i]->parsed()) return commands_[i]->run(options, printer);
        }
    } catch (const CliError& e) {
        // With --json the error is the one document on standard output.
        if (options.json) {
            json document{{"ok", false}, {"error", e.what()}};
            if (!e.hint().empty()) document["hint"] = e.hint();
            std::fputs(keel::prettyJSON(document).c_str(), out);
        } else {
            printer.warn(e.what());
            if (!e.hint().empty()) std::fprintf(err, "%s\n", Printer::safeLines(e.hint()).c_str());
        }
        return e.exitCode();
    } catch (const std::exception& e) {
        if (options.json)
            std::fputs(keel::prettyJSON({{"ok", false}, {"error", e.what()}}).c_str(), out);
        else
            printer.warn(e.what());
        return exitFailure;
    }
    return exitUsage;
}

}  // namespace quillfen::cli
