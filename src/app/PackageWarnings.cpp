#include "app/PackageWarnings.h"

#include "backup/BackupFile.h"
#include "backup/PackageInspector.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

std::vector<std::string> warningsOf(BackupFile& file, const BackupFileData::DataItems& records) {
    std::vector<std::string> warnings;
    const fs::path url = file.url();
    for (const auto& name : PackageInspector::conflictCopies(url))
        warnings.push_back((url / name).string() +
                           ": a conflict copy left by the cloud drive; it is not read as "
                           "part of the package and is left where it is");
    if (file.dataListIsMissing())
        warnings.push_back((url / "Data.json").string() +
                           ": Data.json has not arrived yet, while the package holds copies; "
                           "the package is incomplete, and back-up, install and synchronize "
                           "wait for it ('quillfen backup --force' records this computer afresh)");
    for (const auto& path : PackageInspector::missingCopies(url, records))
        warnings.push_back(
            path + ": its backed-up copy (" + BackupFileData::dataFolderName + "/" +
            records.at(path).uuid + "." + BackupFileData::dataCopyExtension +
            ") has not arrived in the package yet; an install or synchronize fails for it");
    return warnings;
}

}  // namespace

std::vector<std::string> PackageWarnings::of(BackupFile& file,
                                             const std::vector<BackupAppEntry>& apps,
                                             const std::vector<BackupExecEntry>& execs,
                                             const std::vector<BackupFileEntry>& files) {
    BackupFileData::DataItems records;
    const auto addRecord = [&](const std::string& path) {
        if (records.count(path)) return;
        if (auto record = file.dataItem(path)) records.emplace(path, *record);
    };
    for (const auto& entry : apps)
        for (const auto& [path, state] : entry.state.states)
            addRecord(path);
    for (const auto& entry : execs)
        for (const auto& [path, state] : entry.state.states)
            addRecord(path);
    for (const auto& entry : files)
        addRecord(entry.path);
    return warningsOf(file, records);
}

std::vector<std::string> PackageWarnings::of(BackupFile& file) {
    return warningsOf(file, file.dataItems());
}

}  // namespace quillfen
