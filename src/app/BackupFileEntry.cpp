#include "app/BackupFileEntry.h"

#include <stdexcept>

#include "backup/BackupFile.h"
#include "local/PathConverter.h"

namespace quillfen {

BackupFileEntry BackupFileEntry::make(const std::shared_ptr<BackupFile>& file,
                                      const std::string& path) {
    if (!file) throw std::invalid_argument("BackupFileEntry needs a backup file");
    BackupFileEntry entry;
    entry.file = file;
    entry.path = path;
    entry.state = SyncPathState(file, path, std::nullopt);
    entry.backupItem = file->fileItem(path);
    entry.localItem = LocalFileItem(entry.state.url);
    return entry;
}

std::optional<bool> BackupFileEntry::isEnabled() const {
    if (!backupItem) return std::nullopt;
    return backupItem->isEnabled;
}

std::filesystem::path BackupFileEntry::url() const {
    return PathConverter::url(path);
}

}  // namespace quillfen
