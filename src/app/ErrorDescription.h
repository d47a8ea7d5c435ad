// ErrorDescription: what a front end tells the user about an error a process
// ended with: the error's own text, then the reasons nested in it, outermost
// first. An error about a package names the package, unless one of the
// reasons already does, so that the user knows which package and why.
//
// Pure functions of their argument; safe on any thread; they never throw.
#pragma once

#include <exception>
#include <string>
#include <vector>

namespace quillfen {

class ErrorDescription {
public:
    ErrorDescription() = delete;

    // One line for the error and each reason nested in it; for an error
    // about a package, the first reason is prefixed with "<package>: ", or
    // the package is a line of its own when there is no reason. Empty for a
    // null `error`.
    static std::vector<std::string> lines(const std::exception_ptr& error);

    // The failure of one settings path in a run, as a person reads it: the
    // failure's text, then for each reason nested in it one line. A file-system
    // error becomes its cause, its path and its direction,
    // "Permission denied: /home/ada/.config/fish (reading)" (a temporary file
    // of ours is named by its folder), and as the first line it reads
    // "Could not be read." or "Could not be written.". Empty for a null `error`.
    static std::vector<std::string> pathFailureLines(const std::exception_ptr& error);

    // The lines joined by `separator`.
    static std::string text(const std::exception_ptr& error, const std::string& separator);
};

}  // namespace quillfen
