#include "app/BackupAppEntry.h"

#include <span>
#include <stdexcept>
#include <utility>

#include "backup/BackupFile.h"
#include "catalog/SyncPathsFinder.h"
#include "local/LocalResources.h"
#include "local/PathStatuses.h"

namespace quillfen {

BackupAppEntry BackupAppEntry::make(const std::shared_ptr<BackupFile>& file,
                                    const std::string& name) {
    return std::move(make(file, std::vector<std::string>{name}).front());
}

std::vector<BackupAppEntry> BackupAppEntry::make(const std::shared_ptr<BackupFile>& file,
                                                 const std::vector<std::string>& names) {
    if (!file) throw std::invalid_argument("BackupAppEntry needs a backup file");
    // The finder looks the installed application up itself, for the paths
    // inside its containers.
    const LocalResources& local = LocalResources::shared();
    std::vector<PathStatuses> statuses(names.size());
    std::vector<std::vector<std::string>> paths(names.size());
    std::vector<std::string> allPaths;
    for (std::size_t i = 0; i < names.size(); ++i) {
        paths[i] = SyncPathsFinder::forApp(names[i], local, statuses[i]).paths;
        allPaths.insert(allPaths.end(), paths[i].begin(), paths[i].end());
    }
    const std::vector<std::optional<BackupAppItem>> records = file->items<BackupAppItem>(names);
    const std::vector<std::optional<BackupDataItem>> dataRecords = file->dataItems(allPaths);

    std::vector<BackupAppEntry> entries(names.size());
    std::span<const std::optional<BackupDataItem>> remaining(dataRecords);
    for (std::size_t i = 0; i < names.size(); ++i) {
        BackupAppEntry& entry = entries[i];
        entry.file = file;
        entry.name = names[i];
        entry.backupItem = records[i];
        entry.localItem = local.appItem(names[i]);
        std::optional<bool> isEnabled;
        if (entry.backupItem) isEnabled = entry.backupItem->isEnabled;
        std::optional<std::string> bundleID;
        if (entry.localItem) bundleID = entry.localItem->identifier;
        const std::size_t count = paths[i].size();
        entry.state =
            SyncItemState(file, isEnabled, names[i], std::move(paths[i]), std::move(bundleID),
                          local, &statuses[i], remaining.first(count));
        remaining = remaining.subspan(count);
    }
    return entries;
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
