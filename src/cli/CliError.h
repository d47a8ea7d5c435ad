// CliError: a failure that ends a command, with the exit code to leave with
// and an optional hint for the user. Thrown inside the command line only.
#pragma once

#include <stdexcept>
#include <string>

namespace quillfen::cli {

enum ExitCode : int {
    exitSuccess = 0,
    exitFailedPaths = 1,  // a run finished, but some settings paths failed
    exitUsage = 2,        // the command line itself is wrong
    exitFailure = 3,      // the operation failed
};

class CliError : public std::runtime_error {
public:
    CliError(const std::string& message, int exitCode = exitFailure, std::string hint = {})
        : std::runtime_error(message), exitCode_(exitCode), hint_(std::move(hint)) {}

    int exitCode() const { return exitCode_; }
    const std::string& hint() const { return hint_; }

private:
    int exitCode_;
    std::string hint_;
};

}  // namespace quillfen::cli
