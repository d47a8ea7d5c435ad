// BackupFileData: the in-memory image of one open backup package.
//
// A package is a directory whose name has the extension "qfbackup" (compared
// exactly). It holds up to six JSON files, each optional, and a "Data" folder
// of data copies:
//   "Apps.json"    array of BackupAppItem, kept here keyed by name
//   "Execs.json"   array of BackupExecItem, keyed by name
//   "Files.json"   array of BackupFileItem, keyed by path
//   "History.json" array of BackupEventItem, newest first
//   "Data.json"    object from settings path to BackupDataItem
//   "Notes.json"   array of BackupNoteItem (the note is the first element)
//   "Data/<uuid>.qfdata"  an exact copy of one local settings file or folder
// Nothing else in the package is read or written.
//
// Every list has a change flag. Any change of a list, by assignment or through
// its mutable accessor, sets the flag; reading the list's file or writing it
// successfully clears it. `write()` writes only the flagged lists, each file
// atomically and durably, so that a small edit rewrites one or two files and a
// reader on another computer never sees half a file.
//
// A package in a replicated folder may be written by another computer while
// this instance holds it. So just before `write()` writes a list file, it
// looks at the file again; when the file is no longer the one this instance
// last read or wrote (size, date, inode or device), it reads it and merges:
// the edits made here since are applied over the other computer's version
// (see PackageMerge), and the result is written atomically as always. One
// computer's runs are kept apart by the PackageLock; the merge covers those
// of several computers.
//
// The package folder keeps its identity (device and inode) from its opening
// or its creation: when it has disappeared or been replaced since, every
// operation that would write, read a copy or create a folder throws
// BackupError backupFileWasMovedOrDeleted instead, and nothing is created at
// its location again.
//
// Data copies are stored at once, under fresh names, and flushed to the disk
// by the next `write()` before it writes a "Data.json" that refers to them. A
// copy that is dropped (`discardData`) stays on disk until a `write()` has
// saved "Data.json" without it; it is listed in this computer's
// DataCopyDeletionSchedule first, so that a copy whose deletion an interrupted
// run never made is deleted when this computer next opens the package. New
// copies are listed there too before they are written (`makeCopyName`) and
// taken off once a saved "Data.json" names them, so a copy of a run that was
// killed or failed is deleted at the next opening as well. Before deleting a
// copy, the save reads the "Data.json" on disk again: a copy it names stays.
// So
// after an interruption at any point, the "Data.json" on disk refers only to
// complete copies. The package folder and its "Data" folder are created
// readable by the owner only.
//
// Errors:
// - BackupError for the package's own rules (a location that is a file, a
//   wrong extension, a local folder the process may not write);
// - BackupDecodingError (with the file's path) for a package file that is not
//   valid JSON or holds a record that does not decode, and for one that is
//   not a regular file (a symbolic link, a pipe), is larger than 64 MiB or
//   nests deeper than 64 levels: such a file is refused before it is parsed;
// - std::filesystem::filesystem_error for every file-system failure, including
//   the refusal (invalid_argument) to move, import or export a package onto
//   itself or across a folder that contains it, the refusal (file_too_large)
//   to write a file that reading would refuse, and the refusal
//   (operation_not_permitted) to follow a "Data" link that leads out of the
//   package or to restore a data copy that is a link;
// - std::invalid_argument when a data copy name is not a UUID, or a local
//   location is not one of a settings item (see `storeData`).
// A failed operation leaves the lists as the operation describes; none leaves a
// half-written file or package behind.
//
// Threads: no lock and no queue of its own; use one instance from one thread
// at a time. Only `url()` may be called from any thread at any moment: it
// gives the old or the new location while a move or replace runs.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "backup/BackupAppItem.h"
#include "backup/BackupDataItem.h"
#include "backup/BackupEventItem.h"
#include "backup/BackupExecItem.h"
#include "backup/BackupFileItem.h"
#include "backup/BackupNoteItem.h"
#include "backup/ItemRecord.h"
#include "keel/Atomic.h"
#include "keel/URL.h"

namespace quillfen {

class BackupFileData {
public:
    // The records of one kind of item by key.
    template <ItemRecord Item>
    using ItemMap = std::unordered_map<std::string, Item>;
    using AppItems = ItemMap<BackupAppItem>;                            // by name
    using ExecItems = ItemMap<BackupExecItem>;                          // by name
    using FileItems = ItemMap<BackupFileItem>;                          // by path
    using EventItems = std::vector<BackupEventItem>;                    // newest first
    using DataItems = std::unordered_map<std::string, BackupDataItem>;  // by settings path
    using NoteItems = std::vector<BackupNoteItem>;

    static constexpr const char* packageExtension = "qfbackup";
    static constexpr const char* dataFolderName = "Data";
    static constexpr const char* dataCopyExtension = "qfdata";

    // Opens the package at `url`: throws backupFileIsNotADirectory when a file
    // (not a directory) is there, backupFileExtensionIsInvalid when the name
    // does not end in ".qfbackup", and any error of `read()`. A location where
    // nothing exists opens as an empty package; nothing is created on disk
    // until the first `write()`. A trailing "/" is ignored.
    explicit BackupFileData(const keel::URL& url);

    BackupFileData(const BackupFileData&) = delete;
    BackupFileData& operator=(const BackupFileData&) = delete;

    // The package's location; callable from any thread.
    keel::URL url() const { return url_.value(); }

    // The lists. The `mutable...` accessors and the setters mark the list
    // changed; the mutable accessors do so on the call, whether or not the
    // caller then changes anything. In the dictionaries the key must equal the
    // record's name (apps, executables) or path (files).
    const AppItems& appItems() const { return appItems_; }
    const ExecItems& execItems() const { return execItems_; }
    const FileItems& fileItems() const { return fileItems_; }
    const EventItems& eventItems() const { return eventItems_; }
    const DataItems& dataItems() const { return dataItems_; }
    const NoteItems& noteItems() const { return noteItems_; }

    AppItems& mutableAppItems();
    ExecItems& mutableExecItems();
    FileItems& mutableFileItems();
    EventItems& mutableEventItems();
    DataItems& mutableDataItems();
    NoteItems& mutableNoteItems();

    // The list of the records of type `Item`, as the accessors above.
    template <ItemRecord Item>
    const ItemMap<Item>& items() const;
    template <ItemRecord Item>
    ItemMap<Item>& mutableItems();

    void setAppItems(AppItems items);
    void setExecItems(ExecItems items);
    void setFileItems(FileItems items);
    void setEventItems(EventItems items);
    void setDataItems(DataItems items);
    void setNoteItems(NoteItems items);

    bool needsToWriteAppItems() const { return needsToWriteAppItems_; }
    bool needsToWriteExecItems() const { return needsToWriteExecItems_; }
    bool needsToWriteFileItems() const { return needsToWriteFileItems_; }
    bool needsToWriteEventItems() const { return needsToWriteEventItems_; }
    bool needsToWriteDataItems() const { return needsToWriteDataItems_; }
    bool needsToWriteNoteItems() const { return needsToWriteNoteItems_; }

    // Reloads the six lists, in the order apps, executables, files, history,
    // data, notes, clearing each list's flag. A missing file (or a directory in
    // its place) reads as an empty list. Stops at the first error: the lists
    // read before it keep their new values, the others their old ones. When two
    // records of "Apps.json", "Execs.json" or "Files.json" share a key, the
    // later one is kept.
    void read();

    // Creates the package directory and its "Data" folder when missing, then
    // writes every flagged list in the order of `read()`: the apps, executables
    // and files sorted by key in Finder order, the history and the notes in
    // list order. Each file replaces the old one atomically and durably and
    // clears its flag. The first failure is thrown; that list and the ones
    // after it stay flagged, so the next `write()` tries exactly them again.
    // Before "Data.json": the copies stored since the last save are flushed
    // and the discarded copies scheduled (a failure of either is thrown and
    // nothing is written); after it, the discarded copies are deleted.
    void write();

    // Creates "Data" inside the package, and the package directory with it,
    // each with mode 0700.
    void createDataFolder();

    // The data copy operations. `name` must be a UUID (std::invalid_argument
    // otherwise), so that no name can reach outside the "Data" folder. The
    // local location may not climb with "..", hold a NUL character, nor be the
    // home folder or a folder containing it (std::invalid_argument). A "Data"
    // that is a symbolic link is followed only to a folder inside the package
    // (filesystem_error otherwise, also from `createDataFolder` and so from
    // `write`). A symbolic link at the local location is never copied nor
    // overwritten, and that is no error; links inside a folder are copied as
    // links and never written through.
    //
    // Copies the local item at `from` over the copy `name` ("Data/<name>.qfdata"),
    // keeping contents, permission bits and modification dates, without the
    // entries of a folder at the relative paths `leftOut`; a copied folder is
    // dated by the newest date in it. Returns that date (see
    // FileManager::newestModifyDate), which tells the copy's age; nothing,
    // and nothing copied, when nothing is at `from` or a link is there. A
    // local folder the process may not both read and write throws
    // localDataCannotBeWritten.
    std::optional<keel::Date> storeData(const keel::URL& from, const std::string& name,
                                        const std::vector<std::filesystem::path>& leftOut = {});
    // Copies the copy `name` over the local item at `to`, creating `to`'s parent
    // folders; the entries of a local folder at the relative paths `kept`
    // stay as they are (see keel::CopyOptions). A missing copy throws
    // dataCopyHasNotArrived; a copy that is a symbolic link is refused
    // (filesystem_error), and a link at `to` is neither replaced nor written
    // through (nothing happens). A copy that is a folder is restored only
    // over a local item the process may read and write (so not to a location
    // where nothing is yet); otherwise it throws localDataCannotBeWritten.
    void restoreData(const std::string& name, const keel::URL& to,
                     const std::vector<std::filesystem::path>& kept = {});
    // Where the copy `name` is ("Data/<name>.qfdata"), for reading it in place;
    // it may not have arrived yet. Throws as `restoreData` for a name that is
    // not a UUID, a package that went away and a "Data" link leading out of
    // the package.
    keel::URL copyLocation(const std::string& name) const;
    // Whether the package holds data copies but no "Data.json": a cloud drive
    // that has brought the copies before the list naming them. Reading such a
    // package gives no records; writing "Data.json" then would orphan every
    // copy. Looks at the disk each time; never throws.
    bool dataListIsMissing() const;
    // Deletes the copy `name` at once (a copy that is a link: the link
    // itself); a missing copy is no error. For a copy a saved "Data.json" may
    // refer to, use `discardData`.
    void removeData(const std::string& name);
    // A fresh copy name (a UUID) for a copy about to be stored. It is listed
    // in this computer's deletion schedule before it is returned (names are
    // listed in batches), and taken off once a saved "Data.json" names the
    // copy. Throws what writing the schedule throws: no copy may be made then.
    std::string makeCopyName();
    // Drops the copy `name`: it is deleted once the next `write()` has saved
    // "Data.json", and only if no record then refers to it. Until then it stays
    // on disk, so the last saved "Data.json" never refers to a missing copy.
    void discardData(const std::string& name);

    // A data copy that no record names.
    struct OrphanCopy {
        std::string name;         // the copy name, without ".qfdata"
        std::uint64_t bytes = 0;  // its size, everything in it for a folder
        friend bool operator==(const OrphanCopy&, const OrphanCopy&) = default;
    };
    // The entries "Data/<uuid>.qfdata" that neither the "Data.json" on disk
    // (read again here) nor this instance's records name, that this computer
    // has not scheduled, and that arrived (their status change time) more
    // than `gracePeriod` ago: long enough for a cloud drive to have delivered
    // the "Data.json" that names them, when another computer wrote one. In
    // Finder order of name. Nothing when "Data.json" cannot be read. Throws
    // what checking the package throws.
    std::vector<OrphanCopy> orphanCopies(std::chrono::seconds gracePeriod) const;
    // Deletes those copies and returns the ones deleted (one that cannot be
    // deleted is left out). Throws as `orphanCopies`.
    std::vector<OrphanCopy> removeOrphanCopies(std::chrono::seconds gracePeriod);

    // The package operations. Each first runs `write()`, so pending changes
    // reach the current location; an error of it is thrown and nothing else
    // happens.
    //
    // Moves the package directory to `to` (which must end in ".qfbackup"),
    // replacing whatever is there, and adopts the new location. The lists stay
    // as they are. Moving onto the current location does nothing.
    void move(const keel::URL& to);
    // Adopts the package at `with` (validated as when opening) and its lists.
    // When it cannot be read, the error is thrown and this instance keeps its
    // location and lists.
    void replace(const keel::URL& with);
    // Replaces the whole package directory by a copy of the package at `from`
    // and reads it. `from` is validated and read first; a package that does not
    // open, or a copy that fails part-way, leaves the current package intact.
    void importPackage(const keel::URL& from);
    // Copies the package directory to `to`, replacing whatever is there; a
    // failed copy leaves `to` as it was. The location is unchanged.
    void exportPackage(const keel::URL& to);

private:
    enum ListFile : std::size_t {
        appsFile,
        execsFile,
        filesFile,
        historyFile,
        dataFile,
        notesFile,
        listFileCount
    };
    // What a list file on disk was when this instance last read or wrote it.
    struct FileStamp {
        bool exists = false;
        std::uint64_t device = 0, inode = 0;
        std::int64_t size = 0, seconds = 0, nanoseconds = 0;
        friend bool operator==(const FileStamp&, const FileStamp&) = default;
    };
    using Identity = std::pair<std::uint64_t, std::uint64_t>;

    keel::URL packageURL() const { return url_.value(); }
    keel::URL listFileURL(ListFile file) const;
    static FileStamp stampOf(const keel::URL& file);
    // Merges the list file on disk into `ours` when it changed since it was
    // last read or written here; `base` becomes the version on disk. A file
    // that cannot be read is written over as before.
    template <class List, class Read, class Merge>
    void mergeFromDisk(ListFile file, List& ours, List& base, Read readFile, Merge merge);
    void mergeDataFromDisk();
    template <class List>
    void didWrite(ListFile file, const List& written, List& base);
    // Throws backupFileWasMovedOrDeleted when the package folder is no longer
    // the one this instance opened or created.
    void checkIdentity() const;
    void adoptIdentity();
    std::set<std::string> namesOnDisk() const;
    std::set<std::string> referencedCopies() const;
    void scheduleDiscardedCopies();
    void deleteDiscardedCopies();
    // Deletes what this computer scheduled and the package no longer refers
    // to, and the temporaries of copies its interrupted runs left.
    void collectAbandonedCopies();
    void moveScheduledDeletions(const keel::URL& from, const keel::URL& to);
    keel::URL dataCopyURL(const std::string& name) const;
    void checkCurrentLocation() const;
    // The home folder and the package as the checks of local locations
    // compare them, links resolved. Every data copy of a run is checked
    // against them, so they are resolved once: again after each `read()` and
    // `write()` (a run ends with a save), and when either location changes.
    struct ResolvedLocations {
        keel::URL home, package;  // as given
        keel::URL normalHome, resolvedHome, resolvedPackage;
    };
    const ResolvedLocations& resolvedLocations();
    // Throws std::invalid_argument when `local` is no location of a settings
    // item (see `storeData`); resolves `local` itself on every call.
    void requireLocalItemLocation(const keel::URL& local);

    keel::Atomic<keel::URL> url_;
    AppItems appItems_;
    ExecItems execItems_;
    FileItems fileItems_;
    EventItems eventItems_;
    DataItems dataItems_;
    NoteItems noteItems_;
    bool needsToWriteAppItems_ = false;
    bool needsToWriteExecItems_ = false;
    bool needsToWriteFileItems_ = false;
    bool needsToWriteEventItems_ = false;
    bool needsToWriteDataItems_ = false;
    bool needsToWriteNoteItems_ = false;
    // Copies stored since the last flush, which "Data.json" may not refer to
    // before they are on the disk.
    bool needsToFlushCopies_ = false;
    // Copies dropped since the last save of "Data.json".
    std::set<std::string> discardedCopies_;
    // The package folder's device and inode, once it exists.
    std::optional<Identity> identity_;
    // Each list file as last read or written, and its content then.
    std::array<FileStamp, listFileCount> stamps_{};
    struct Lists {
        AppItems apps;
        ExecItems execs;
        FileItems files;
        EventItems events;
        DataItems data;
        NoteItems notes;
    } base_;
    // Scheduled copy names not handed out yet, and all those scheduled since
    // the last save of "Data.json".
    std::vector<std::string> copyNamePool_;
    std::set<std::string> scheduledCopyNames_;
    std::size_t nextBatchSize_ = 8;
    std::optional<ResolvedLocations> resolvedLocations_;
};

template <ItemRecord Item>
const BackupFileData::ItemMap<Item>& BackupFileData::items() const {
    if constexpr (Item::kind == ItemKind::app) {
        return appItems_;
    } else if constexpr (Item::kind == ItemKind::exec) {
        return execItems_;
    } else {
        return fileItems_;
    }
}

template <ItemRecord Item>
BackupFileData::ItemMap<Item>& BackupFileData::mutableItems() {
    if constexpr (Item::kind == ItemKind::app) {
        return mutableAppItems();
    } else if constexpr (Item::kind == ItemKind::exec) {
        return mutableExecItems();
    } else {
        return mutableFileItems();
    }
}

}  // namespace quillfen
