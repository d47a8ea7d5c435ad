// PathConverter: conversions between settings paths and locations on disk.
//
// A settings path names a settings file or folder relative to the user's real
// home folder, without a leading "/" (".config/robomongo"); a location outside
// the home folder keeps its absolute path ("/etc/hosts"). Converting a settings
// path to a location and back gives the same string, whatever the form of the
// home folder (with or without a trailing "/"); the home folder itself is the
// empty settings path.
//
// Aliases are symbolic links here: `resolvedURL` follows a link at the final
// component to the item it finally names, so that settings kept elsewhere
// (a folder linked into a synced drive) are known by where they really are.
//
// No state; nothing throws; every function may be called from any thread.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "keel/URL.h"

namespace quillfen {

class PathStatuses;

class PathConverter {
public:
    PathConverter() = delete;

    // The absolute location of a settings path: under the home folder for a
    // relative path, the path itself for an absolute one.
    static keel::URL url(const std::string& forPath);

    // The settings path of a location: relative to the home folder when it
    // lies inside it, the absolute path otherwise. A relative location is
    // first made absolute against the working folder.
    static std::string path(const keel::URL& url);

    // When `url` is a symbolic link (only its final component is examined),
    // the absolute location of the item at the end of its chain of links;
    // otherwise, or when the chain leads nowhere or loops, `url` unchanged.
    static keel::URL resolvedURL(const keel::URL& url);

    // The settings paths of `paths`, each converted to its location, resolved
    // and converted back. What lstat said of each location is recorded in
    // `statuses` when given.
    static std::set<std::string> normalizedPaths(const std::vector<std::string>& paths,
                                                 PathStatuses* statuses = nullptr);
    // The same as a list in ascending byte order, without duplicates.
    static std::vector<std::string> normalizedPathList(const std::vector<std::string>& paths,
                                                       PathStatuses* statuses = nullptr);
};

}  // namespace quillfen
