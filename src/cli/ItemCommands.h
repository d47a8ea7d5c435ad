// The commands that change which items the package keeps: add, remove,
// enable and disable. Each takes the kind of item ("app", "exec", "file") and
// names; the rules come from the app layer's ItemEditor.
#pragma once

#include <string>
#include <vector>

#include "cli/Command.h"

namespace quillfen::cli {

// "add": records items, enabled.
class AddCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    std::string kind_;
    std::vector<std::string> names_;
};

// "remove": removes items and their backed-up copies.
class RemoveCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    std::string kind_;
    std::vector<std::string> names_;
};

// "enable" or "disable": switches applications or executables on or off.
class SwitchCommand : public Command {
public:
    explicit SwitchCommand(bool enable) : enable_(enable) {}

    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    bool enable_;
    std::string kind_;
    std::vector<std::string> names_;
};

}  // namespace quillfen::cli
