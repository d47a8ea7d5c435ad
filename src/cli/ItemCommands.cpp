#include "cli/ItemCommands.h"

#include "app/ItemEditor.h"
#include "backup/BackupFile.h"
#include "cli/CliError.h"

using nlohmann::json;

namespace quillfen::cli {

namespace {

// The words that name the kinds of item on the command line.
const std::vector<std::string> kKindNames{"app", "exec", "file"};

// The kind a word of `kKindNames` names; the parser has checked the word.
ItemKind itemKind(const std::string& word) {
    if (word == "app") return ItemKind::app;
    if (word == "exec") return ItemKind::exec;
    return ItemKind::file;
}

// Reports an edit of several items: those refused are named (on standard
// error, or in the document with --json) and make the command fail, the
// others are saved all the same.
const char* kindWordOf(ItemKind kind) {
    return kind == ItemKind::exec ? "exec" : kind == ItemKind::app ? "app" : "file";
}

// Commands that would do for the names given as the other kind.
std::vector<std::string> otherKindHints(const ItemEditor::Outcome& outcome,
                                        const std::string& command) {
    std::vector<std::string> hints;
    for (const auto& [given, known] : outcome.otherKind) {
        const bool plain = known.name.find_first_of(" '\"\\$`") == std::string::npos;
        hints.push_back("Use 'quillfen " + command + " " + kindWordOf(known.kind) + " " +
                        (plain ? known.name : "\"" + known.name + "\"") + "' for " + given + ".");
    }
    return hints;
}

// `extra` holds more members of the document; `command` is the command that
// was run, for the hints about names of the other kind.
int finishEdit(const Printer& print, const ItemEditor::Outcome& outcome, const char* done,
               const std::string& command, const json& extra = json::object()) {
    const std::size_t saved = outcome.applied;
    const auto& refused = outcome.refused;
    if (saved > 0 || refused.empty())
        print.text(std::string(done) + " " + std::to_string(saved) + " item(s).\n");
    for (const auto& notice : outcome.notices)
        print.warning(notice);
    if (refused.empty()) {
        json document{{"ok", true}, {"saved", saved}, {"refused", json::array()}};
        if (!outcome.notices.empty()) document["notices"] = outcome.notices;
        document.update(extra);
        print.document(document);
        return exitSuccess;
    }
    std::string error;
    for (const auto& message : refused) {
        if (!print.json) print.warn(message);
        error += (error.empty() ? "" : "\n") + message;
    }
    const auto hints = otherKindHints(outcome, command);
    for (const auto& hint : hints)
        if (!print.json) std::fprintf(print.err, "%s\n", Printer::safeLines(hint).c_str());
    json document{{"ok", false}, {"error", error}, {"saved", saved}, {"refused", refused}};
    if (!hints.empty()) document["hints"] = hints;
    if (!outcome.notices.empty()) document["notices"] = outcome.notices;
    document.update(extra);
    print.document(document);
    return exitFailure;
}

}  // namespace

CLI::App* AddCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand("add", "Record items in the package, enabled");
    command->add_option("kind", kind_, "app, exec or file")
        ->required()
        ->check(CLI::IsMember(kKindNames));
    command
        ->add_option("names", names_,
                     "Names, or file paths (relative to the home folder or absolute)")
        ->required();
    return command;
}

int AddCommand::run(const GlobalOptions& options, const Printer& print) {
    Session session(options, print);
    auto file = session.openPackage(true);
    const auto outcome = ItemEditor(file).add(itemKind(kind_), names_);
    session.save(file);
    return finishEdit(print, outcome, "Saved", "add");
}

CLI::App* RemoveCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand(
        "remove", "Remove items and their backed-up copies from the package");
    command->add_option("kind", kind_, "app, exec or file")
        ->required()
        ->check(CLI::IsMember(kKindNames));
    command->add_option("names", names_, "Names or file paths")->required();
    return command;
}

int RemoveCommand::run(const GlobalOptions& options, const Printer& print) {
    Session session(options, print);
    auto file = session.openPackage(true);
    const auto outcome = ItemEditor(file).remove(itemKind(kind_), names_);
    session.save(file);
    return finishEdit(print, outcome, "Removed", "remove", {{"notFound", outcome.refused}});
}

CLI::App* SwitchCommand::define(CLI::App& program) {
    auto* command = program.add_subcommand(enable_ ? "enable" : "disable",
                                           enable_ ? "Switch items on" : "Switch items off");
    command->add_option("kind", kind_, "app or exec")
        ->required()
        ->check(CLI::IsMember({"app", "exec"}));
    command->add_option("names", names_, "Names")->required();
    return command;
}

int SwitchCommand::run(const GlobalOptions& options, const Printer& print) {
    Session session(options, print);
    auto file = session.openPackage(true);
    const auto outcome = ItemEditor(file).setEnabled(itemKind(kind_), names_, enable_);
    session.save(file);
    return finishEdit(print, outcome, "Saved", enable_ ? "enable" : "disable");
}

}  // namespace quillfen::cli
