// FileManager: the file conveniences the rest of Quillfen relies on.
//
// Errors: the members that say "throws" throw std::filesystem::filesystem_error
// with the operating system's error; the others never throw.
// Thread safety: every member may be called from any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "keel/Date.h"

namespace keel {

struct ContentExistence {
    bool exists = false;
    bool isDirectory = false;
};

class FileManager {
public:
    // Whether something is at `url` (a symbolic link counts, even a dangling
    // one) and whether it is a directory (a link to a directory is not).
    static ContentExistence contentExists(const std::filesystem::path& url);

    // Copies `source` over whatever is at `destination`: a folder recursively,
    // keeping modification dates and permission bits, a symbolic link as a link.
    // The copy is made beside the destination under a temporary name and then
    // renamed into place, so a failure part-way leaves the old destination as it
    // was and no half-written copy. Throws.
    static void overwritingCopy(const std::filesystem::path& source,
                                const std::filesystem::path& destination);

    // The modification date of the item at `url` itself (not of a link's
    // target), or nothing when there is no item.
    static std::optional<Date> modifyDateForFile(const std::filesystem::path& url);

    // The user's real home folder: $HOME when it is set and absolute, else the
    // home folder of the password entry.
    static std::filesystem::path noSandboxHomeURL();
    static std::string noSandboxHomePath();

    // The application's support folder: "$XDG_DATA_HOME/Quillfen", by default
    // "~/.local/share/Quillfen"; nothing when no home folder is known.
    static std::optional<std::filesystem::path> noSandboxBundleSupportDirectoryURL();

    // Replaces `destination` with `bytes` atomically: the bytes go to a
    // temporary sibling that is then renamed over the destination. Throws.
    static void writeAtomically(const std::filesystem::path& destination, std::string_view bytes);

    // The whole content of a file. Throws.
    static std::string readWholeFile(const std::filesystem::path& url);
};

}  // namespace keel
