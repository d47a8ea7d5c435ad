// BackupAppEntry: one application row of the viewer. It joins what the
// package records for an application name, what is installed under that name
// on this computer, and the sync state of the application's settings paths.
//
// A snapshot: building one reads the package (through its serial queue, so
// never build one on that queue), the installed applications and the file
// system; afterwards it is a plain value that may be copied and read on any
// thread. Building never fails for a present file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/EntryIcon.h"
#include "app/GenericBackupEntry.h"
#include "backup/BackupAppItem.h"
#include "backup/SyncAction.h"
#include "keel/Date.h"
#include "local/LocalAppItem.h"
#include "sync/SyncItemState.h"

namespace quillfen {

class BackupFile;

struct BackupAppEntry {
    std::shared_ptr<BackupFile> file;
    // The key of the package's record and of the installed application.
    std::string name;
    SyncItemState state;
    std::optional<BackupAppItem> backupItem;
    std::optional<LocalAppItem> localItem;

    // The entry of application `name` in `file` as it stands now: its record,
    // its settings paths, the installed application of that name and the
    // state of those paths. Throws std::invalid_argument for a null file.
    static BackupAppEntry make(const std::shared_ptr<BackupFile>& file, const std::string& name);
    // The entries of `names`, in their order, as one `make` each would give
    // them, reading the package in two calls on its queue for all of them.
    static std::vector<BackupAppEntry> make(const std::shared_ptr<BackupFile>& file,
                                            const std::vector<std::string>& names);

    const std::string& title() const { return name; }
    // Whether one of its settings paths exists on this computer.
    bool isFound() const { return state.modifyDate.has_value(); }
    // The record's switch; absent when the package has no record.
    std::optional<bool> isEnabled() const { return state.isEnabled; }
    std::optional<keel::Date> backupDate() const { return state.backupDate; }
    SyncAction action() const { return state.action; }
    std::size_t itemsCount() const { return state.states.size(); }
    std::optional<std::filesystem::path> bundleURL() const;
    // The installed application's icon, or else the generic application picture.
    EntryIcon icon() const;

    friend bool operator==(const BackupAppEntry&, const BackupAppEntry&) = default;
};

static_assert(GenericBackupEntry<BackupAppEntry>);

}  // namespace quillfen
