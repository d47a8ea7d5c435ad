// The commands about the package itself: where it is (show, move, replace,
// import, export), its note and its history.
#pragma once

#include <string>

#include "cli/Command.h"

namespace quillfen::cli {

// "package": shows the package location, or moves, replaces, imports or
// exports the package, or removes the data copies nobody names.
class PackageCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    int clean(const GlobalOptions& options, const Printer& print);

    std::string action_ = "show";
    std::string target_;
    bool dryRun_ = false;
    bool yes_ = false;
};

// "note": shows the note, or sets it from a file or standard input, writes the
// example note, or removes it.
class NoteCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    std::string file_;
    CLI::Option* set_ = nullptr;
    bool example_ = false;
    bool remove_ = false;
};

// "history": shows the last operations, or clears them.
class HistoryCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    bool clear_ = false;
};

}  // namespace quillfen::cli
