// Process: runs one program (the command line, or a system tool the figures
// are compared with) the way a shell would, and reports how it went: exit
// status, wall-clock time from start to exit, and peak resident memory.
//
// The program is started directly (no shell), in a given folder and with a
// given environment; its standard input is /dev/null and its output goes to
// a log file, so that a failing baseline can be looked into afterwards.
//
// Errors: a program that cannot be started throws std::system_error; the
// program's own failure is in `status`.
// Threads: plain functions; call them from one thread at a time.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillfen::bench {

struct ProcessResult {
    // The exit status, or 128 + the signal that ended the program.
    int status = 0;
    double seconds = 0;
    // Peak resident set size of the program (not of its own children), when
    // asked for; 0 otherwise.
    long maxResidentKiB = 0;
};

struct ProcessSpec {
    std::vector<std::string> arguments;  // arguments[0] is looked up in PATH
    std::filesystem::path directory;     // empty: the current folder
    // "NAME=value" entries replacing those of this process; the rest is
    // inherited.
    std::vector<std::string> environment;
    std::filesystem::path log;  // standard output and error are appended here
    // Runs the program under /usr/bin/time to learn its peak memory. A child
    // of this process would report this process's own peak as well: until it
    // starts the program it shares (or copies) this process's memory, and the
    // kernel keeps that mark across the exec. The time then includes starting
    // /usr/bin/time, about a millisecond.
    bool measureMemory = false;
};

ProcessResult runProcess(const ProcessSpec& spec);

}  // namespace quillfen::bench
