// BackupFileEditor: carries out every change of an open package's lists. It
// adds, updates and removes application, executable and custom-file records,
// removes the data copies of removed items, stores and restores single data
// copies and appends history events, and announces each change through its
// file's `didEditItems` / `didEditData`.
//
// The editor refers to its BackupFile weakly. Every operation first takes a
// strong reference; when the file is gone it does nothing and returns an
// empty result.
//
// Threads: the editor works directly on the file's BackupFileData, which has
// no lock. Its operations must run on the file's serial queue (BackupFile
// calls them from there), and they never call back into the file's queued
// operations, which would wait for themselves.
//
// Errors: only the data-copy operations throw, with the errors of
// BackupFileData (BackupError, std::filesystem::filesystem_error). Removing
// items never fails.
//
// Data copies that are replaced or removed are not deleted here: they are
// handed to BackupFileData::discardData, which deletes them once the next save
// has written a "Data.json" without them.
#pragma once

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "backup/ItemRecord.h"
#include "backup/SyncAction.h"

namespace quillfen {

class BackupFile;

class BackupFileEditor {
public:
    explicit BackupFileEditor(std::weak_ptr<BackupFile> file) : file_(std::move(file)) {}

    // The names of the installed applications and of the recorded ones, each
    // once, in Finder order.
    std::vector<std::string> appNames() const;

    // Stores each record under its key, in the given order, and announces one
    // edition with an `update` entry for a key that was there and an `add`
    // entry for a new one. An empty array changes and announces nothing.
    template <ItemRecord Item>
    void setItems(const std::vector<Item>& items);

    // Removes each record of `kind` with its data copies (one data edition per
    // removed copy), then announces one edition with a `remove` entry per key,
    // also for a key that was not there. A copy whose settings path a
    // remaining item also covers stays. An empty array changes nothing.
    void removeItems(ItemKind kind, const std::vector<std::string>& keys);
    // The settings paths, on every kind of computer, of every recorded
    // application, executable and custom file.
    std::set<std::string> coveredPaths() const;

    // Puts a new event at the head of the history; when that makes the
    // history longer than ten events, drops the oldest one (only one, so a
    // longer history read from a package shrinks by one per event added).
    void addEvent(SyncAction action);

    // Copies the data copy of settings path `path` over the local item,
    // keeping the entries of a local folder at the relative paths `kept` as
    // they are. A symbolic link at the path is followed as SettingsLink says
    // (the content is written where it leads, the link stays) or refused
    // with its reason (SettingsLink::Refusal). No record for `path` means
    // nothing to do; a record whose copy is missing throws
    // dataCopyHasNotArrived. Throws.
    void installData(const std::string& path, const std::vector<std::filesystem::path>& kept = {});

    // Copies the local item of settings path `path` into the package under a
    // fresh copy name and records it. The previous copy and record are replaced
    // only once the new copy is stored: a failed copy leaves them as they were.
    // A missing local item changes nothing. A symbolic link at the path is
    // followed as SettingsLink says, or refused with its reason
    // (SettingsLink::Refusal), never recorded without a copy. A folder's
    // entries at the relative paths `leftOut` stay out of the copy. The
    // record's `originalDate` is the content's date as the copy found it (a
    // folder's newest date). Announces a `remove` (when a record existed) and
    // then an `add` for `path`. Throws.
    void backUpData(const std::string& path,
                    const std::vector<std::filesystem::path>& leftOut = {});

    // Removes the record of `path`, drops its data copy (deleted after the
    // next save) and announces the removal. No record means nothing to do.
    void removeData(const std::string& path);

private:
    std::weak_ptr<BackupFile> file_;
};

}  // namespace quillfen
