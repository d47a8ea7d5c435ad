// The diff command: for each settings path that a synchronize would back up
// or install, the difference between the package's copy and the local file,
// as a unified diff from the side the synchronize would replace to the side
// that would replace it. Exits 1 when some paths could not be compared, 3
// for a name that is no item of the package.
#pragma once

#include <string>

#include "cli/Command.h"

namespace quillfen::cli {

class DiffCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

    // `text` with the control characters other than tab and newline shown as
    // "^X" (DEL as "^?"), so that a file's bytes cannot drive the terminal.
    static std::string visible(const std::string& text);

private:
    std::string item_;
    int contextLines_ = 3;
};

}  // namespace quillfen::cli
