// DiffTool: compares two text files with the system's `diff` program (GNU
// diffutils, part of every Debian system) and returns its unified output.
// diff's algorithm copes with large and very different files and its output
// is the format every patch tool and pager understands, so it is used rather
// than a comparison of our own.
//
// The files are handed over already open, as descriptors 3 and 4 of the
// child, which reads them as /dev/fd/3 and /dev/fd/4: diff never resolves a
// path of ours, so a name starting with "-" or a file swapped for a link or a
// pipe after it was checked cannot reach it. The child is started directly
// (no shell) with "--" before its operands, its standard input on /dev/null,
// and its standard output and error read through one pipe. At most
// `outputLimit` bytes of output are kept: a child with more to say is
// stopped, and the output ends at its last complete line.
//
// Stateless; `unified` may run on several threads at once, each call with its
// own child.
#pragma once

#include <cstddef>
#include <string>

namespace quillfen {

class DiffTool {
public:
    struct Result {
        // Whether the files differ.
        bool differ = false;
        // The unified diff ("--- from", "+++ to", hunks); empty when the files
        // are the same.
        std::string output;
        // Whether the output was cut at `outputLimit`.
        bool truncated = false;
    };

    DiffTool() = delete;

    // Compares the regular files open as `fromFD` and `toFD` (read from
    // their start; the descriptors stay the caller's), labelled `fromLabel`
    // and `toLabel` in the output, with `contextLines` lines of context, as
    // text whatever bytes they hold. Throws std::runtime_error when diff
    // cannot be started or reports trouble, with its message.
    static Result unified(int fromFD, const std::string& fromLabel, int toFD,
                          const std::string& toLabel, int contextLines, std::size_t outputLimit);
};

}  // namespace quillfen
