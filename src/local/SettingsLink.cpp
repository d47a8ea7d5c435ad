#include "local/SettingsLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "keel/FileManager.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

std::string quoted(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

}  // namespace

keel::URL SettingsLink::contentLocation(const keel::URL& location) {
    struct stat info {};
    if (::lstat(location.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return location;

    std::error_code error;
    const fs::path target = fs::canonical(location, error);
    if (error) {
        if (error == std::errc::too_many_symbolic_link_levels)
            throw Refusal("It is a symbolic link that leads round in a circle.");
        std::error_code readError;
        const fs::path text = fs::read_symlink(location, readError);
        throw Refusal("It is a symbolic link to " + quoted(readError ? location : text) +
                      ", which does not exist.");
    }
    const fs::path home = keel::FileManager::noSandboxHomeURL();
    fs::path resolvedHome = fs::canonical(home, error);
    if (error) resolvedHome = home.lexically_normal();
    if (target == resolvedHome || !keel::isParent(resolvedHome, target))
        throw Refusal("It is a symbolic link to " + quoted(target) +
                      ", which is outside the home folder; only links to files and folders "
                      "inside it are followed.");
    struct stat reached {};
    if (::stat(target.c_str(), &reached) != 0)
        throw Refusal("It is a symbolic link to " + quoted(target) + ", which does not exist.");
    if (reached.st_uid != ::geteuid())
        throw Refusal("It is a symbolic link to " + quoted(target) +
                      ", which belongs to another user.");
    if (!S_ISREG(reached.st_mode) && !S_ISDIR(reached.st_mode))
        throw Refusal("It is a symbolic link to " + quoted(target) +
                      ", which is neither a file nor a folder.");
    return target;
}

std::optional<keel::URL> SettingsLink::followedLocation(const keel::URL& location) noexcept {
    try {
        return contentLocation(location);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace quillfen
