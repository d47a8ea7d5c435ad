#include "app/BackupManager.h"

#include <algorithm>
#include <thread>

#include "app/BackupViewer.h"
#include "app/ReplacedPackages.h"
#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/NotificationCenter.h"
#include "local/AccessManager.h"
#include "sync/UndoStore.h"

namespace fs = std::filesystem;

namespace quillfen {

BackupManager& BackupManager::shared() {
    // Never destroyed: other process-wide objects may still use it while the
    // program exits, whatever the order of their destruction.
    static BackupManager* manager = new BackupManager();
    return *manager;
}

BackupManager::BackupManager() : viewer_(BackupViewer::create()) {}

BackupManager::~BackupManager() {
    // A worker still running refers to the manager: let it finish first. Its
    // completion step waits for the main queue, so keep driving it.
    while (workersRunning_.load() > 0) {
        if (keel::DispatchQueue::isMainThread()) keel::DispatchQueue::drainMain();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::shared_ptr<BackupFile> BackupManager::file() const {
    std::lock_guard lock(mutex_);
    return file_;
}

void BackupManager::setFile(std::shared_ptr<BackupFile> file) {
    std::lock_guard lock(mutex_);
    file_ = std::move(file);
}

bool BackupManager::canProcess() const {
    return !isProcessing() && file() != nullptr;
}

void BackupManager::setSyncProgressHandler(SyncEngine::ProgressHandler handler) {
    std::lock_guard lock(mutex_);
    syncProgressHandler_ = std::move(handler);
}

void BackupManager::setReplacesMissingDataList(bool replaces) {
    std::lock_guard lock(mutex_);
    replacesMissingDataList_ = replaces;
}

void BackupManager::setWaitsForPackageLock(bool waits) {
    waitsForPackageLock_.store(waits);
}

void BackupManager::setPackageLockWaitHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    packageLockWaitHandler_ = std::move(handler);
}

void BackupManager::setCreatesMissingPackage(bool creates) {
    createsMissingPackage_.store(creates);
}

PackageLock BackupManager::lockPackage(const fs::path& url, bool createsPackage) const {
    PackageLock::Options options;
    options.wait = waitsForPackageLock_.load();
    options.createsPackage = createsPackage;
    {
        std::lock_guard lock(mutex_);
        options.willWait = packageLockWaitHandler_;
    }
    return PackageLock::acquire(url, options);
}

std::chrono::seconds BackupManager::orphanCopyGracePeriod() {
    const auto seconds = keel::UserSettings::standard().get(orphanCopyGracePeriodKey);
    return std::chrono::seconds(std::max<std::int64_t>(seconds, 0));
}

PackageLock BackupManager::lockFor(BackupAction action) const {
    switch (action) {
        case BackupAction::reloadViewer:
            return {};
        case BackupAction::readBackupFile: {
            // Without access the read fails before it touches anything.
            if (!AccessManager::shared().hasAccess(fs::path("/"))) return {};
            const auto url = backupFileURL();
            if (!url) return {};
            const bool creates = createsMissingPackage_.load() || url == defaultBackupFileURL();
            try {
                return lockPackage(*url, creates);
            } catch (const BackupError& error) {
                // A location the read refuses anyway gets the read's own error.
                if (error.code() == BackupError::Code::backupFileIsNotADirectory ||
                    error.code() == BackupError::Code::backupFileExtensionIsInvalid)
                    return {};
                throw;
            }
        }
        case BackupAction::undoInstall: {
            // Undo changes this computer, not the package; it waits for a run
            // on the package in use, when there is one, like any other run.
            const auto url = backupFileURL();
            if (!url || !keel::FileManager::contentExists(*url).isDirectory) return {};
            return lockPackage(*url, false);
        }
        default: {
            const auto open = file();
            if (!open) return {};
            const fs::path url = open->url();
            if (!keel::FileManager::contentExists(url).isDirectory)
                throw BackupError(BackupError::Code::backupFileWasMovedOrDeleted, url);
            return lockPackage(url, false);
        }
    }
}

std::optional<fs::path> BackupManager::defaultBackupFileURL() {
    auto support = keel::FileManager::noSandboxBundleSupportDirectoryURL();
    if (!support) return std::nullopt;
    return *support / ("DefaultBackup." + BackupFile::packageExtension);
}

void BackupManager::setBackupFileURLOverride(std::optional<fs::path> url) {
    std::lock_guard lock(mutex_);
    backupFileURLOverride_ = std::move(url);
}

void BackupManager::storeLocation(const fs::path& url) {
    {
        std::lock_guard lock(mutex_);
        if (backupFileURLOverride_) {
            backupFileURLOverride_ = url;
            return;
        }
    }
    keel::UserSettings::standard().set(backupFileURLLocationKey, std::optional(url));
}

std::optional<fs::path> BackupManager::backupFileURL() const {
    {
        std::lock_guard lock(mutex_);
        if (backupFileURLOverride_) return backupFileURLOverride_;
    }
    if (auto stored = keel::UserSettings::standard().get(backupFileURLLocationKey)) return stored;
    return defaultBackupFileURL();
}

std::shared_ptr<BackupProcess> BackupManager::backupProcess(
    const keel::Notification& notification) {
    return notification.userInfoValue<std::shared_ptr<BackupProcess>>(processKey).value_or(nullptr);
}

std::optional<BackupAction> BackupManager::backupAction(const keel::Notification& notification) {
    if (auto process = backupProcess(notification)) return process->action();
    return std::nullopt;
}

// The blocks.

BackupProcess::Result BackupManager::readBlock() {
    if (!AccessManager::shared().hasAccess(fs::path("/")))
        throw BackupError(BackupError::Code::autorizationRequired);
    const auto url = backupFileURL();
    if (!url) throw BackupError(BackupError::Code::noBackupLocation);
    std::shared_ptr<BackupFile> opened;
    try {
        opened = BackupFile::open(*url);
    } catch (...) {
        std::throw_with_nested(BackupError(BackupError::Code::backupFileIsNotReadable, *url));
    }
    setFile(opened);
    // Creates the package folder and its data folder on first use.
    opened->save();
    return BackupProcess::Done();
}

BackupProcess::Result BackupManager::saveBlock() {
    if (auto open = file()) open->save();
    return BackupProcess::Done();
}

BackupProcess::Result BackupManager::moveBlock(const fs::path& to) {
    if (auto open = file()) open->move(to);
    storeLocation(to);
    return BackupProcess::Done();
}

namespace {

// Runs `change` of the open package after keeping a copy of the package as it
// is; a change that fails takes its copy away again, so that a failed attempt
// does not push an older copy out.
template <class Change>
void keepingReplacedPackage(BackupFile& open, Change change) {
    open.save();
    const auto copy = ReplacedPackages::keep(open.url());
    try {
        change();
    } catch (...) {
        std::error_code ignored;
        if (copy) fs::remove_all(copy->parent_path(), ignored);
        throw;
    }
}

}  // namespace

BackupProcess::Result BackupManager::replaceBlock(const fs::path& with) {
    if (auto open = file()) keepingReplacedPackage(*open, [&] { open->replace(with); });
    storeLocation(with);
    return BackupProcess::Done();
}

BackupProcess::Result BackupManager::importBlock(const fs::path& from) {
    if (auto open = file()) {
        std::error_code error;
        const bool same =
            fs::weakly_canonical(open->url(), error) == fs::weakly_canonical(from, error);
        if (same)
            open->importPackage(from);
        else
            keepingReplacedPackage(*open, [&] { open->importPackage(from); });
    }
    return BackupProcess::Done();
}

BackupProcess::Result BackupManager::exportBlock(const fs::path& to) {
    if (auto open = file()) open->exportPackage(to);
    return BackupProcess::Done();
}

BackupProcess::Result BackupManager::deviceBlock(SyncAction action) {
    auto open = file();
    if (!open) return std::monostate();
    SyncEngine engine(open, action);
    {
        std::lock_guard lock(mutex_);
        if (syncProgressHandler_) engine.setProgressHandler(syncProgressHandler_);
        engine.setReplacesMissingDataList(replacesMissingDataList_);
    }
    SyncLogs logs = engine.run();
    if (action == SyncAction::backUp) {
        // Copies nobody names, past their grace period: those of runs that
        // never saved, or that lost against another computer's save.
        try {
            open->removeOrphanCopies(orphanCopyGracePeriod());
        } catch (const std::exception&) {
            // Housekeeping: the next back-up tries again.
        }
    }
    return logs;
}

BackupProcess::Result BackupManager::undoBlock() {
    // Undo works on this computer's files and the store alone: the package
    // need not be open, and is not touched.
    auto store = UndoStore::standard();
    if (!store) throw UndoStore::NothingToUndo();
    return store->undoLastRun();
}

std::shared_ptr<BackupProcess> BackupManager::makeProcess(BackupAction action,
                                                          std::optional<fs::path> url) {
    BackupProcess::Block block;
    const fs::path argument = url.value_or(fs::path());
    switch (action) {
        case BackupAction::readBackupFile:
            block = [this] { return readBlock(); };
            break;
        case BackupAction::saveBackupFile:
            block = [this] { return saveBlock(); };
            break;
        case BackupAction::moveBackupFile:
            block = [this, argument] { return moveBlock(argument); };
            break;
        case BackupAction::replaceBackupFile:
            block = [this, argument] { return replaceBlock(argument); };
            break;
        case BackupAction::importBackupFile:
            block = [this, argument] { return importBlock(argument); };
            break;
        case BackupAction::exportBackupFile:
            block = [this, argument] { return exportBlock(argument); };
            break;
        case BackupAction::reloadViewer:
            block = [] { return BackupProcess::Done(); };
            break;
        case BackupAction::backUpDevice:
            block = [this] { return deviceBlock(SyncAction::backUp); };
            break;
        case BackupAction::installDevice:
            block = [this] { return deviceBlock(SyncAction::install); };
            break;
        case BackupAction::syncDevice:
            block = [this] { return deviceBlock(SyncAction::synchronize); };
            break;
        case BackupAction::undoInstall:
            block = [this] { return undoBlock(); };
            break;
    }
    // Every block runs holding its package's lock.
    BackupProcess::Block locked = [this, action, inner = std::move(block)] {
        const PackageLock lock = lockFor(action);
        return inner();
    };
    return std::make_shared<BackupProcess>(action, std::move(locked));
}

void BackupManager::readBackupFile() {
    process(makeProcess(BackupAction::readBackupFile));
}
void BackupManager::saveBackupFile() {
    process(makeProcess(BackupAction::saveBackupFile));
}
void BackupManager::moveBackupFile(const fs::path& to) {
    process(makeProcess(BackupAction::moveBackupFile, to));
}
void BackupManager::replaceBackupFile(const fs::path& with) {
    process(makeProcess(BackupAction::replaceBackupFile, with));
}
void BackupManager::importBackupFile(const fs::path& from) {
    process(makeProcess(BackupAction::importBackupFile, from));
}
void BackupManager::exportBackupFile(const fs::path& to) {
    process(makeProcess(BackupAction::exportBackupFile, to));
}
void BackupManager::reloadViewer() {
    process(makeProcess(BackupAction::reloadViewer));
}
void BackupManager::backUpDevice() {
    process(makeProcess(BackupAction::backUpDevice));
}
void BackupManager::installDevice() {
    process(makeProcess(BackupAction::installDevice));
}
void BackupManager::syncDevice() {
    process(makeProcess(BackupAction::syncDevice));
}
void BackupManager::undoInstall() {
    process(makeProcess(BackupAction::undoInstall));
}

void BackupManager::process(std::shared_ptr<BackupProcess> process) {
    if (!process || isProcessing_.exchange(true)) return;
    keel::NotificationCenter::defaultCenter().post(willProcessNotification, this,
                                                   {{processKey, process}});
    viewer_->enableAutomaticReload.setValue(false);
    ++workersRunning_;
    keel::DispatchQueue::global(keel::QualityOfService::utility).async([this, process] {
        work(process);
    });
}

void BackupManager::work(const std::shared_ptr<BackupProcess>& process) {
    const auto delay = processingDelay();
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    process->run();
    if (reloadsViewer_.load() && reloadsViewer(process->action())) {
        viewer_->setBackupFile(file());
        viewer_->reload(true);
    }
    keel::DispatchQueue::main().sync([&] {
        isProcessing_.store(false);
        viewer_->enableAutomaticReload.setValue(true);
        keel::NotificationCenter::defaultCenter().post(didProcessNotification, this,
                                                       {{processKey, process}});
    });
    --workersRunning_;
}

}  // namespace quillfen
