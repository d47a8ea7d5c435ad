#include "cli/Confirmation.h"

#include <unistd.h>

#include <iostream>

#include "cli/CliError.h"

namespace quillfen::cli {

void Confirmation::require(const Printer& print, bool yes, const std::string& question,
                           const std::string& refusal) {
    if (yes) return;
    if (!::isatty(STDIN_FILENO))
        throw CliError(refusal +
                       ": standard input is not a terminal, so nothing was asked; use "
                       "--yes to go ahead without a question");
    std::fprintf(print.err, "%s [y/N] ", question.c_str());
    std::fflush(print.err);
    std::string answer;
    std::getline(std::cin, answer);
    if (answer != "y" && answer != "Y" && answer != "yes" && answer != "Yes")
        throw CliError(refusal);
}

}  // namespace quillfen::cli
