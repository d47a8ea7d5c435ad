#include "backup/PackageInspector.h"

#include <algorithm>
#include <system_error>

#include "keel/FileManager.h"
#include "keel/FinderOrder.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

constexpr std::string_view kJSONSuffix = ".json";

std::string baseName(const std::string& fileName) {
    return fileName.substr(0, fileName.size() - kJSONSuffix.size());
}

}  // namespace

const std::vector<std::string>& PackageInspector::listFileNames() {
    static const std::vector<std::string> names{"Apps.json",    "Execs.json", "Files.json",
                                                "History.json", "Data.json",  "Notes.json"};
    return names;
}

bool PackageInspector::isConflictCopyName(const std::string& name) {
    const auto& lists = listFileNames();
    if (std::find(lists.begin(), lists.end(), name) != lists.end()) return false;
    if (name.size() <= kJSONSuffix.size() || !name.ends_with(kJSONSuffix)) return false;
    return std::any_of(lists.begin(), lists.end(),
                       [&](const std::string& list) { return name.starts_with(baseName(list)); });
}

std::vector<std::string> PackageInspector::conflictCopies(const keel::URL& packageURL) {
    std::vector<std::string> names;
    std::error_code error;
    // A package that is a link to a folder is listed through the link, as
    // reading it goes through the link too.
    fs::directory_iterator entries(packageURL, error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        std::string name = entries->path().filename().string();
        if (isConflictCopyName(name)) names.push_back(std::move(name));
    }
    return keel::finderSorted(std::move(names));
}

std::vector<std::string> PackageInspector::missingCopies(const keel::URL& packageURL,
                                                         const BackupFileData::DataItems& records) {
    const fs::path dataFolder = packageURL / BackupFileData::dataFolderName;
    std::vector<std::string> paths;
    for (const auto& [path, record] : records) {
        const fs::path copy = dataFolder / (record.uuid + "." + BackupFileData::dataCopyExtension);
        if (!keel::FileManager::contentExists(copy).exists) paths.push_back(path);
    }
    return keel::finderSorted(std::move(paths));
}

}  // namespace quillfen
