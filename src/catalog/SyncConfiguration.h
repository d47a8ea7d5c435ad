// SyncConfiguration: one entry of the app catalog, an application's or
// command-line tool's name with the settings paths that belong to it. The
// catalog is compiled into the program (see catalog/data/Catalog.txt) and
// never changes while it runs; it tells where 489 known applications and tools
// keep their settings, so that the user never has to say so.
//
// Settings paths are relative to the user's real home folder and written
// without a leading "/" ("Library/Preferences/com.noodlesoft.Hazel.plist",
// ".config/robomongo"). An entry's paths are what a Mac uses; many entries
// also know where the application keeps its settings on Linux (see
// catalog/data/Linux.txt), which a Linux computer uses instead.
//
// Thread safety: an entry is a plain value. The catalog tables (`catalog`,
// `catalogByName`, `nameAliases`, `execNames`) are built once, on first use
// from any thread, and only read afterwards; the references they return stay
// valid for the life of the process. `configuration` may be called from any
// thread.
//
// JSON: {"name": string, "paths": [string]}, with "linuxPaths": [string]
// when the entry has Linux paths. Decoding throws BackupDecodingError for a
// value that is not such an object.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "catalog/SettingsPlatform.h"

namespace quillfen {

class LocalResources;

struct SyncConfiguration {
    // Compared exactly: case and blanks matter.
    std::string name;
    // In the order the catalog lists them; never holds a string that begins
    // with "#".
    std::vector<std::string> paths;
    // Where the application keeps its settings on Linux, in the order the
    // catalog lists them; empty when the catalog knows no Linux locations
    // for it (its `paths` then serve Linux too).
    std::vector<std::string> linuxPaths;

    SyncConfiguration() = default;
    // Keeps the paths in order but drops every string that begins with "#":
    // the catalog keeps notes among an entry's paths.
    SyncConfiguration(std::string entryName, std::vector<std::string> entryPaths,
                      std::vector<std::string> entryLinuxPaths = {});

    // The settings paths a computer of `platform` uses: on Linux the Linux
    // paths, or `paths` when there are none; on a Mac `paths`.
    const std::vector<std::string>& pathsOn(SettingsPlatform platform) const;

    // Every entry, in catalog order. One name ("iStat Menus") occurs twice.
    static const std::vector<SyncConfiguration>& catalog();
    // The entries by name. Of two entries with the same name, the later one
    // in the catalog is kept (see the source for why).
    static const std::unordered_map<std::string, SyncConfiguration>& catalogByName();
    // The names under which some applications are installed (such as "Adobe
    // Photoshop CC 2018"), mapped to the catalog name to use for them.
    static const std::unordered_map<std::string, std::string>& nameAliases();
    // The names of the entries that are command-line tools or system
    // settings rather than applications, in their compiled order.
    static const std::vector<std::string>& execNames();

    // The entry to use for an application or tool name. Never fails:
    //  1. an alias name is replaced by its catalog name, and the catalog's
    //     entry for the name is returned unchanged (named as in the catalog);
    //  2. otherwise, for an installed application (looked up by the name as
    //     given): of a bundle with identifier B, an entry named `name` whose
    //     only path is "Library/Preferences/" + B + ".plist"; of a Flatpak
    //     with application ID I, the sandbox's settings folder
    //     ".var/app/" + I + "/config"; of a snap named S, the snap's
    //     ".config", "snap/" + S + "/current/.config";
    //  3. otherwise an entry named `name` with no paths (so a program
    //     installed in the system's way that the catalog does not know).
    // An identifier that is not a plain file name (empty, ".", "..", holding
    // "/", a NUL or another control character) is never turned into a path:
    // it comes from a file that any installed application controls, and such
    // a path could point outside the folder meant. The applications come
    // from `LocalResources::shared()` and are read at every call.
    static SyncConfiguration configuration(const std::string& name);
    // The same, with the installed applications of `installed`.
    static SyncConfiguration configuration(const std::string& name,
                                           const LocalResources& installed);

    friend bool operator==(const SyncConfiguration&, const SyncConfiguration&) = default;
};

void to_json(nlohmann::json& json, const SyncConfiguration& configuration);
// Goes through the constructor, so "#" strings are dropped here as well.
void from_json(const nlohmann::json& json, SyncConfiguration& configuration);

}  // namespace quillfen
