// CommandLine: the `quillfen` program: parses the arguments, runs one
// command through the core exactly as the windows of the application would
// (the backup manager, the open package, the viewer's rows) and prints text,
// or one JSON document with --json.
//
// Exit codes: 0 success; 1 a run finished with failed settings paths; 2 the
// command line is wrong; 3 the operation failed (its error on standard error).
#pragma once

#include <cstdio>
#include <string>

namespace quillfen::cli {

class CommandLine {
public:
    // Runs the program; returns its exit code. Output goes to the given streams.
    int run(int argc, char** argv, std::FILE* out = stdout, std::FILE* err = stderr);
};

}  // namespace quillfen::cli
