// SyncPathsFinder: the settings paths that stand for one item of a backup (an
// application, an executable or a custom file), found on demand.
//
// An application's paths are the catalog's paths for this platform (see
// SyncConfiguration::pathsOn), each resolved through symbolic links, without
// duplicates, in byte order (which is code-point order for UTF-8). For an
// installed bundle they also hold the same paths inside its sandbox container
// and its group containers. An installed Flatpak or snap finds the catalog's
// paths inside its sandbox instead, once that sandbox's folder exists on this
// computer (a Flatpak's ".var/app/<id>", a snap's "snap/<name>/current"): a
// Flatpak's ".config/X" is ".var/app/<id>/config/X", its ".local/share/X"
// ".var/app/<id>/data/X", its other dotfiles (not caches) lie in
// ".var/app/<id>"; a snap keeps every dotfile in "snap/<name>/current". So a
// computer backs up and installs each application where it really keeps its
// settings, and one where it is a Flatpak never writes into the native
// location (nor the reverse). An executable's paths are its catalog paths for
// this platform exactly as listed. A custom file is its own single path.
//
// A plain value; building one reads the immutable catalog, the installed
// applications and the file system, and may run on several threads at once.
// Nothing fails: an application that is not installed adds no container
// paths, and a name the catalog does not know gets the catalog's fall-back.
// A bundle identifier, group container, Flatpak ID or snap name that is not
// one plain folder name (empty, ".", "..", or holding "/" or a control
// character) adds or changes no paths.
#pragma once

#include <string>
#include <vector>

#include "catalog/ItemKind.h"

namespace quillfen {

class LocalResources;
class PathStatuses;

struct SyncPathsFinder {
    // The application name, executable name or custom file's settings path,
    // as given (not the catalog's name for it).
    std::string identifier;
    std::vector<std::string> paths;

    // With the applications of `LocalResources::shared()`.
    static SyncPathsFinder forApp(const std::string& name);
    static SyncPathsFinder forApp(const std::string& name, const LocalResources& installed);
    // The same, recording in `statuses` what the system said of each location
    // looked at, for the item's path states to reuse (see PathStatuses).
    static SyncPathsFinder forApp(const std::string& name, const LocalResources& installed,
                                  PathStatuses& statuses);

    static SyncPathsFinder forExec(const std::string& name);
    static SyncPathsFinder forExec(const std::string& name, const LocalResources& installed);

    static SyncPathsFinder forFile(const std::string& path);

    // The paths of the item of `kind` keyed `key`, with the applications of
    // `LocalResources::shared()`.
    static SyncPathsFinder forItem(ItemKind kind, const std::string& key);

    // Every settings path the item may have on any computer that shares the
    // package: this computer's paths, the catalog's paths for a Mac and for
    // Linux, and the Linux paths inside every Flatpak and snap sandbox the
    // catalog knows the application by. Removing an item drops the copies of
    // all of them, so that nothing of it stays behind in the package for
    // another computer to find. In byte order, without duplicates.
    static std::vector<std::string> forEveryComputer(ItemKind kind, const std::string& key);

    friend bool operator==(const SyncPathsFinder&, const SyncPathsFinder&) = default;

private:
    static SyncPathsFinder appPaths(const std::string& name, const LocalResources& installed,
                                    PathStatuses* statuses);
};

}  // namespace quillfen
