// SyncPathState: what one settings path needs, as a snapshot taken when the
// state is built. It pairs the package's record of the path (when its copy was
// made, and how old the local item was then) with the local item's
// modification date now, and decides from them whether the path should be
// backed up, installed, or left alone.
//
// Building a state reads the package's data record (through the package's
// serial queue, synchronously), the file system (one stat, not following a
// symbolic link at the final component, and for a folder one stat of every
// entry in it, links not followed) and the exclusion list; it changes
// nothing and never fails. It must not be built on the package's queue.
// Several states may be built at once on different threads; a built state is
// a plain value.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "backup/SyncAction.h"
#include "keel/Date.h"
#include "keel/URL.h"

namespace quillfen {

class BackupFile;
class LocalResources;
class PathStatuses;

struct SyncPathState {
    std::string path;
    // Where `path` is on this computer.
    keel::URL url;
    // The identifier of the installed application the path belongs to; absent
    // for executables, custom files and applications that are not installed.
    std::optional<std::string> bundleID;
    // When the package's copy was made; absent without a data record.
    std::optional<keel::Date> backupDate;
    // The local item's modification date when the copy was made; absent
    // without a record or when the record has none.
    std::optional<keel::Date> originalDate;
    // The local item's modification date now; for a folder the newest date
    // of the folder and everything in it. Absent when there is no item.
    std::optional<keel::Date> modifyDate;
    // One of doNothing, upToDate, backUp or install once built from a package.
    SyncAction action = SyncAction::doNothing;

    SyncPathState() = default;

    // The state of `settingsPath` in `file`, with the exclusion list of
    // `LocalResources::shared()`. Throws std::invalid_argument for a null file.
    SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                  std::optional<std::string> applicationID);
    // The same with the exclusion list of `local`.
    SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                  std::optional<std::string> applicationID, const LocalResources& local);
    // The same, taking the lstat answer for the path's location from
    // `statuses` when it holds one (null: always ask the system).
    SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                  std::optional<std::string> applicationID, const LocalResources& local,
                  const PathStatuses* statuses);

    friend bool operator==(const SyncPathState&, const SyncPathState&) = default;
};

}  // namespace quillfen
