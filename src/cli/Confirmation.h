// Confirmation: the question a command asks before it does something that
// cannot be taken back in one step. On a terminal it asks on standard error
// and reads the answer from standard input; anywhere else (a pipe, a script)
// it does not guess: the command is refused unless --yes was given.
#pragma once

#include <string>

#include "cli/Printer.h"

namespace quillfen::cli {

class Confirmation {
public:
    Confirmation() = delete;

    // Returns when `yes` or when the user answers "y" or "yes" to `question`
    // ("... [y/N] " is added); throws CliError (exit 3) with `refusal`
    // otherwise; when standard input is not a terminal, the message says to
    // use --yes.
    static void require(const Printer& print, bool yes, const std::string& question,
                        const std::string& refusal);
};

}  // namespace quillfen::cli
