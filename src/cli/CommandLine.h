// CommandLine: the `quillfen` program: parses the arguments, runs the one
// command named through the core exactly as the windows of the application
// would (the backup manager, the open package, the viewer's rows) and prints
// text, or one JSON document with --json. The commands themselves are added
// by the caller (see main.cpp).
//
// Exit codes: 0 success; 1 a run finished with failed settings paths; 2 the
// command line is wrong; 3 the operation failed (its error on standard error).
#pragma once

#include <cstdio>
#include <memory>
#include <vector>

#include "cli/Command.h"

namespace quillfen::cli {

class CommandLine {
public:
    // Adds a command; --help lists the commands in the order they were added.
    void add(std::unique_ptr<Command> command);

    // Runs the program; returns its exit code. Output goes to the given streams.
    int run(int argc, char** argv, std::FILE* out = stdout, std::FILE* err = stderr);

private:
    std::vector<std::unique_ptr<Command>> commands_;
};

}  // namespace quillfen::cli
