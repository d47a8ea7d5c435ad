#include "keel/URL.h"

#include <sys/stat.h>
#include <unistd.h>

#include "keel/FileManager.h"

namespace fs = std::filesystem;

namespace keel {

namespace {

// The absolute, lexically normal form, without a trailing empty component.
fs::path normalised(const URL& url) {
    std::error_code error;
    fs::path path = url.is_absolute() ? url : fs::absolute(url, error);
    if (error) path = url;
    path = path.lexically_normal();
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path;
}

bool componentsStartWith(const fs::path& path, const fs::path& prefix) {
    auto p = path.begin();
    for (auto q = prefix.begin(); q != prefix.end(); ++q, ++p) {
        if (p == path.end() || *p != *q) return false;
    }
    return true;
}

}  // namespace

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
    return componentsStartWith(normalised(url), normalised(parent));
}

bool isFileParent(const URL& parent, const URL& url) {
    std::error_code error;
    const fs::path resolvedParent = fs::weakly_canonical(normalised(parent), error);
    const fs::path p = error ? normalised(parent) : resolvedParent;
    const fs::path resolvedURL = fs::weakly_canonical(normalised(url), error);
    const fs::path u = error ? normalised(url) : resolvedURL;
    return componentsStartWith(normalised(u), normalised(p));
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
