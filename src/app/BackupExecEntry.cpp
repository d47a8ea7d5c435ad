#include "app/BackupExecEntry.h"

#include <span>
#include <stdexcept>
#include <utility>

#include "backup/BackupFile.h"
#include "catalog/SyncPathsFinder.h"
#include "local/LocalResources.h"

namespace quillfen {

BackupExecEntry BackupExecEntry::make(const std::shared_ptr<BackupFile>& file,
                                      const std::string& name) {
    return std::move(make(file, std::vector<std::string>{name}).front());
}

std::vector<BackupExecEntry> BackupExecEntry::make(const std::shared_ptr<BackupFile>& file,
                                                   const std::vector<std::string>& names) {
    if (!file) throw std::invalid_argument("BackupExecEntry needs a backup file");
    const LocalResources& local = LocalResources::shared();
    std::vector<std::vector<std::string>> paths(names.size());
    std::vector<std::string> allPaths;
    for (std::size_t i = 0; i < names.size(); ++i) {
        paths[i] = SyncPathsFinder::forExec(names[i], local).paths;
        allPaths.insert(allPaths.end(), paths[i].begin(), paths[i].end());
    }
    const std::vector<std::optional<BackupExecItem>> records = file->items<BackupExecItem>(names);
    const std::vector<std::optional<BackupDataItem>> dataRecords = file->dataItems(allPaths);

    std::vector<BackupExecEntry> entries(names.size());
    std::span<const std::optional<BackupDataItem>> remaining(dataRecords);
    for (std::size_t i = 0; i < names.size(); ++i) {
        BackupExecEntry& entry = entries[i];
        entry.file = file;
        entry.name = names[i];
        entry.backupItem = records[i];
        std::optional<bool> isEnabled;
        if (entry.backupItem) isEnabled = entry.backupItem->isEnabled;
        const std::size_t count = paths[i].size();
        entry.state = SyncItemState(file, isEnabled, names[i], std::move(paths[i]), std::nullopt,
                                    local, nullptr, remaining.first(count));
        remaining = remaining.subspan(count);
    }
    return entries;
}

}  // namespace quillfen
