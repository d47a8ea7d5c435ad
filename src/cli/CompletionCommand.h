// "completion": the Tab completion of the shells. Hidden from the help.
//
//   quillfen completion bash|zsh|fish     prints the completion script for
//                                         the shell (installed with the
//                                         program, or loaded by hand:
//                                         `source <(quillfen completion bash)`)
//   quillfen completion complete -- WORDS...
//                                         what the scripts call at each Tab:
//                                         prints what may follow the words
//                                         (see Completer), one candidate a
//                                         line as "word<TAB>description", or
//                                         the one line ":files" or
//                                         ":directories" when the shell's own
//                                         file-name completion applies.
//
// The scripts hold no list of commands: they ask the program, so they never
// fall behind it.
#pragma once

#include <string>
#include <vector>

#include "cli/Command.h"

namespace quillfen::cli {

class CompletionCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

    // The completion script for `shell` ("bash", "zsh" or "fish").
    static std::string script(const std::string& shell);

private:
    const CLI::App* program_ = nullptr;
    std::string what_;
    std::vector<std::string> words_;
};

}  // namespace quillfen::cli
