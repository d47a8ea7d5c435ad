// FileManager: the file conveniences the rest of Quillfen relies on.
//
// Every change these members make to the file system passes a checkpoint of
// FileSystemFaults, so that tests can make any step of it fail.
//
// Errors: the members that say "throws" throw std::filesystem::filesystem_error
// with the operating system's error; the others never throw.
// Thread safety: every member may be called from any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "keel/Date.h"

namespace keel {

// Whether a copy reaches the disk before it replaces its destination.
enum class CopyDurability {
    // The copy is flushed before the rename and its folder after it: after a
    // power loss the destination is entirely the old or entirely the new one.
    flushed,
    // Nothing is flushed; the caller flushes a whole batch of copies at once
    // (see `synchronizeFileSystem`) before it relies on them.
    deferred,
};

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
    // was and no half-written copy. Files and folders are created owner-only
    // and get the original's mode once complete. Throws.
    static void overwritingCopy(const std::filesystem::path& source,
                                const std::filesystem::path& destination,
                                CopyDurability durability = CopyDurability::flushed);

    // Flushes everything written to the file system that holds `url` (syncfs).
    // Throws when the flush fails: what was written may not be on the disk.
    static void synchronizeFileSystem(const std::filesystem::path& url);
    // Flushes the entries of `folder` (creations, renames, removals). Throws.
    static void synchronizeFolder(const std::filesystem::path& folder);

    // Creates the folder `url` with mode 0700 exactly; its parent must exist.
    // Returns false, changing nothing, when a folder is already there. Throws.
    static bool createOwnerOnlyFolder(const std::filesystem::path& url);

    // A hidden sibling of `destination` that no one else uses, named
    // ".qftmp-<hex>": 47 bytes whatever the destination's name, so that a
    // sibling of any file name the system allows is possible. The
    // hexadecimal part holds a short hash of the destination's name, and
    // names the computer and the process that made it.
    static std::filesystem::path temporarySibling(const std::filesystem::path& destination);
    // Whether `fileName` is such a temporary, or one of the longer form
    // ".<name>.qftmp-<hex>" that earlier versions made.
    static bool isTemporaryName(std::string_view fileName);
    // Whether `fileName` is a temporary made beside an item named `name`
    // (for the short form: one whose name hashes alike).
    static bool isTemporaryNameOf(std::string_view fileName, std::string_view name);
    // Whether `fileName` is a temporary made by a process of this computer that
    // no longer runs: a leftover of an interrupted copy that is safe to delete.
    // Temporaries of other computers (a shared package) are never such.
    static bool isAbandonedTemporaryOfThisComputer(std::string_view fileName);

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

    // Replaces `destination` with `bytes` atomically and durably: the bytes go
    // to an owner-only temporary sibling, which is flushed, given the mode of
    // the file it replaces (or 0644 less the umask), renamed over the
    // destination, and the folder is flushed. Throws, also when a flush fails.
    static void writeAtomically(const std::filesystem::path& destination, std::string_view bytes);

    // The whole content of a file. Throws.
    static std::string readWholeFile(const std::filesystem::path& url);
};

}  // namespace keel
