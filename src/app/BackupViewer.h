// BackupViewer: the read model behind the lists. It merges the open backup
// package, the applications installed on this computer and the catalog into
// ready-to-show rows (entries), each with the sync state of its item, and
// keeps them current: a full rebuild when asked (after every process), and an
// incremental update of the named rows when the package announces an edit.
// After either it posts "BackupViewerDidReloadNotification" (the viewer as
// object, a BackupEdition under "EditionKey") saying which list changed and,
// for an incremental update, which rows: the row's index in the list at the
// moment it was changed, its key, and whether it was added, removed or
// replaced. An edition without entries means the whole list was rebuilt; one
// with an empty list of entries means no row changed.
//
// Threads: all state lives on `serialQueue`. The getters and the setter of the
// file run synchronously there and hand out copies; the rebuilds run there
// waiting or not, as asked; incremental updates never wait. While it builds
// entries the viewer waits on the package's queue, never the reverse. DO NOT
// CALL the getters, the setter or a waiting rebuild FROM `serialQueue` itself.
// The did-reload notification is posted on the main queue, always after the
// lists it describes have been stored. `enableAutomaticReload` is a locked box
// that any thread may read or write.
//
// Lifetime: a viewer is always held by a shared_ptr (see `create`). Work on
// its own queue refers to the viewer directly: the destructor waits for that
// work to finish. What may outlive the last owner (the observation of the
// package, blocks waiting on the main queue) holds it weakly and does nothing
// once it is gone; a destroyed viewer posts nothing. The destructor ends the
// observation; run it anywhere but on `serialQueue` (the queue's own blocks
// never hold a strong reference, so dropping owners does not put it there).
//
// Errors: nothing here throws for a present or absent file. An edition naming
// a row that is not where its key belongs changes no other row (see `update`).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BackupAppEntry.h"
#include "app/BackupExecEntry.h"
#include "app/BackupFileEntry.h"
#include "app/BackupNoteEntry.h"
#include "backup/BackupEdition.h"
#include "keel/Atomic.h"
#include "keel/DispatchQueue.h"
#include "keel/NoteSubscriber.h"

namespace quillfen {

class BackupFile;

class BackupViewer : public std::enable_shared_from_this<BackupViewer> {
    struct Passkey {};

public:
    static inline const std::string didReloadNotification = "BackupViewerDidReloadNotification";
    static inline const std::string editionKey = "EditionKey";

    // A viewer with no file, no entries and automatic reload on.
    static std::shared_ptr<BackupViewer> create();
    explicit BackupViewer(Passkey);
    ~BackupViewer();
    BackupViewer(const BackupViewer&) = delete;
    BackupViewer& operator=(const BackupViewer&) = delete;

    keel::DispatchQueue& serialQueue() { return serialQueue_; }

    // The file shown; none at creation.
    std::shared_ptr<BackupFile> backupFile();
    // Shows `file` from now on: ends the observation of the previous file's
    // edits and observes those of `file`. The entries stay as they are until
    // the next rebuild.
    void setBackupFile(std::shared_ptr<BackupFile> file);

    // In Finder order of name.
    std::vector<BackupAppEntry> backupAppEntries();
    // In Finder order of name: the catalog's executables, recorded or not.
    std::vector<BackupExecEntry> backupExecEntries();
    // In Finder order of path.
    std::vector<BackupFileEntry> backupFileEntries();
    // Present whenever the last rebuild of the note found a file.
    std::optional<BackupNoteEntry> backupNoteEntry();

    // While false, edits of the file leave the entries alone (the backup
    // manager switches it off while a process runs, then rebuilds everything).
    keel::Atomic<bool> enableAutomaticReload{true};

    // Rebuild every list, or one, on `serialQueue`; with `synchronized` the
    // caller waits. Each posts the list's category without entries.
    void reload(bool synchronized);
    void reloadAppEntries(bool synchronized);
    void reloadExecEntries(bool synchronized);
    void reloadFileEntries(bool synchronized);
    void reloadNoteEntry(bool synchronized);

    // Applies an edition of the current file without waiting. Editions of the
    // data and the history change no entry and are passed on at once as they
    // are. An edition without entries rebuilds its list; one with entries
    // rebuilds only the rows it names, in order, each at the place its key
    // takes in Finder order. A key gets a row when it belongs in the list
    // after the edit (an added or updated record, an installed application,
    // an executable of the catalog) and loses its row otherwise; the row is
    // replaced when it is already there. So an edition that does not match
    // the list (a repeated add, an update or remove of a row that is missing)
    // inserts or leaves out only its own row and never touches another one.
    void update(const BackupEdition& edition);

private:
    // Called on the main thread for each item edit of the observed file.
    void fileDidEditItems(const keel::Notification& notification);
    // Applies `edition` on the queue when `source` is still the file shown
    // (null: whatever file is shown).
    void apply(BackupEdition edition, const void* source);

    // Rebuilds the list of `category` on `serialQueue`, waiting or not, and
    // announces it.
    void reloadList(BackupEdition::Category category, bool synchronized);

    // On `serialQueue`.
    // Rebuilds the list of `category` (every list for `all`).
    void rebuild(BackupEdition::Category category);
    void applyOnQueue(const BackupEdition& edition);
    // Applies an item edition to `rows`: rebuilds them for an edition without
    // entries, otherwise the rows it names (see `applyChanges` in the source).
    template <class Entry, class Belongs>
    void applyToRows(std::vector<Entry>& rows, const BackupEdition& edition, Belongs belongs);
    void postDidReload(BackupEdition edition);

    std::shared_ptr<BackupFile> backupFile_;
    std::vector<BackupAppEntry> backupAppEntries_;
    std::vector<BackupExecEntry> backupExecEntries_;
    std::vector<BackupFileEntry> backupFileEntries_;
    std::optional<BackupNoteEntry> backupNoteEntry_;
    std::unique_ptr<keel::NoteSubscriber> fileDidEditItemsSubscriber_;
    // Last, so that it goes first: blocks still waiting on it find every
    // other member alive.
    keel::DispatchQueue serialQueue_;
};

}  // namespace quillfen
