// FileManager: the file conveniences the rest of Quillfen relies on.
//
// Every change these members make to the file system passes a checkpoint of
// FileSystemFaults, so that tests can make any step of it fail.
//
// Errors: the members that say "throws" throw std::filesystem::filesystem_error
// with the operating system's error; the others never throw.
// Thread safety: every member may be called from any thread.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// How `overwritingCopy` treats the parts of a folder that the user keeps out
// of its copies, and how it dates the result.
struct CopyOptions {
    CopyDurability durability = CopyDurability::flushed;
    // Entries of the source folder, as paths relative to it, that the copy
    // leaves out together with everything in them.
    std::vector<std::filesystem::path> leftOut;
    // Entries of the destination folder, as paths relative to it, that keep
    // the version the destination holds now. Before the copy takes the
    // destination's place, each is carried into it (as hard links where the
    // file system allows, else copied) instead of what the source holds
    // there; one the destination lacks is dropped from the copy. The old
    // version stays whole until the copy replaces it, so an interruption
    // never loses one.
    std::vector<std::filesystem::path> keptInDestination;
    // Whether a copied folder's own date becomes the newest date of what was
    // copied (see `overwritingCopy`), so that the folder's date tells the
    // content's age.
    bool datesFolderByNewest = false;
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
    // The same with `options`. Returns the newest modification date of what
    // was copied: a file's or link's own date, or the newest of a folder and
    // everything copied from it (as `newestModifyDate` finds it, without the
    // entries left out). Throws.
    static Date overwritingCopy(const std::filesystem::path& source,
                                const std::filesystem::path& destination,
                                const CopyOptions& options);

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

    // The date that tells a settings item's age: for a file or link its own
    // modification date; for a folder the newest of its own date and those of
    // everything in it, every level down. A folder's own date changes only
    // when entries are added, removed or renamed in it, not when a file in it
    // is edited in place, so its own date alone would miss such edits. Links
    // inside count by their own date and are never followed. The entries at
    // the relative paths `leftOut` are not looked at, nor anything in them; a
    // folder that cannot be opened counts by its own date. Nothing when there
    // is no item at `url`.
    static std::optional<Date> newestModifyDate(
        const std::filesystem::path& url, const std::vector<std::filesystem::path>& leftOut = {});
    // The same for the item at `url` whose lstat is `info`, which spares one
    // system call for a caller that has it.
    static Date newestModifyDate(const std::filesystem::path& url, const struct stat& info,
                                 const std::vector<std::filesystem::path>& leftOut = {});

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
