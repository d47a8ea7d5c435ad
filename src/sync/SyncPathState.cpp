#include "sync/SyncPathState.h"

#include <stdexcept>
#include <utility>

#include "backup/BackupFile.h"
#include "keel/FileManager.h"
#include "local/LocalResources.h"
#include "sync/PathConverter.h"

namespace quillfen {

SyncPathState::SyncPathState(const std::shared_ptr<BackupFile>& file, std::string path,
                             std::optional<std::string> bundleID)
    : SyncPathState(file, std::move(path), std::move(bundleID), LocalResources::shared()) {}

SyncPathState::SyncPathState(const std::shared_ptr<BackupFile>& file, std::string path,
                             std::optional<std::string> bundleID, const LocalResources& local)
    : path(std::move(path)), bundleID(std::move(bundleID)) {
    if (!file) throw std::invalid_argument("SyncPathState needs a backup file");
    url = PathConverter::url(this->path);

    if (const std::optional<BackupDataItem> record = file->dataItem(this->path)) {
        backupDate = record->backupDate;
        originalDate = record->originalDate;
    }
    modifyDate = keel::FileManager::modifyDateForFile(url);

    // The dates are kept whatever the outcome, so that a list can still show
    // them for a path the user excluded.
    if (local.isExcluded(url)) {
        action = SyncAction::doNothing;
    } else if (!modifyDate) {
        // Nothing to back up, and a synchronization does not bring back an
        // item the user removed from this computer.
        action = SyncAction::doNothing;
    } else if (modifyDate == originalDate) {
        // The local item is the very one that was copied into the package.
        action = SyncAction::doNothing;
    } else {
        action = decision(backupDate, modifyDate);
    }
}

}  // namespace quillfen
