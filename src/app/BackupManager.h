// BackupManager: the one door for every long operation on the backup
// package: read, save, move, replace, import, export, reload the viewer, and
// back up, install or synchronize this computer, and undo the last install
// or synchronization. Callers ask for an action;
// the manager wraps it in a BackupProcess, runs it on a background queue,
// brings the viewer up to date with the resulting file, and announces the
// start and the end with two notifications that carry the process under
// "ProcessKey". It runs one process at a time and keeps no queue: a request
// made while a process runs is dropped (its block never runs and nothing is
// posted for it).
//
// Threads: `process` and the requests are called on the main thread; the
// will-process notification is posted there. The block runs on the global
// utility queue, after `processingDelay`. The completion step (clearing
// `isProcessing`, re-enabling the viewer's automatic reload, posting
// did-process) is a synchronous hop to the main queue, so the main thread
// must never wait for the worker. `file()` may be read from any thread.
//
// One run at a time per package on this computer: every process but the
// viewer's reload holds the package's PackageLock while its block runs (the
// read and the device actions, save, move, replace, import, export, and
// undo, which locks the configured package when it exists), whichever
// program runs it. A process that finds another run holding the lock waits
// for it (after calling the wait handler) or, when told not to wait, fails
// with BackupError backupFileIsInUse. A process whose open package has gone
// fails with backupFileWasMovedOrDeleted and re-creates nothing.
//
// Errors: nothing is thrown out of the manager; what a block throws reaches
// the observers in the process's `error`. A failed read is a BackupError
// (autorizationRequired, noBackupLocation, backupFileIsNotReadable); the
// last one carries the package's location and is thrown nested over the error
// that made opening fail (keel::nestedException gives it), so a front end can
// say which package and why.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/BackupAction.h"
#include "app/BackupProcess.h"
#include "backup/PackageLock.h"
#include "keel/Notification.h"
#include "keel/UserSettings.h"
#include "sync/SyncEngine.h"

namespace quillfen {

class BackupFile;
class BackupViewer;

class BackupManager {
public:
    static inline const std::string willProcessNotification =
        "BackupManagerWillProcessNotification";
    static inline const std::string didProcessNotification = "BackupManagerDidProcessNotification";
    static inline const std::string processKey = "ProcessKey";

    static inline const keel::OptionalUserSettingKey<std::filesystem::path>
        backupFileURLLocationKey{"BackupFileURLLocation"};
    static inline const keel::EvaluedUserSettingKey<bool> enableNoteAfterProcessingKey{
        "EnableNoteAfterProcessing", false};
    static inline const keel::EvaluedUserSettingKey<bool> enableAlertAfterProcessingKey{
        "EnableAlertAfterProcessing", false};
    // Seconds a data copy that no record names is kept before a back-up or a
    // clean-up deletes it: time for a cloud drive to deliver the "Data.json"
    // of another computer that names it. Seven days by default.
    static inline const keel::EvaluedUserSettingKey<std::int64_t> orphanCopyGracePeriodKey{
        "OrphanCopyGracePeriod", 7 * 24 * 60 * 60};

    // The instance of the process, created on first use together with its viewer.
    static BackupManager& shared();

    BackupManager();
    ~BackupManager();
    BackupManager(const BackupManager&) = delete;
    BackupManager& operator=(const BackupManager&) = delete;

    // The open package; empty until a read succeeds.
    std::shared_ptr<BackupFile> file() const;
    const std::shared_ptr<BackupViewer>& viewer() const { return viewer_; }
    // True from the acceptance of a process to its completion step.
    bool isProcessing() const { return isProcessing_.load(); }
    // True when no process runs and a file is open.
    bool canProcess() const;

    // How long the worker waits before it runs a process's block: one second,
    // which lets a window show its progress message. A front end without one
    // sets it to zero.
    std::chrono::milliseconds processingDelay() const { return processingDelay_.load(); }
    void setProcessingDelay(std::chrono::milliseconds delay) { processingDelay_.store(delay); }

    // Whether a process brings the viewer up to date with the file once its
    // block has run (true by default). A front end that shows no lists for
    // the rest of its life (a command that only runs or edits) switches it
    // off, sparing the stat of every settings path of every item per process.
    void setReloadsViewer(bool reloads) { reloadsViewer_.store(reloads); }

    // Progress of the device actions, handed to each sync engine (see
    // SyncEngine::ProgressHandler for its thread). Set before the request.
    void setSyncProgressHandler(SyncEngine::ProgressHandler handler);
    // Whether the back-ups started from now on go ahead in a package whose
    // "Data.json" has not arrived (see SyncEngine::setReplacesMissingDataList).
    // Off by default; callable from any thread.
    void setReplacesMissingDataList(bool replaces);

    // How processes take the package lock: wait for another run (the
    // default) or fail at once; `handler` (may be empty) is called on the
    // worker when a process starts to wait. Set before the request.
    void setWaitsForPackageLock(bool waits);
    void setPackageLockWaitHandler(std::function<void()> handler);
    // Whether a read creates a package at a location where nothing is yet
    // (true by default). The default package is created either way.
    void setCreatesMissingPackage(bool creates);
    // Takes the lock of the package at `url` with the manager's wait
    // settings, creating a missing package only when `createsPackage` (see
    // PackageLock for the errors). Any thread; it may block.
    PackageLock lockPackage(const std::filesystem::path& url, bool createsPackage) const;
    // The grace period of copies nobody names, from the settings.
    static std::chrono::seconds orphanCopyGracePeriod();

    void readBackupFile();
    void saveBackupFile();
    void moveBackupFile(const std::filesystem::path& to);
    // Replace and import first keep a copy of the open package as it is (see
    // ReplacedPackages), so that the user can go back by hand; a copy that
    // cannot be made fails the process before anything is replaced.
    void replaceBackupFile(const std::filesystem::path& with);
    void importBackupFile(const std::filesystem::path& from);
    void exportBackupFile(const std::filesystem::path& to);
    void reloadViewer();
    void backUpDevice();
    void installDevice();
    void syncDevice();
    // Puts back what the newest install or synchronize run not yet undone
    // replaced (see UndoStore); the result is an UndoStore::Result, and the
    // error UndoStore::NothingToUndo when every kept run has been undone.
    void undoInstall();

    // A process with the manager's own block for `action`; `url` is the
    // argument of move, replace, import and export.
    std::shared_ptr<BackupProcess> makeProcess(BackupAction action,
                                               std::optional<std::filesystem::path> url = {});

    // Accepts `process` unless one is running (then it is dropped). Main thread.
    void process(std::shared_ptr<BackupProcess> process);

    // The package location for this process: the override when one is set,
    // else the stored location, else the default one.
    std::optional<std::filesystem::path> backupFileURL() const;
    // A location used instead of the stored one by this process only (the
    // command line's --package). While it is set, move and replace update it
    // and leave the stored location alone.
    void setBackupFileURLOverride(std::optional<std::filesystem::path> url);
    // "DefaultBackup.qfbackup" in the support folder; nothing without one.
    static std::optional<std::filesystem::path> defaultBackupFileURL();

    static std::shared_ptr<BackupProcess> backupProcess(const keel::Notification& notification);
    static std::optional<BackupAction> backupAction(const keel::Notification& notification);

private:
    BackupProcess::Result readBlock();
    BackupProcess::Result saveBlock();
    BackupProcess::Result moveBlock(const std::filesystem::path& to);
    BackupProcess::Result replaceBlock(const std::filesystem::path& with);
    BackupProcess::Result importBlock(const std::filesystem::path& from);
    BackupProcess::Result exportBlock(const std::filesystem::path& to);
    BackupProcess::Result deviceBlock(SyncAction action);
    BackupProcess::Result undoBlock();
    // The lock a process of `action` holds while its block runs.
    PackageLock lockFor(BackupAction action) const;
    void setFile(std::shared_ptr<BackupFile> file);
    void storeLocation(const std::filesystem::path& url);
    void work(const std::shared_ptr<BackupProcess>& process);

    mutable std::mutex mutex_;
    std::shared_ptr<BackupFile> file_;
    std::optional<std::filesystem::path> backupFileURLOverride_;
    SyncEngine::ProgressHandler syncProgressHandler_;
    bool replacesMissingDataList_ = false;
    std::shared_ptr<BackupViewer> viewer_;
    std::atomic<bool> isProcessing_{false};
    std::atomic<std::chrono::milliseconds> processingDelay_{std::chrono::seconds(1)};
    std::atomic<int> workersRunning_{0};
    std::atomic<bool> waitsForPackageLock_{true};
    std::atomic<bool> createsMissingPackage_{true};
    std::atomic<bool> reloadsViewer_{true};
    std::function<void()> packageLockWaitHandler_;
};

}  // namespace quillfen
