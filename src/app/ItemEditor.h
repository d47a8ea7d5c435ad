// ItemEditor: the user's edits of the items a package keeps (record, remove,
// switch on or off) with the rules every front end applies to them: which
// names are known applications or executables, which files may be recorded
// as custom files, and that names and notes are text the package can hold.
// A window and the command line give the same answers for the same reasons.
//
// An edit of several items applies what it can and reports the rest, each
// with a sentence for the user ("<name as given>: <why>"), in the order given.
// Names are matched as CatalogLookup matches them: "git" adds "Git", an alias
// adds its catalog name, and a name the package records is found whatever
// its case. A name of the other kind is refused as such, and an unknown name
// is refused with the nearest known names.
// Edits change the open package in memory; the caller saves it.
//
// Threads: the edits go through the BackupFile's operations, which run on the
// file's serial queue; never call them from that queue. The rules alone (the
// static functions) read the immutable catalog, the installed applications
// and the file system, and may run on any thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalog/CatalogLookup.h"
#include "catalog/ItemKind.h"

namespace quillfen {

class BackupFile;

class ItemEditor {
public:
    // What an edit did: how many of the given items it applied, and why it
    // left the others.
    struct Outcome {
        std::size_t applied = 0;
        std::vector<std::string> refused;
        // What the user should know about items it applied, one sentence
        // each ("<name as given>: ...").
        std::vector<std::string> notices;
        // The names refused because they are of the other kind ("Fish" given
        // as an executable is an application), so that a front end can offer
        // the edit of the right kind; each is among `refused` too.
        std::vector<std::pair<std::string, CatalogName>> otherKind;
    };

    // The note the notes editor offers to start from.
    static const std::string exampleNote;

    // Throws std::invalid_argument for a null file.
    explicit ItemEditor(std::shared_ptr<BackupFile> file);

    // Records each item enabled, keeping the comment of a record already
    // there. An application must be known (see `isKnownApplication`), an
    // executable must be in the catalog, and a custom file (see
    // `customFileLocation`) must be one `fileRefusal` accepts; names and paths
    // must be UTF-8. A custom file that a recorded application or executable
    // covers too (the same path, or one inside its settings folder) is
    // recorded with a notice naming that item.
    Outcome add(ItemKind kind, const std::vector<std::string>& names);

    // The recorded applications and executables among whose settings paths
    // `path` is, or lies inside one, as "the application <name>" or "the
    // executable <name>".
    std::vector<std::string> coveringItems(const std::string& path) const;

    // Removes the items among `names` the package records, with the data
    // copies of their settings paths; the others are refused as not in the
    // package.
    Outcome remove(ItemKind kind, const std::vector<std::string>& names);

    // Switches applications or executables on or off. A name the package does
    // not record yet is recorded when it is known (and, for an application,
    // UTF-8); a custom file goes through the rules of `add`.
    Outcome setEnabled(ItemKind kind, const std::vector<std::string>& names, bool enabled);

    // A name of the catalog that is no executable, one of its aliases, or an
    // installed application, spelt exactly.
    static bool isKnownApplication(const std::string& name);
    // A command-line tool or system setting of the catalog, spelt exactly.
    static bool isKnownExecutable(const std::string& name);

    // The location a custom file given by the user names: relative to the
    // home folder unless absolute, normalized, without a trailing "/".
    static std::filesystem::path customFileLocation(const std::string& given);
    // Why the file or folder at `location` cannot be recorded as a custom file
    // of the package at `packageURL`: it is missing, not on the main disk, the
    // home folder or a folder around it, or the package, a folder in it or
    // around it. Nothing when it can.
    static std::optional<std::string> fileRefusal(const std::filesystem::path& location,
                                                  const std::filesystem::path& packageURL);

    // Whether the package can hold `text` as a name, a path or a note: its
    // files are JSON, which holds UTF-8 only, so anything else would be
    // stored altered.
    static bool isStorableText(std::string_view text);

private:
    std::shared_ptr<BackupFile> file_;
};

}  // namespace quillfen
