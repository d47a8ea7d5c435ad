// SyncPathState: what one settings path needs, as a snapshot taken when the
// state is built. It pairs the package's record of the path (when its copy was
// made, and the date of the content it holds) with the date of the local
// content now, and decides from them whether the path should be backed up,
// installed, or left alone: the newer content wins. Where the record holds
// the content's date (`originalDate`), a later local date is `backUp`, an
// earlier one `install`, the same one `doNothing`; only a record without it
// (written by an earlier version) is judged by when its copy was made
// (`decision`), which can also give `upToDate`.
//
// Building a state reads the package's data record (through the package's
// serial queue, synchronously), the file system (one lstat; for a symbolic
// link that a back-up follows, one stat of what it leads to; for a folder one
// stat of every entry in it, links inside not followed, excluded entries left
// out) and the exclusion list; it changes nothing and never fails. It must not be built on the
// package's queue. Several states may be built at once on different threads; a built state is a
// plain value.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "backup/BackupDataItem.h"
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
    // The date of the content the package's copy holds, as the back-up that
    // made it found it (see `modifyDate`); absent without a record or when
    // the record has none.
    std::optional<keel::Date> originalDate;
    // The local content's date now: a file's modification date; a folder's
    // newest date of the folder and everything in it but what is excluded;
    // for a symbolic link that a back-up follows, that of what it leads to
    // (else the link's own). Absent when there is no item.
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
    // The same with the package's record of the path looked up already:
    // `record` is what BackupFile::dataItem gave for it.
    SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                  std::optional<std::string> applicationID, const LocalResources& local,
                  const PathStatuses* statuses, const std::optional<BackupDataItem>& record);

    friend bool operator==(const SyncPathState&, const SyncPathState&) = default;

private:
    // `knownRecord` null: the record is looked up here.
    SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                  std::optional<std::string> applicationID, const LocalResources& local,
                  const PathStatuses* statuses, const std::optional<BackupDataItem>* knownRecord);
};

}  // namespace quillfen
