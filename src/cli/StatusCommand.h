// The status command: the package's items with what a synchronize would do,
// its note and history, and what to look at in the package.
#pragma once

#include "cli/Command.h"

namespace quillfen::cli {

class StatusCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    bool all_ = false;
    bool verbose_ = false;
};

}  // namespace quillfen::cli
