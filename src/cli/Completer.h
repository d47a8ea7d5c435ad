// Completer: what may follow on a `quillfen` command line, read from the
// program's own parser, so that the shells' Tab completion always knows the
// commands, options and values that the program accepts.
//
// The completer walks the words typed so far as the parser would: global
// options and their values, the command, the command's options and values,
// and its positional arguments in order. For the word being typed it offers:
// - after an option that takes a value, or at a positional argument, the
//   value's choices when the parser checks them against a set ("{a,b}"),
//   file names for a PATH or FILE (or an argument named path, paths, file,
//   files), folder names for a DIR, and the catalog's names for an argument
//   named name or names: its applications or executables when the argument
//   before it is a kind ("app", "exec"), file names when that kind is
//   "file"; for an argument named item, file names once the word looks
//   like a path (it begins with ".", "/" or "~", or holds a "/"), the
//   catalog's names otherwise;
// - commands, where a command may stand;
// - options, when the word begins with "-" (the command's and the global
//   ones; hidden ones never), and none after "--".
// Hidden commands and options (an empty group) are never offered.
//
// Thread safety: reads the parser only; one thread at a time.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

namespace quillfen::cli {

struct Completion {
    enum class Kind { words, files, directories };
    Kind kind = Kind::words;
    // The candidates that begin with the word being typed, with their
    // descriptions (possibly empty), in the parser's order.
    std::vector<std::pair<std::string, std::string>> words;
};

class Completer {
public:
    // `program` must outlive the completer.
    explicit Completer(const CLI::App& program) : program_(program) {}

    // `words`: the words after the program's name; the last one is the word
    // being typed (empty when a new word begins). Never throws for any
    // words.
    Completion complete(const std::vector<std::string>& words) const;

private:
    const CLI::App& program_;
};

}  // namespace quillfen::cli
