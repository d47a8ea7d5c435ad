#include "sync/SyncPathState.h"

#include <sys/stat.h>

#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "backup/BackupFile.h"
#include "keel/FileManager.h"
#include "local/LocalResources.h"
#include "local/PathConverter.h"
#include "local/PathStatuses.h"
#include "local/SettingsLink.h"

namespace quillfen {

SyncPathState::SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                             std::optional<std::string> applicationID)
    : SyncPathState(file, std::move(settingsPath), std::move(applicationID),
                    LocalResources::shared()) {}

SyncPathState::SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                             std::optional<std::string> applicationID, const LocalResources& local)
    : SyncPathState(file, std::move(settingsPath), std::move(applicationID), local, nullptr) {}

SyncPathState::SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                             std::optional<std::string> applicationID, const LocalResources& local,
                             const PathStatuses* statuses)
    : SyncPathState(file, std::move(settingsPath), std::move(applicationID), local, statuses,
                    nullptr) {}

SyncPathState::SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                             std::optional<std::string> applicationID, const LocalResources& local,
                             const PathStatuses* statuses,
                             const std::optional<BackupDataItem>& record)
    : SyncPathState(file, std::move(settingsPath), std::move(applicationID), local, statuses,
                    &record) {}

SyncPathState::SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                             std::optional<std::string> applicationID, const LocalResources& local,
                             const PathStatuses* statuses,
                             const std::optional<BackupDataItem>* knownRecord)
    : path(std::move(settingsPath)), bundleID(std::move(applicationID)) {
    if (!file) throw std::invalid_argument("SyncPathState needs a backup file");
    url = PathConverter::url(this->path);

    const std::optional<BackupDataItem> record =
        knownRecord ? *knownRecord : file->dataItem(this->path);
    if (record) {
        backupDate = record->backupDate;
        originalDate = record->originalDate;
    }
    // Finding an application's paths has just asked the system about most
    // locations; its answer stands for the lstat here.
    std::optional<PathStatuses::Status> status;
    if (statuses) status = statuses->find(url.native());
    if (!status) {
        status.emplace();
        status->exists = ::lstat(url.c_str(), &status->info) == 0;
    }
    // Where the content is: a link the back-up follows counts by what it
    // leads to.
    keel::URL content = url;
    if (status->exists) {
        // The date a back-up records for the copy, found the same way: a
        // link the back-up follows counts by what it leads to, and a folder
        // by the newest date in it without what the user excluded there.
        struct stat info = status->info;
        if (S_ISLNK(info.st_mode)) {
            struct stat reached {};
            if (const auto followed = SettingsLink::followedLocation(url);
                followed && ::stat(followed->c_str(), &reached) == 0) {
                content = *followed;
                info = reached;
            }
        }
        modifyDate = keel::FileManager::newestModifyDate(content, info, local.excludedInside(url));
    }

    // The dates are kept whatever the outcome, so that a list can still show
    // them for a path the user excluded, or one that leads into an excluded
    // place.
    if (local.isExcluded(url) || (content != url && local.isExcluded(content))) {
        action = SyncAction::doNothing;
    } else if (!modifyDate) {
        // Nothing to back up, and a synchronization does not bring back an
        // item the user removed from this computer.
        action = SyncAction::doNothing;
    } else if (originalDate) {
        // The date of the content the package holds against the date of
        // the content here: the newer content wins, whenever either side
        // made its copy. The copy's own date says only when the last
        // back-up ran, which may be after an older edit than this one.
        if (*modifyDate > *originalDate) {
            action = SyncAction::backUp;
        } else if (*modifyDate < *originalDate) {
            action = SyncAction::install;
        } else {
            action = SyncAction::doNothing;
        }
    } else {
        // Records of earlier versions may lack the content's date.
        action = decision(backupDate, modifyDate);
    }
}

}  // namespace quillfen
