#include "backup/PackageInspector.h"

#include <algorithm>
#include <system_error>

#include "keel/FileManager.h"
#include "keel/FinderOrder.h"
#include "keel/URL.h"
#include "keel/UUID.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

constexpr std::string_view kJSONSuffix = ".json";

std::string baseName(const std::string& fileName) {
    return fileName.substr(0, fileName.size() - kJSONSuffix.size());
}

// What cloud drives put between the original name and the rest of a
// conflict copy's name: "Data 2", "Data (1)", "Data.sync-conflict-...",
// "Data-LAPTOP", "Data_conflict".
bool isConflictSeparator(char c) {
    return c == ' ' || c == '(' || c == '.' || c == '-' || c == '_';
}

bool isDataFolderConflictName(const std::string& name) {
    const std::string folder = BackupFileData::dataFolderName;
    return name.size() > folder.size() && name.starts_with(folder) &&
           isConflictSeparator(name[folder.size()]);
}

// A data copy is "<UUID>.qfdata"; a conflict copy of one starts with the same
// UUID and goes on differently. Hidden names are the temporary files of a
// copy in progress, not conflict copies.
bool isDataCopyConflictName(const std::string& name) {
    constexpr std::size_t uuidLength = 36;
    if (name.size() <= uuidLength || name.front() == '.') return false;
    const std::string uuid = name.substr(0, uuidLength);
    return keel::isUUIDString(uuid) && isConflictSeparator(name[uuidLength]) &&
           name != uuid + "." + BackupFileData::dataCopyExtension;
}

bool isDirectoryItself(const fs::path& url) {
    std::error_code error;
    return fs::symlink_status(url, error).type() == fs::file_type::directory;
}

// Whether the data copies may be looked at: "Data" is a folder, missing, or a
// link to a folder inside the package. A link leading elsewhere would make
// the inspector report on files anywhere on the computer.
bool dataFolderIsInPackage(const fs::path& package) {
    const fs::path folder = package / BackupFileData::dataFolderName;
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(folder, error))) return true;
    const fs::path resolvedPackage = fs::canonical(package, error);
    if (error) return false;
    const fs::path resolvedFolder = fs::canonical(folder, error);
    return !error && resolvedFolder != resolvedPackage &&
           keel::isParent(resolvedPackage, resolvedFolder);
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
        // A conflict copy of the "Data" folder is a folder; a file of such a
        // name ("Data.json.bak") is none of the package's business.
        if (isConflictCopyName(name) ||
            (isDataFolderConflictName(name) && isDirectoryItself(entries->path()) &&
             std::find(listFileNames().begin(), listFileNames().end(), name) ==
                 listFileNames().end()))
            names.push_back(std::move(name));
    }
    if (dataFolderIsInPackage(packageURL)) {
        const std::string folder = BackupFileData::dataFolderName;
        error.clear();
        fs::directory_iterator copies(packageURL / folder, error);
        for (const fs::directory_iterator end; !error && copies != end; copies.increment(error)) {
            const std::string name = copies->path().filename().string();
            if (isDataCopyConflictName(name)) names.push_back(folder + "/" + name);
        }
    }
    return keel::finderSorted(std::move(names));
}

std::vector<std::string> PackageInspector::missingCopies(const keel::URL& packageURL,
                                                         const BackupFileData::DataItems& records) {
    const fs::path dataFolder = packageURL / BackupFileData::dataFolderName;
    const bool lookInside = dataFolderIsInPackage(packageURL);
    std::vector<std::string> paths;
    for (const auto& [path, record] : records) {
        // Record names are UUIDs once decoded; anything else could reach
        // outside "Data" and is reported missing without a look.
        if (!lookInside || !keel::isUUIDString(record.uuid)) {
            paths.push_back(path);
            continue;
        }
        const fs::path copy = dataFolder / (record.uuid + "." + BackupFileData::dataCopyExtension);
        if (!keel::FileManager::contentExists(copy).exists) paths.push_back(path);
    }
    return keel::finderSorted(std::move(paths));
}

}  // namespace quillfen
