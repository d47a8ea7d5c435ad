#include "keel/URL.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "keel/FileManager.h"

namespace fs = std::filesystem;

namespace keel {

std::optional<bool> checkIsAlias(const URL& url) {
    struct stat info {};
    if (::lstat(url.c_str(), &info) != 0) return std::nullopt;
    return S_ISLNK(info.st_mode);
}

std::optional<bool> checkIsReadAndWrite(const URL& url) {
    struct stat info {};
    if (::lstat(url.c_str(), &info) != 0) return std::nullopt;
    return ::access(url.c_str(), R_OK | W_OK) == 0;
}

std::optional<bool> checkIsOnMainDisk(const URL& url) {
    struct stat info {};
    if (::stat(url.c_str(), &info) != 0) return std::nullopt;
    struct stat root {};
    if (::stat("/", &root) == 0 && root.st_dev == info.st_dev) return true;
    struct stat home {};
    if (::stat(FileManager::noSandboxHomeURL().c_str(), &home) == 0 && home.st_dev == info.st_dev)
        return true;
    return false;
}

bool isParent(const URL& parent, const URL& url) {
    return isParentLocation(normalisedLocation(parent), normalisedLocation(url));
}

bool isFileParent(const URL& parent, const URL& url) {
    return isParentLocation(resolvedLocation(parent), resolvedLocation(url));
}

URL normalisedLocation(const URL& url) {
    std::error_code error;
    fs::path path = url.is_absolute() ? url : fs::absolute(url, error);
    if (error) path = url;
    path = path.lexically_normal();
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path;
}

URL resolvedLocation(const URL& url) {
    const fs::path normal = normalisedLocation(url);
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(normal, error);
    return error ? normal : normalisedLocation(resolved);
}

bool isParentLocation(const URL& parent, const URL& url) {
    // Both are lexically normal: no "." or ".." components, single
    // separators, no trailing one. Comparing whole components is then
    // comparing the text up to a separator.
    std::string_view p = parent.native();
    const std::string& u = url.native();
    if (p.empty()) return true;
    // "//" stays as it is in the lexically normal form, and is the root.
    if (p.find_first_not_of('/') == std::string_view::npos) p = p.substr(0, 1);
    if (u.size() < p.size() || u.compare(0, p.size(), p) != 0) return false;
    return u.size() == p.size() || p.back() == '/' || u[p.size()] == '/';
}

std::string lastPathTitle(const URL& url) {
    fs::path path = url;
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    const std::string name = path.filename().string();
    // A leading dot is part of the name, not an extension separator.
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name;
    return name.substr(0, dot);
}

std::string pathExtension(const URL& url) {
    fs::path path = url;
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

}  // namespace keel
