// SyncEngine: carries out one device action on an open backup package: back
// up this computer into the package, install the package onto this computer,
// or synchronize the two (per settings path, the newer side wins).
//
// A run walks every application, executable and custom file the package
// records (in that order, each list in Finder order), builds each item's state
// and copies every settings path of every enabled item that is not excluded:
// all of them for a back-up or an install, only those whose state asks for it
// for a synchronization. Before an install or synchronize run replaces or
// creates a local item, it keeps the item as it was in the undo store (see
// UndoStore; the paths of one item are all kept, and flushed together,
// before the first of them is replaced), and removes the temporaries an
// interrupted copy left beside it;
// a path whose item cannot be kept is not replaced and reports why. Entries
// the user excluded inside a settings folder stay out of its copy, and an
// install keeps the local version of them. A symbolic link at a settings
// path is followed where SettingsLink allows it (the content is copied, and
// installed where the link leads) and fails its path otherwise; a record
// whose copy has not arrived fails its path in an install or synchronize.
// Before a property list is copied (and again after it was restored) the
// preferences tool reads it, so that the system's cached preferences and the
// file agree. A path whose copy fails is recorded in the logs and the run
// goes on; the run ends with one history event and one save.
//
// Threads: `run()` blocks the calling thread until every item is done. Item
// states are built on the calling thread; items are processed on a queue of
// the engine's own, up to eight at once, so that slow preferences-tool calls
// overlap. Every access to the package is one of the backup file's own
// operations, which run synchronously on its serial queue: copies never
// overlap. Hence neither `run()` nor the `process` functions may be called on
// the backup file's queue. One engine serves one run at a time.
//
// Errors: only `run()` throws, and only the error of the final save. The
// `process(state)` step throws what the package's copy threw, and
// BackupError(syncActionIsNotSupported) for an engine whose action is not
// backUp, install or synchronize; `process(item)` turns those into the item's
// result.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "backup/SyncAction.h"
#include "local/TemporaryLeftovers.h"
#include "sync/SyncItemState.h"
#include "sync/SyncLogs.h"
#include "sync/SyncPathState.h"
#include "sync/SyncResult.h"
#include "sync/UndoStore.h"

namespace quillfen {

class BackupFile;
class LocalResources;

class SyncEngine {
public:
    // Called after each item of a run has finished, with the number of items
    // finished so far and the number the run will process. It runs on one of
    // the engine's worker threads, never two calls at once, with `done`
    // counting up from 1 to `total` (no call for a package without items). It
    // must not call back into the engine, and what it throws is ignored.
    using ProgressHandler = std::function<void(std::size_t done, std::size_t total)>;

    static constexpr int maxConcurrentItems = 8;

    // An engine for `action` on `file`, with the installed applications and
    // the exclusion list of `LocalResources::shared()`. Throws
    // std::invalid_argument for a null file.
    SyncEngine(std::shared_ptr<BackupFile> file, SyncAction action);
    // The same with the installed applications and exclusion list of `local`,
    // which must outlive the engine.
    SyncEngine(std::shared_ptr<BackupFile> file, SyncAction action, const LocalResources& local);

    SyncEngine(const SyncEngine&) = delete;
    SyncEngine& operator=(const SyncEngine&) = delete;

    const std::shared_ptr<BackupFile>& file() const { return file_; }
    SyncAction action() const { return action_; }

    // Set before `run()`.
    void setProgressHandler(ProgressHandler handler);

    // Where install and synchronize runs keep what they replace; by default
    // the store in the support folder. Nothing means no store: every path
    // to install then fails rather than be replaced without a kept copy.
    // Set before `run()`.
    void setUndoStore(std::optional<UndoStore> store);
    const std::optional<UndoStore>& undoStore() const { return undoStore_; }
    // How old a temporary left beside a path must be before a run removes
    // it; TemporaryLeftovers::minimumAge unless set. Set before `run()`.
    void setLeftoverAge(std::chrono::seconds age) { leftoverAge_ = age; }

    // Whether a back-up goes ahead in a package whose data copies have
    // arrived without their "Data.json" (see BackupFile::dataListIsMissing):
    // it then records this computer's paths afresh, and the copies no record
    // names become orphans. Off by default. Set before `run()`.
    void setReplacesMissingDataList(bool replaces) { replacesMissingDataList_ = replaces; }

    // Performs the action on every recorded item, adds a history event with
    // the action and saves the package. An install or synchronize run holds
    // the undo store's lock (UndoStore::lock) throughout. When the package
    // turns out moved or deleted, the run stops copying, saves nothing and
    // throws BackupError backupFileWasMovedOrDeleted. A package whose
    // "Data.json" has not arrived while its data copies have is refused
    // before anything is done (BackupError dataListHasNotArrived), unless a
    // back-up was told to replace it. Returns the failures; throws only
    // what the save threw (the failures are then lost, while the history
    // event stays in the package's memory for the next save). A second call
    // repeats the whole action.
    SyncLogs run();

    // Copies the settings paths of one item; a disabled item (or one the
    // package holds no record of) is left alone. Never throws.
    SyncResult process(const SyncItemState& item) const;

    // Copies one settings path the way the engine's action asks; a path that
    // is excluded, or needs nothing in a synchronization, is left alone.
    // Outside `run()` an install keeps no undo record.
    void process(const SyncPathState& state) const;

    // Lets the preferences tool read the path's file when it is an existing
    // property list ("plist" extension, not a folder). Never fails: a tool
    // that is missing or cannot be started is skipped.
    void refreshPreferences(const SyncPathState& state) const;

    // The preferences tool the engines run, "/usr/bin/defaults" unless set.
    // May be changed at any time; a call already running keeps its tool.
    static void setPreferencesToolPath(std::filesystem::path path);
    static std::filesystem::path preferencesToolPath();

private:
    // What one run shares between its items: the undo record, begun with
    // the first path to replace, and the leftover sweep.
    struct RunContext;

    void backUp(const SyncPathState& state) const;
    void install(const SyncPathState& state) const;
    // What `process(state)` does with the path: backUp, install, or
    // doNothing for a path that is excluded or needs nothing.
    SyncAction actionFor(const SyncPathState& state) const;
    // The run's undo record, begun on the first call. Throws when there is
    // no store to keep it in.
    std::shared_ptr<UndoRun> undoRun() const;
    // Keeps, without flushing one by one, every path of `item` that an
    // install in this run replaces, so that one flush makes all their undo
    // records durable before the first is replaced. A path that cannot be
    // kept here is tried again, and reported, when it is installed.
    void keepAhead(const SyncItemState& item) const;

    std::shared_ptr<BackupFile> file_;
    SyncAction action_;
    const LocalResources* local_;
    ProgressHandler progressHandler_;
    std::optional<UndoStore> undoStore_;
    std::chrono::seconds leftoverAge_ = TemporaryLeftovers::minimumAge;
    bool replacesMissingDataList_ = false;
    // Set while `run()` runs.
    RunContext* context_ = nullptr;
};

}  // namespace quillfen
