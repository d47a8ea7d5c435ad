// BackupFileEntry: one custom-file row of the viewer, a file or folder the
// user picked to keep in the package. It joins the package's record for the
// settings path with the sync state of that one path and the local item at
// the path's location, whether or not something is there.
//
// A snapshot: building one reads the package (through its serial queue, so
// never build one on that queue) and the file system; afterwards it is a
// plain value that may be copied and read on any thread.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/EntryIcon.h"
#include "app/GenericBackupEntry.h"
#include "backup/BackupFileItem.h"
#include "backup/SyncAction.h"
#include "keel/Date.h"
#include "local/LocalFileItem.h"
#include "sync/SyncPathState.h"

namespace quillfen {

class BackupFile;

struct BackupFileEntry {
    std::shared_ptr<BackupFile> file;
    // The settings path: relative to the user's home folder, or absolute for
    // a location outside it. The key of the package's file records.
    std::string path;
    SyncPathState state;
    std::optional<BackupFileItem> backupItem;
    LocalFileItem localItem;

    // The entry of custom file `path` in `file` as it stands now. Throws
    // std::invalid_argument for a null file.
    static BackupFileEntry make(const std::shared_ptr<BackupFile>& file, const std::string& path);

    const std::string& title() const { return path; }
    bool isFound() const { return state.modifyDate.has_value(); }
    // The record's switch; absent when the package has no record.
    std::optional<bool> isEnabled() const;
    std::optional<keel::Date> backupDate() const { return state.backupDate; }
    SyncAction action() const { return state.action; }
    // The absolute location of the path on this computer, under the user's
    // real home folder for a relative path.
    std::filesystem::path url() const;
    // The local item's icon, or else the generic application picture.
    EntryIcon icon() const {
        return EntryIcon{localItem.fileURL, {}, EntryIcon::genericAppIconName};
    }

    friend bool operator==(const BackupFileEntry&, const BackupFileEntry&) = default;
};

static_assert(GenericBackupEntry<BackupFileEntry>);

}  // namespace quillfen
