#include "app/ReplacedPackages.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <system_error>

#include "keel/FileManager.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

// "2026-12-08 16.05.03", so that names sort by age.
std::string dateName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H.%M.%S", &local);
    return text;
}

// A folder this type made: a date name, perhaps with " (N)" after it. Anything
// else the user put there is left alone.
bool isCopyName(const std::string& name) {
    static const std::string pattern = "0000-00-00 00.00.00";
    if (name.size() < pattern.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
        if (pattern[i] == '0' ? !digit : name[i] != pattern[i]) return false;
    }
    return true;
}

// The copy folders, oldest first.
std::vector<fs::path> copyFolders(const fs::path& folder) {
    std::vector<fs::path> folders;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (isCopyName(it->path().filename().string()) && it->is_directory(error))
            folders.push_back(it->path());
    std::sort(folders.begin(), folders.end());
    return folders;
}

}  // namespace

std::optional<fs::path> ReplacedPackages::folder() {
    const auto support = keel::FileManager::noSandboxBundleSupportDirectoryURL();
    if (!support) return std::nullopt;
    return *support / folderName;
}

std::optional<fs::path> ReplacedPackages::keep(const fs::path& package) {
    const auto where = folder();
    if (!where || !keel::FileManager::contentExists(package).exists) return std::nullopt;
    fs::create_directories(*where);
    const std::string base = dateName();
    fs::path dated = *where / base;
    for (int n = 2; !keel::FileManager::createOwnerOnlyFolder(dated); ++n)
        dated = *where / (base + " (" + std::to_string(n) + ")");
    const fs::path copy = dated / package.lexically_normal().filename();
    try {
        keel::FileManager::overwritingCopy(package, copy);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(dated, ignored);
        throw;
    }
    auto folders = copyFolders(*where);
    // Only copies older than the one just made go: a clock set back must not
    // remove the newest.
    folders.erase(std::remove(folders.begin(), folders.end(), dated), folders.end());
    while (folders.size() + 1 > kept) {
        std::error_code ignored;
        fs::remove_all(folders.front(), ignored);
        folders.erase(folders.begin());
    }
    return copy;
}

std::vector<fs::path> ReplacedPackages::copies() {
    std::vector<fs::path> result;
    const auto where = folder();
    if (!where) return result;
    auto folders = copyFolders(*where);
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        std::error_code error;
        for (fs::directory_iterator entry(*it, error), end; !error && entry != end;
             entry.increment(error))
            result.push_back(entry->path());
    }
    return result;
}

}  // namespace quillfen
