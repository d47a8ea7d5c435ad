// BackupExecEntry: one executable row of the viewer (a command-line tool or a
// system setting of the catalog). It joins what the package records for the
// name with the sync state of the catalog's settings paths for it; there is
// no installed application behind it.
//
// A snapshot: building one reads the package (through its serial queue, so
// never build one on that queue) and the file system; afterwards it is a
// plain value that may be copied and read on any thread.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/EntryIcon.h"
#include "app/GenericBackupEntry.h"
#include "backup/BackupExecItem.h"
#include "backup/SyncAction.h"
#include "keel/Date.h"
#include "sync/SyncItemState.h"

namespace quillfen {

class BackupFile;

struct BackupExecEntry {
    std::shared_ptr<BackupFile> file;
    std::string name;
    SyncItemState state;
    std::optional<BackupExecItem> backupItem;

    // The entry of executable `name` in `file` as it stands now. Throws
    // std::invalid_argument for a null file.
    static BackupExecEntry make(const std::shared_ptr<BackupFile>& file, const std::string& name);
    // The entries of `names`, in their order, as one `make` each would give
    // them, reading the package in two calls on its queue for all of them.
    static std::vector<BackupExecEntry> make(const std::shared_ptr<BackupFile>& file,
                                             const std::vector<std::string>& names);

    const std::string& title() const { return name; }
    bool isFound() const { return state.modifyDate.has_value(); }
    std::optional<bool> isEnabled() const { return state.isEnabled; }
    std::optional<keel::Date> backupDate() const { return state.backupDate; }
    SyncAction action() const { return state.action; }
    std::size_t itemsCount() const { return state.states.size(); }
    // Always the executable picture.
    EntryIcon icon() const { return EntryIcon{{}, {}, EntryIcon::executableItemIconName}; }

    friend bool operator==(const BackupExecEntry&, const BackupExecEntry&) = default;
};

static_assert(GenericBackupEntry<BackupExecEntry>);

}  // namespace quillfen
