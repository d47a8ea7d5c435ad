#include "app/BackupExecEntry.h"

#include <stdexcept>

#include "backup/BackupFile.h"
#include "catalog/SyncPathsFinder.h"

namespace quillfen {

BackupExecEntry BackupExecEntry::make(const std::shared_ptr<BackupFile>& file,
                                      const std::string& name) {
    if (!file) throw std::invalid_argument("BackupExecEntry needs a backup file");
    BackupExecEntry entry;
    entry.file = file;
    entry.name = name;
    entry.backupItem = file->execItem(name);
    std::optional<bool> isEnabled;
    if (entry.backupItem) isEnabled = entry.backupItem->isEnabled;
    entry.state =
        SyncItemState(file, isEnabled, name, SyncPathsFinder::forExec(name).paths, std::nullopt);
    return entry;
}

}  // namespace quillfen
