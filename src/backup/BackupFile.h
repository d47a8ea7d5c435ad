// BackupFile: the open backup package as the rest of the application sees it.
// It owns the package's in-memory image (BackupFileData), the editor that
// changes it, and a serial queue.
//
// Threads: every operation except `url()`, `didEditItems`, `didEditData` and
// `edition` runs synchronously on `serialQueue()` while the caller waits, so
// the backup manager's worker, the sync engine, the viewer and the windows can
// share one file without further locking. NO OPERATION MAY BE CALLED FROM CODE
// THAT ALREADY RUNS ON `serialQueue()`: the call would wait for itself, and
// the queue aborts the process instead.
//
// Changes are announced with "BackupFileDidItemsNotification" (applications,
// executables, custom files, note, history) and "BackupFileDidDataNotification"
// (data records), the BackupFile as object and a BackupEdition under
// "EditionKey". Both are posted asynchronously on the main queue: observers run
// on the main thread, after the change is applied, and may call the file's
// operations; the queue is never held while an observer runs.
//
// Edits change memory only; they reach the disk with `save()` (or the implicit
// save that opens move, replace, import and export). Data copies are stored
// at once and reach the disk, with their records, at the next save; a replaced
// or removed copy is deleted only after the save that drops its record.
//
// Errors: the errors of BackupFileData pass through unchanged (see there).
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupAppItem.h"
#include "backup/BackupDataItem.h"
#include "backup/BackupEdition.h"
#include "backup/BackupEventItem.h"
#include "backup/BackupExecItem.h"
#include "backup/BackupFileData.h"
#include "backup/BackupFileEditor.h"
#include "backup/BackupFileItem.h"
#include "backup/BackupNoteItem.h"
#include "backup/ItemRecord.h"
#include "backup/SyncAction.h"
#include "keel/DispatchQueue.h"
#include "keel/Notification.h"

namespace quillfen {

class BackupFile : public std::enable_shared_from_this<BackupFile> {
public:
    static inline const std::string packageExtension = "qfbackup";
    static inline const std::string didItemsNotification = "BackupFileDidItemsNotification";
    static inline const std::string didDataNotification = "BackupFileDidDataNotification";
    static inline const std::string editionKey = "EditionKey";

    // Opens the package at `url`; throws what opening the package image throws.
    static std::shared_ptr<BackupFile> open(const std::filesystem::path& url);

    BackupFile(const BackupFile&) = delete;
    BackupFile& operator=(const BackupFile&) = delete;

    // The package's current location, read without the queue: during a
    // concurrent move or replace it gives the old or the new location.
    std::filesystem::path url() const;
    keel::DispatchQueue& serialQueue() { return serialQueue_; }

    // The package operations of BackupFileData; each saves first.
    void move(const std::filesystem::path& to);
    void replace(const std::filesystem::path& with);
    void importPackage(const std::filesystem::path& from);
    void exportPackage(const std::filesystem::path& to);
    // Writes the changed lists, merging what another computer wrote to them
    // in the meantime (see BackupFileData). The caller holds the package's
    // PackageLock.
    void save();

    // The data copies nobody names, older than `gracePeriod`, and their
    // removal (see BackupFileData). The caller holds the package's lock.
    std::vector<BackupFileData::OrphanCopy> orphanCopies(std::chrono::seconds gracePeriod);
    std::vector<BackupFileData::OrphanCopy> removeOrphanCopies(std::chrono::seconds gracePeriod);

    // The records of any kind of item, for code written once for all three;
    // the accessors of each kind below do the same.
    template <ItemRecord Item>
    std::vector<Item> items();  // Finder order of key
    template <ItemRecord Item>
    std::optional<Item> item(const std::string& key);
    // The records of `keys`, in their order, in one call on the queue.
    template <ItemRecord Item>
    std::vector<std::optional<Item>> items(const std::vector<std::string>& keys);
    template <ItemRecord Item>
    void setItems(const std::vector<Item>& items);
    // Also deletes the data copies of the items' settings paths.
    void removeItems(ItemKind kind, const std::vector<std::string>& keys);

    // The installed and the recorded applications, each once, in Finder order.
    std::vector<std::string> appNames();
    // The records are copies: change one by passing a changed copy to its setter.
    std::vector<BackupAppItem> appItems();  // Finder order of name
    std::optional<BackupAppItem> appItem(const std::string& name);
    void setAppItems(const std::vector<BackupAppItem>& items);
    // Also deletes the data copies of the applications' settings paths.
    void removeAppItems(const std::vector<std::string>& names);

    // The catalog's executables in Finder order; the same for every package.
    std::vector<std::string> execNames();
    std::vector<BackupExecItem> execItems();  // Finder order of name
    std::optional<BackupExecItem> execItem(const std::string& name);
    void setExecItems(const std::vector<BackupExecItem>& items);
    void removeExecItems(const std::vector<std::string>& names);

    std::vector<BackupFileItem> fileItems();  // Finder order of path
    std::optional<BackupFileItem> fileItem(const std::string& path);
    void setFileItems(const std::vector<BackupFileItem>& items);
    // Also deletes the data copy stored under each path.
    void removeFileItems(const std::vector<std::string>& paths);

    // The note is the first note record; setting it (even to no text) leaves
    // exactly one record.
    std::optional<BackupNoteItem> note();
    void setNote(std::optional<std::string> text);
    void removeNote();

    // The history, newest first, at most ten events once one has been added.
    std::vector<BackupEventItem> eventItems();
    void addEvent(SyncAction action);
    void removeEvents();

    std::optional<BackupDataItem> dataItem(const std::string& path);
    // The records of `paths`, in their order, in one call on the queue: for
    // callers that look up many paths at once, which would otherwise wait
    // for the queue once per path.
    std::vector<std::optional<BackupDataItem>> dataItems(const std::vector<std::string>& paths);
    // Every data record, by settings path.
    BackupFileData::DataItems dataItems();
    // Copies the data copy of settings path `path` onto this computer,
    // keeping the local entries of a folder at the relative paths `kept`.
    // Throws (see BackupFileEditor::installData).
    void installData(const std::string& path, const std::vector<std::filesystem::path>& kept = {});
    // Copies the local item of settings path `path` into the package, without
    // a folder's entries at the relative paths `leftOut`; a failed copy keeps
    // the previous copy and record. Throws (see BackupFileEditor::backUpData).
    void backUpData(const std::string& path,
                    const std::vector<std::filesystem::path>& leftOut = {});
    // Where the data copy of settings path `path` is, to be read in place
    // while the caller holds the package's lock (it may not have arrived);
    // nothing when the package has no record of the path. Throws as
    // BackupFileData::copyLocation.
    std::optional<std::filesystem::path> dataCopyLocation(const std::string& path);
    // Whether the package holds data copies but no "Data.json" (see
    // BackupFileData::dataListIsMissing).
    bool dataListIsMissing();

    // Announce a change: build the notification on the calling thread and post
    // it on the main queue without waiting. Callable from any thread,
    // including the serial queue.
    void didEditItems(BackupEdition::Category category,
                      std::optional<std::vector<BackupEdition::Entry>> entries);
    void didEditData(BackupEdition::Category category,
                     std::optional<std::vector<BackupEdition::Entry>> entries);

    // The edition carried by a notification of a BackupFile, or nothing when it
    // carries none under "EditionKey".
    static std::optional<BackupEdition> edition(const keel::Notification& notification);

private:
    friend class BackupFileEditor;

    explicit BackupFile(const std::filesystem::path& url);
    // Runs `f` synchronously on the serial queue and rethrows what it threw.
    template <class F>
    auto onQueue(F&& f);
    void post(const std::string& name, BackupEdition::Category category,
              std::optional<std::vector<BackupEdition::Entry>> entries);

    keel::DispatchQueue serialQueue_;
    BackupFileData data_;
    BackupFileEditor editor_;
};

}  // namespace quillfen
