#include "sync/PathConverter.h"

#include <sys/stat.h>

#include <cstdlib>
#include <system_error>

#include "keel/FileManager.h"

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

}  // namespace

keel::URL PathConverter::url(const std::string& forPath) {
    if (forPath.starts_with('/')) return fs::path(forPath);
    std::string location = homePath();
    if (forPath.empty()) return fs::path(std::move(location));
    // The same as `home / forPath`, but the path object is built (and its
    // components split) once instead of three times.
    if (!location.empty() && location != "/") location += '/';
    location += forPath;
    return fs::path(std::move(location));
}

std::string PathConverter::path(const keel::URL& url) {
    std::string path = url.string();
    if (url.is_relative()) {
        std::error_code error;
        const fs::path absolute = fs::absolute(url, error);
        if (!error) path = absolute.string();
    }
    const std::string home = homePath();
    if (path == home) return {};
    if (home == "/") return path.starts_with('/') ? path.substr(1) : path;
    if (path.size() > home.size() && path.starts_with(home) && path[home.size()] == '/')
        return path.substr(home.size() + 1);
    return path;
}

keel::URL PathConverter::resolvedURL(const keel::URL& url) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(url, error))) return url;

    // The location the system reaches through every link on the way; nothing
    // when the chain leads nowhere or loops.
    const auto physical = [&url]() -> keel::URL {
        std::error_code error;
        const fs::path resolved = fs::canonical(url, error);
        return error ? url : resolved;
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

std::set<std::string> PathConverter::normalizedPaths(const std::vector<std::string>& paths) {
    std::set<std::string> result;
    for (const auto& settingsPath : paths)
        result.insert(path(resolvedURL(url(settingsPath))));
    return result;
}

}  // namespace quillfen
