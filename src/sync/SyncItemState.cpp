#include "sync/SyncItemState.h"

#include <stdexcept>
#include <utility>

#include "backup/BackupFile.h"
#include "catalog/SyncPathsFinder.h"
#include "local/LocalResources.h"
#include "local/PathStatuses.h"

namespace quillfen {

namespace {

const std::shared_ptr<BackupFile>& checked(const std::shared_ptr<BackupFile>& file) {
    if (!file) throw std::invalid_argument("SyncItemState needs a backup file");
    return file;
}

}  // namespace

SyncItemState::SyncItemState(const std::shared_ptr<BackupFile>& file, std::optional<bool> enabled,
                             std::string itemIdentifier, std::vector<std::string> settingsPaths,
                             std::optional<std::string> bundleID)
    : SyncItemState(file, enabled, std::move(itemIdentifier), std::move(settingsPaths),
                    std::move(bundleID), LocalResources::shared()) {}

SyncItemState::SyncItemState(const std::shared_ptr<BackupFile>& file, std::optional<bool> enabled,
                             std::string itemIdentifier, std::vector<std::string> settingsPaths,
                             std::optional<std::string> bundleID, const LocalResources& local)
    : SyncItemState(file, enabled, std::move(itemIdentifier), std::move(settingsPaths),
                    std::move(bundleID), local, nullptr) {}

SyncItemState::SyncItemState(const std::shared_ptr<BackupFile>& file, std::optional<bool> enabled,
                             std::string itemIdentifier, std::vector<std::string> settingsPaths,
                             std::optional<std::string> bundleID, const LocalResources& local,
                             const PathStatuses* statuses)
    : SyncItemState(file, enabled, std::move(itemIdentifier), std::move(settingsPaths),
                    std::move(bundleID), local, statuses, nullptr) {}

SyncItemState::SyncItemState(const std::shared_ptr<BackupFile>& file, std::optional<bool> enabled,
                             std::string itemIdentifier, std::vector<std::string> settingsPaths,
                             std::optional<std::string> bundleID, const LocalResources& local,
                             const PathStatuses* statuses,
                             std::span<const std::optional<BackupDataItem>> records)
    : SyncItemState(file, enabled, std::move(itemIdentifier), std::move(settingsPaths),
                    std::move(bundleID), local, statuses, &records) {}

SyncItemState::SyncItemState(const std::shared_ptr<BackupFile>& file, std::optional<bool> enabled,
                             std::string itemIdentifier, std::vector<std::string> settingsPaths,
                             std::optional<std::string> bundleID, const LocalResources& local,
                             const PathStatuses* statuses,
                             const std::span<const std::optional<BackupDataItem>>* knownRecords)
    : identifier(std::move(itemIdentifier)), isEnabled(enabled), paths(std::move(settingsPaths)) {
    checked(file);
    // The package's records of every path at once: one wait for its queue.
    std::vector<std::optional<BackupDataItem>> fetched;
    if (!knownRecords) fetched = file->dataItems(this->paths);
    const std::span<const std::optional<BackupDataItem>> records =
        knownRecords ? *knownRecords : std::span<const std::optional<BackupDataItem>>(fetched);
    if (records.size() != this->paths.size())
        throw std::invalid_argument("SyncItemState needs one record for each path");
    for (std::size_t i = 0; i < this->paths.size(); ++i) {
        const std::string& path = this->paths[i];
        // Paths usually come sorted: the hint makes each insertion cheap.
        const auto place = states.lower_bound(path);
        if (place != states.end() && place->first == path) continue;
        states.emplace_hint(place, path,
                            SyncPathState(file, path, bundleID, local, statuses, records[i]));
    }

    std::vector<SyncAction> actions;
    actions.reserve(states.size());
    for (const auto& [path, state] : states) {
        actions.push_back(state.action);
        if (!backupDate) backupDate = state.backupDate;
        if (!modifyDate) modifyDate = state.modifyDate;
    }
    action = combined(actions);
}

SyncItemState SyncItemState::forAppName(const std::shared_ptr<BackupFile>& file,
                                        const std::string& appName, const LocalResources& local) {
    std::optional<bool> isEnabled;
    if (const auto record = checked(file)->appItem(appName)) isEnabled = record->isEnabled;
    std::optional<std::string> bundleID;
    const auto& apps = local.appItems();
    if (const auto app = apps.find(appName); app != apps.end()) bundleID = app->second.identifier;
    PathStatuses statuses;
    std::vector<std::string> paths = SyncPathsFinder::forApp(appName, local, statuses).paths;
    return SyncItemState(file, isEnabled, appName, std::move(paths), std::move(bundleID), local,
                         &statuses);
}

SyncItemState SyncItemState::forExecName(const std::shared_ptr<BackupFile>& file,
                                         const std::string& execName, const LocalResources& local) {
    std::optional<bool> isEnabled;
    if (const auto record = checked(file)->execItem(execName)) isEnabled = record->isEnabled;
    return SyncItemState(file, isEnabled, execName, SyncPathsFinder::forExec(execName, local).paths,
                         std::nullopt, local);
}

SyncItemState SyncItemState::forFilePath(const std::shared_ptr<BackupFile>& file,
                                         const std::string& filePath) {
    return forFilePath(file, filePath, LocalResources::shared());
}

SyncItemState SyncItemState::forFilePath(const std::shared_ptr<BackupFile>& file,
                                         const std::string& filePath, const LocalResources& local) {
    std::optional<bool> isEnabled;
    if (const auto record = checked(file)->fileItem(filePath)) isEnabled = record->isEnabled;
    return SyncItemState(file, isEnabled, filePath, {filePath}, std::nullopt, local);
}

}  // namespace quillfen
