#include "app/BackupAppEntry.h"

#include <stdexcept>

#include "backup/BackupFile.h"
#include "catalog/SyncPathsFinder.h"
#include "local/LocalResources.h"
#include "local/PathStatuses.h"

namespace quillfen {

BackupAppEntry BackupAppEntry::make(const std::shared_ptr<BackupFile>& file,
                                    const std::string& name) {
    if (!file) throw std::invalid_argument("BackupAppEntry needs a backup file");
    BackupAppEntry entry;
    entry.file = file;
    entry.name = name;
    entry.backupItem = file->appItem(name);
    // The finder looks the installed application up itself, for the paths
    // inside its containers.
    const LocalResources& local = LocalResources::shared();
    PathStatuses statuses;
    std::vector<std::string> paths = SyncPathsFinder::forApp(name, local, statuses).paths;
    entry.localItem = local.appItem(name);

    std::optional<bool> isEnabled;
    if (entry.backupItem) isEnabled = entry.backupItem->isEnabled;
    std::optional<std::string> bundleID;
    if (entry.localItem) bundleID = entry.localItem->identifier;
    entry.state = SyncItemState(file, isEnabled, name, std::move(paths), std::move(bundleID), local,
                                &statuses);
    return entry;
}

std::optional<std::filesystem::path> BackupAppEntry::bundleURL() const {
    if (!localItem) return std::nullopt;
    return localItem->bundleURL;
}

EntryIcon BackupAppEntry::icon() const {
    EntryIcon icon;
    icon.sharedName = EntryIcon::genericAppIconName;
    if (localItem && localItem->packaging == LocalAppItem::Packaging::bundle) {
        icon.itemURL = localItem->bundleURL;
        icon.iconFileURL = localItem->iconFileURL;
    } else if (localItem) {
        // A desktop entry file has no picture of its own; its icon is named.
        icon.iconName = localItem->iconName;
    }
    return icon;
}

}  // namespace quillfen
