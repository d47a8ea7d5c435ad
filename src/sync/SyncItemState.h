// SyncItemState: what one item of the backup (an application, an executable
// or a custom file) needs over all its settings paths, as a snapshot taken
// when the state is built: one SyncPathState per distinct path, their actions
// combined into the item's action, and the user's on/off switch from the
// package's record of the item.
//
// Building a state reads the package (through its serial queue, synchronously,
// so never on that queue), the file system and the local resources; it
// changes nothing and never fails. States may be built on several threads at
// once; a built state is a plain value.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backup/SyncAction.h"
#include "keel/Date.h"
#include "sync/SyncPathState.h"

namespace quillfen {

class BackupFile;
class LocalResources;
class PathStatuses;

struct SyncItemState {
    // The application name, executable name, or custom file's settings path.
    std::string identifier;
    // The package record's switch; absent when the package has no record.
    std::optional<bool> isEnabled;
    // A backup date of one of the path states, the first in `states` order
    // that has one. Dates of different paths are not compared.
    std::optional<keel::Date> backupDate;
    // Likewise a modification date; absent when no path exists on this
    // computer.
    std::optional<keel::Date> modifyDate;
    SyncAction action = SyncAction::doNothing;
    // The paths the state was built from, as given (duplicates included).
    std::vector<std::string> paths;
    // One state per distinct path, ordered by path.
    std::map<std::string, SyncPathState> states;

    SyncItemState() = default;

    // The state of the item `itemIdentifier` made of `settingsPaths`, each path with
    // `bundleID`, with the exclusion list of `LocalResources::shared()`.
    // Throws std::invalid_argument for a null file.
    SyncItemState(const std::shared_ptr<BackupFile>& file, std::optional<bool> enabled,
                  std::string itemIdentifier, std::vector<std::string> settingsPaths,
                  std::optional<std::string> bundleID);
    // The same with the exclusion list of `local`.
    SyncItemState(const std::shared_ptr<BackupFile>& file, std::optional<bool> enabled,
                  std::string itemIdentifier, std::vector<std::string> settingsPaths,
                  std::optional<std::string> bundleID, const LocalResources& local);
    // The same, each path state taking what `statuses` recorded of its
    // location instead of asking the system again (see PathStatuses).
    SyncItemState(const std::shared_ptr<BackupFile>& file, std::optional<bool> enabled,
                  std::string itemIdentifier, std::vector<std::string> settingsPaths,
                  std::optional<std::string> bundleID, const LocalResources& local,
                  const PathStatuses* statuses);
    // The same with the package's records of the paths looked up already:
    // `records[i]` is what BackupFile::dataItem gave for `settingsPaths[i]`.
    // Throws std::invalid_argument when their counts differ.
    SyncItemState(const std::shared_ptr<BackupFile>& file, std::optional<bool> enabled,
                  std::string itemIdentifier, std::vector<std::string> settingsPaths,
                  std::optional<std::string> bundleID, const LocalResources& local,
                  const PathStatuses* statuses,
                  std::span<const std::optional<BackupDataItem>> records);

    // The application `appName`: its switch from the package's application
    // record, its paths from the path finder, and the bundle identifier of the
    // installed application of that name, with the installed applications
    // and exclusion list of `local`.
    static SyncItemState forAppName(const std::shared_ptr<BackupFile>& file,
                                    const std::string& appName, const LocalResources& local);

    // The executable `execName`: its switch from the package's executable
    // record and its catalog paths; no bundle identifier.
    static SyncItemState forExecName(const std::shared_ptr<BackupFile>& file,
                                     const std::string& execName, const LocalResources& local);

    // The custom file `filePath`: its switch from the package's file record
    // and the file's settings path as its only path; no bundle identifier.
    static SyncItemState forFilePath(const std::shared_ptr<BackupFile>& file,
                                     const std::string& filePath);
    static SyncItemState forFilePath(const std::shared_ptr<BackupFile>& file,
                                     const std::string& filePath, const LocalResources& local);

    friend bool operator==(const SyncItemState&, const SyncItemState&) = default;

private:
    // `knownRecords` null: the records are looked up here.
    SyncItemState(const std::shared_ptr<BackupFile>& file, std::optional<bool> enabled,
                  std::string itemIdentifier, std::vector<std::string> settingsPaths,
                  std::optional<std::string> bundleID, const LocalResources& local,
                  const PathStatuses* statuses,
                  const std::span<const std::optional<BackupDataItem>>* knownRecords);
};

}  // namespace quillfen
