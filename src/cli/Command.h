// Command: one command of the `quillfen` program ("status", "add", ...). The
// program defines every command on its parser, and after parsing runs the one
// the user named. A command keeps the values of its own options and arguments.
//
// Commands run on the program's main thread, one per process.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/Printer.h"
#include "cli/Session.h"

namespace quillfen::cli {

class Command {
public:
    virtual ~Command() = default;

    // Adds the command with its options and arguments to `program`, which
    // stores the parsed values in this object, and returns it.
    virtual CLI::App* define(CLI::App& program) = 0;

    // Runs the command once the arguments are parsed and returns the exit
    // code. Throws CliError, or an error of the core, which the program
    // reports.
    virtual int run(const GlobalOptions& options, const Printer& print) = 0;
};

}  // namespace quillfen::cli
