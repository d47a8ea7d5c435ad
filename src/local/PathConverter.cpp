#include "local/PathConverter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <system_error>

#include "keel/FileManager.h"
#include "local/PathStatuses.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

// The home folder without trailing separators, so that "/home/me" and
// "/home/me/" give the same settings paths; "/" stays "/".
//
// Every settings path of every item comes through here, several times per
// run or list rebuild, so the common case, an absolute $HOME, is read as a
// string; going through the file manager's path object costs more than the
// file-system call the path is then used for. Any other case is the file
// manager's to decide.
std::string homePath() {
    const char* variable = std::getenv("HOME");
    std::string home = variable && variable[0] == '/' ? std::string(variable)
                                                      : keel::FileManager::noSandboxHomePath();
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home;
}

bool sameItem(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// More links than this in one chain is taken for a loop, as the system does.
constexpr int kMaxLinks = 40;

// The location of `forPath` as a string, with the home folder `home` as read
// by homePath().
std::string locationOf(const std::string& forPath, const std::string& home) {
    if (forPath.starts_with('/')) return forPath;
    if (forPath.empty()) return home;
    std::string location;
    location.reserve(home.size() + 1 + forPath.size());
    location += home;
    if (!home.empty() && home != "/") location += '/';
    location += forPath;
    return location;
}

// The settings path of the absolute location `location`, with the home
// folder `home` as read by homePath().
std::string settingsPathOf(const std::string& location, const std::string& home) {
    if (location == home) return {};
    if (home == "/") return location.starts_with('/') ? location.substr(1) : location;
    if (location.size() > home.size() && location.starts_with(home) && location[home.size()] == '/')
        return location.substr(home.size() + 1);
    return location;
}

}  // namespace

keel::URL PathConverter::url(const std::string& forPath) {
    // Built from the finished string, so that the path object splits its
    // components once.
    return fs::path(locationOf(forPath, forPath.starts_with('/') ? std::string() : homePath()));
}

std::string PathConverter::path(const keel::URL& url) {
    std::string path = url.string();
    if (url.is_relative()) {
        std::error_code error;
        const fs::path absolute = fs::absolute(url, error);
        if (!error) path = absolute.string();
    }
    return settingsPathOf(std::move(path), homePath());
}

keel::URL PathConverter::resolvedURL(const keel::URL& url) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(url, error))) return url;

    // The location the system reaches through every link on the way; nothing
    // when the chain leads nowhere or loops.
    const auto physical = [&url]() -> keel::URL {
        std::error_code canonicalError;
        const fs::path resolved = fs::canonical(url, canonicalError);
        return canonicalError ? url : resolved;
    };

    // Follow the chain by hand so that the result keeps the folders as they
    // were named: the home folder may itself sit behind a link, and a target
    // inside it must still read as a path inside it.
    fs::path current = url;
    for (int hop = 0;; ++hop) {
        if (hop == kMaxLinks) return url;
        const fs::path target = fs::read_symlink(current, error);
        if (error) return url;
        current =
            (target.is_absolute() ? target : current.parent_path() / target).lexically_normal();
        if (!current.has_filename() && current.has_relative_path()) current = current.parent_path();
        const fs::file_status status = fs::symlink_status(current, error);
        // Dropping ".." by hand is wrong after a folder that is itself a link;
        // the system's answer decides then.
        if (error || !fs::exists(status)) return physical();
        if (!fs::is_symlink(status)) break;
    }

    struct stat linked {};
    struct stat reached {};
    if (::stat(url.c_str(), &linked) != 0) return url;
    if (::stat(current.c_str(), &reached) != 0 || !sameItem(linked, reached)) return physical();
    const fs::path absolute = fs::absolute(current, error);
    return error ? url : absolute;
}

std::vector<std::string> PathConverter::normalizedPathList(const std::vector<std::string>& paths,
                                                           PathStatuses* statuses) {
    const std::string home = homePath();
    std::vector<std::string> result;
    result.reserve(paths.size());
    for (const auto& settingsPath : paths) {
        std::string location = locationOf(settingsPath, home);
        // Only a link needs the path objects and the walk of resolvedURL; any
        // other location, present or not, is its own resolution.
        const PathStatuses::Status status = PathStatuses::lstatOf(location);
        if (status.exists && S_ISLNK(status.info.st_mode)) {
            result.push_back(path(resolvedURL(fs::path(location))));
        } else if (!location.starts_with('/')) {
            result.push_back(path(fs::path(location)));
        } else {
            result.push_back(settingsPathOf(location, home));
        }
        if (statuses) statuses->remember(std::move(location), status);
    }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

std::set<std::string> PathConverter::normalizedPaths(const std::vector<std::string>& paths,
                                                     PathStatuses* statuses) {
    std::vector<std::string> list = normalizedPathList(paths, statuses);
    return {std::make_move_iterator(list.begin()), std::make_move_iterator(list.end())};
}

}  // namespace quillfen
