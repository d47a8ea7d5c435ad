#include "local/TemporaryLeftovers.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <system_error>

#include "keel/FileManager.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

const std::string marker = ".qftmp-";

}  // namespace

bool TemporaryLeftovers::isTemporaryOf(const std::string& fileName, const std::string& name) {
    return keel::FileManager::isTemporaryNameOf(fileName, name);
}

bool TemporaryLeftovers::isOlderThan(const fs::path& url, std::chrono::seconds age) {
    struct stat info {};
    if (::lstat(url.c_str(), &info) != 0) return false;
    return std::time(nullptr) - info.st_ctim.tv_sec > age.count();
}

std::vector<fs::path> TemporaryLeftovers::removeFor(const fs::path& url) {
    const fs::path folder = url.parent_path();
    const std::string name = url.filename().string();
    std::vector<fs::path> removed;
    std::lock_guard lock(mutex_);
    auto found = listings_.find(folder);
    if (found == listings_.end()) {
        // Only the temporaries are remembered: a folder of thousands of
        // settings files costs one listing and no memory for the rest.
        std::vector<std::string> temporaries;
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (dirent* entry = ::readdir(dir)) {
                const std::string_view entryName = entry->d_name;
                if (entryName.size() > 1 && entryName[0] == '.' &&
                    entryName.find(marker) != std::string_view::npos)
                    temporaries.emplace_back(entryName);
            }
            ::closedir(dir);
        }
        found = listings_.emplace(folder, std::move(temporaries)).first;
    }
    auto& temporaries = found->second;
    for (auto it = temporaries.begin(); it != temporaries.end();) {
        const fs::path candidate = folder / *it;
        if (!isTemporaryOf(*it, name) ||
            !(keel::FileManager::isAbandonedTemporaryOfThisComputer(*it) ||
              isOlderThan(candidate, age_))) {
            ++it;
            continue;
        }
        std::error_code error;
        fs::remove_all(candidate, error);
        if (!error) removed.push_back(candidate);
        it = temporaries.erase(it);
    }
    return removed;
}

}  // namespace quillfen
