// SettingsDiff: what a synchronize would change, file by file, before it
// runs. For every settings path whose state is `backUp` or `install` it
// compares the package's copy with the local content: text files as a
// unified diff (through DiffTool), other files by their sizes, folders entry
// by entry. Each diff runs from the side a synchronize would replace to the
// side that would replace it: from the package's copy to the local file for
// `backUp`, from the local file to the package's copy for `install`, and its
// labels say which is which ("package/.bashrc", "local/.bashrc").
//
// Both sides are read as the runs read them: the local content through a
// link that a back-up follows (SettingsLink), the entries excluded inside a
// folder left out, links inside a folder compared as links and never
// followed, the copy only inside the package. A copy that is itself a link,
// and files that are neither regular files, folders nor links, are never
// opened.
//
// Threads: `targets` is a plain function of the entries it is given. `compare`
// reads the package's records through its serial queue (so never call it on
// that queue) and the files while the caller holds the package's lock; it
// may run on any other thread. It changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/BackupAppEntry.h"
#include "app/BackupExecEntry.h"
#include "app/BackupFileEntry.h"
#include "backup/SyncAction.h"
#include "catalog/ItemKind.h"

namespace quillfen {

class BackupFile;
class LocalResources;

class SettingsDiff {
public:
    // A name that is neither an item of the package nor a settings path of
    // one, as a sentence for the user.
    class Refusal : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // One settings path to compare.
    struct Target {
        ItemKind kind = ItemKind::file;
        // The application or executable name, or the custom file's path.
        std::string item;
        std::string path;
        // backUp or install.
        SyncAction state = SyncAction::backUp;
        // The item's switch: a run leaves an item that is off alone.
        bool enabled = true;
        friend bool operator==(const Target&, const Target&) = default;
    };

    // One file (or, for a settings path that is a file, the path itself)
    // whose two sides differ.
    struct Change {
        enum class Kind {
            text,    // `diff` holds the unified diff
            binary,  // not text, or too large to show: the sizes tell
            other,   // `description` says how the sides differ
        };
        // The settings path, followed inside a folder by "/" and the entry's
        // path relative to it.
        std::string path;
        Kind kind = Kind::text;
        std::string diff;
        // Whether `diff` was cut at the output limit.
        bool truncated = false;
        // The sizes in bytes of a binary file; absent where that side has none.
        std::optional<std::uintmax_t> packageSize;
        std::optional<std::uintmax_t> localSize;
        // A sentence ("a folder in the package, a file here").
        std::string description;
    };

    struct PathDiff {
        Target target;
        // In byte order of path; empty when both sides hold the same content
        // (only their dates differ).
        std::vector<Change> changes;
        // Why the path could not be compared; no changes then.
        std::optional<std::string> error;
    };

    struct Options {
        int contextLines = 3;
        // The most diff text kept per file.
        std::size_t outputLimit = 1024 * 1024;
        // Larger files are compared byte by byte and reported by size.
        std::uintmax_t textLimit = 16 * 1024 * 1024;
    };

    // The paths to compare, in the entries' order (applications, executables,
    // files). Without `name`: the paths of every recorded item that is on.
    // With it: the paths of the recorded application or executable of that
    // name, or of the custom file it names (relative to the home folder or
    // absolute), or the settings path of a recorded item it names, whether the
    // item is on or off. Throws Refusal for a name that is none of these.
    static std::vector<Target> targets(const std::vector<BackupAppEntry>& apps,
                                       const std::vector<BackupExecEntry>& execs,
                                       const std::vector<BackupFileEntry>& files,
                                       const std::optional<std::string>& name);

    // Throws std::invalid_argument for a null file.
    SettingsDiff(std::shared_ptr<BackupFile> file, const LocalResources& local, Options options);

    // Compares the two sides of `target.path`. Never throws for a path that
    // cannot be compared: the reason is in `error`.
    PathDiff compare(const Target& target) const;

    // The label of a side in a diff: "package/" or "local/" before a relative
    // settings path, "package:" or "local:" before an absolute one.
    static std::string label(bool package, const std::string& path);

private:
    std::shared_ptr<BackupFile> file_;
    const LocalResources& local_;
    Options options_;
};

}  // namespace quillfen
