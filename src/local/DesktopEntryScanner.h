// DesktopEntryScanner: the applications installed on a Linux computer, found
// from the desktop entry files of the XDG applications folders, the way a
// desktop's menu finds them. Debian packages, Flatpak exports (per user and
// system-wide) and snapd's exports all land there.
//
// Rules, in order:
//  - The folders are searched in precedence order, each with its
//    subfolders. A file's desktop ID is its path inside the folder with "/"
//    replaced by "-" and without ".desktop"; the first file of an ID wins,
//    even when it hides the entry (a user's "Hidden=true" copy deletes the
//    system's entry). A file that cannot be read or is malformed claims no
//    ID.
//  - Skipped: malformed files (see DesktopEntry), entries whose "Type" is not
//    "Application", "NoDisplay=true" or "Hidden=true" entries, and entries of
//    a command-line tool the catalog offers as an executable. An entry that
//    "OnlyShowIn"/"NotShowIn" hide from the current desktop is skipped unless
//    the catalog knows it.
//  - An entry the catalog knows by its Flatpak ID, snap name or desktop ID is
//    named as the catalog names it; any other keeps its untranslated "Name",
//    and is skipped when that name holds a control character (a line break
//    written as "\n", say). Of two entries with one name, the first found is
//    kept.
//
// Symbolic links to files are followed (Flatpak exports are links); links to
// folders are not entered, so a link loop cannot trap the search.
//
// Plain functions; they read the file system and the environment only, never
// throw, and may run on any thread. `applications` reads the entries on the
// calling thread and the global queue's threads at once, and returns when all
// are read.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "local/LocalAppItem.h"

namespace quillfen {

class DesktopEntryCache;

class DesktopEntryScanner {
public:
    DesktopEntryScanner() = delete;

    // The applications folders of the environment, in precedence order:
    // "$XDG_DATA_HOME/applications" (by default "~/.local/share/applications"),
    // then "<dir>/applications" for each of $XDG_DATA_DIRS. When XDG_DATA_DIRS
    // is unset or empty (a session started without a profile), its default
    // "/usr/local/share:/usr/share" is followed by the Flatpak exports (per
    // user, then system-wide) and snapd's folder, which the profiles of a
    // desktop session add.
    static std::vector<std::filesystem::path> applicationFolders();

    // The names of the current desktop: the ":"-separated elements of
    // XDG_CURRENT_DESKTOP.
    static std::vector<std::string> currentDesktops();

    // The applications of the desktop entries in `folders`, after the rules
    // above, in precedence order, each name once. With a `cache`, the texts
    // of unchanged entries come from it, and it is saved when it changed.
    static std::vector<LocalAppItem> applications(const std::vector<std::filesystem::path>& folders,
                                                  const std::vector<std::string>& desktops,
                                                  DesktopEntryCache* cache = nullptr);
};

}  // namespace quillfen
