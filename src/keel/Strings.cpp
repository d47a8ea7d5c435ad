#include "keel/Strings.h"

#include "keel/FileManager.h"

namespace keel {

std::string removedPrefix(std::string_view text, std::string_view prefix) {
    if (text.starts_with(prefix)) text.remove_prefix(prefix.size());
    return std::string(text);
}

std::string abreviatingTildeInPath(std::string_view path) {
    std::string home = FileManager::noSandboxHomePath();
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    if (home.empty() || home == "/") return std::string(path);
    if (path == home) return "~";
    if (path.starts_with(home) && path.size() > home.size() && path[home.size()] == '/')
        return "~" + std::string(path.substr(home.size()));
    return std::string(path);
}

}  // namespace keel
