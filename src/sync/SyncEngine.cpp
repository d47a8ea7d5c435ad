#include "sync/SyncEngine.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "keel/Atomic.h"
#include "keel/CarriedException.h"
#include "keel/FileLock.h"
#include "keel/FileManager.h"
#include "keel/OperationQueue.h"
#include "keel/URL.h"
#include "local/LocalResources.h"
#include "local/PreferencesTool.h"
#include "local/SettingsLink.h"
#include "sync/UndoRun.h"

namespace quillfen {

namespace {

keel::Atomic<std::filesystem::path>& toolPath() {
    static keel::Atomic<std::filesystem::path> path{std::filesystem::path("/usr/bin/defaults")};
    return path;
}

std::shared_ptr<BackupFile> checked(std::shared_ptr<BackupFile> file) {
    if (!file) throw std::invalid_argument("SyncEngine needs a backup file");
    return file;
}

// Counts finished items and reports them one call at a time, so that the
// handler sees an increasing count without locking of its own.
class Progress {
public:
    Progress(const SyncEngine::ProgressHandler& handler, std::size_t total)
        : handler_(handler), total_(total) {}

    void itemDidFinish() {
        std::lock_guard lock(mutex_);
        ++done_;
        if (!handler_) return;
        try {
            handler_(done_, total_);
        } catch (...) {
            // Showing progress must not cost the run.
        }
    }

private:
    const SyncEngine::ProgressHandler& handler_;
    const std::size_t total_;
    std::mutex mutex_;
    std::size_t done_ = 0;
};

}  // namespace

struct SyncEngine::RunContext {
    explicit RunContext(std::chrono::seconds leftoverAge) : leftovers(leftoverAge) {}

    TemporaryLeftovers leftovers;
    std::mutex mutex;
    std::shared_ptr<UndoRun> undoRun;
    // Set once the package was found moved or deleted: the run writes
    // nothing more and ends with that error.
    std::atomic<bool> packageIsGone{false};
    std::exception_ptr packageError;
    // Why the undo store cannot keep anything in this run, if it cannot.
    std::string undoStoreError;
};

namespace {

bool isPackageGone(const std::exception_ptr& error) {
    const auto backupError = keel::carriedException<BackupError>(error);
    return backupError && backupError->code() == BackupError::Code::backupFileWasMovedOrDeleted;
}

}  // namespace

SyncEngine::SyncEngine(std::shared_ptr<BackupFile> file, SyncAction action)
    : SyncEngine(std::move(file), action, LocalResources::shared()) {}

SyncEngine::SyncEngine(std::shared_ptr<BackupFile> file, SyncAction action,
                       const LocalResources& local)
    : file_(checked(std::move(file))),
      action_(action),
      local_(&local),
      undoStore_(UndoStore::standard()) {}

void SyncEngine::setProgressHandler(ProgressHandler handler) {
    progressHandler_ = std::move(handler);
}

void SyncEngine::setUndoStore(std::optional<UndoStore> store) {
    undoStore_ = std::move(store);
}

SyncLogs SyncEngine::run() {
    // Without "Data.json" the package reads as never backed up: an install
    // would find nothing, and the save of a back-up or synchronize would
    // write a list that names none of the copies there.
    if (!(action_ == SyncAction::backUp && replacesMissingDataList_) && file_->dataListIsMissing())
        throw BackupError(BackupError::Code::dataListHasNotArrived, file_->url());
    SyncLogs logs(action_);
    const std::vector<BackupAppItem> apps = file_->appItems();
    const std::vector<BackupExecItem> execs = file_->execItems();
    const std::vector<BackupFileItem> files = file_->fileItems();
    Progress progress(progressHandler_, apps.size() + execs.size() + files.size());

    // An install or synchronize run and an undo must not interleave: the
    // undo would put back paths the run then overwrites, or miss the ones it
    // has yet to keep.
    RunContext context(leftoverAge_);
    keel::FileLock undoLock;
    if (undoStore_ && action_ != SyncAction::backUp) {
        try {
            undoLock = undoStore_->lock();
        } catch (const std::exception& error) {
            // Without the lock nothing kept could be trusted: no path is replaced.
            context.undoStoreError = error.what();
        }
    }
    context_ = &context;
    struct Clear {
        RunContext*& context;
        ~Clear() { context = nullptr; }
    } clear{context_};
    // A state that cannot be found fails the run, as when the states were
    // found before any operation began: rethrown once every item is done and
    // what was kept for undo is closed.
    std::mutex stateErrorMutex;
    std::exception_ptr stateError;
    {
        // Declared after what its operations use, so that it is destroyed,
        // and every operation finished, before any of that goes away.
        keel::OperationQueue queue(maxConcurrentItems);
        // Each item's state is found inside its operation: the first copies
        // begin while the states of later items are still being read, and
        // the file system is asked on every thread at once.
        const auto submit = [&](auto stateOf) {
            queue.addOperation([this, &logs, &progress, &stateErrorMutex, &stateError,
                                stateOf = std::move(stateOf)] {
                std::optional<SyncItemState> item;
                try {
                    item.emplace(stateOf());
                } catch (...) {
                    std::lock_guard lock(stateErrorMutex);
                    if (!stateError) stateError = std::current_exception();
                }
                if (item) logs.append(process(*item));
                progress.itemDidFinish();
            });
        };
        for (const BackupAppItem& app : apps)
            submit([this, name = app.name] {
                return SyncItemState::forAppName(file_, name, *local_);
            });
        for (const BackupExecItem& exec : execs)
            submit([this, name = exec.name] {
                return SyncItemState::forExecName(file_, name, *local_);
            });
        for (const BackupFileItem& custom : files)
            submit([this, path = custom.path] {
                return SyncItemState::forFilePath(file_, path, *local_);
            });
        queue.waitUntilAllOperationsAreFinished();
    }
    if (context.undoRun) undoStore_->finishRun(*context.undoRun);
    if (stateError) std::rethrow_exception(stateError);

    file_->addEvent(action_);
    // The event stays in memory; nothing more is written where the package was.
    if (context.packageIsGone) std::rethrow_exception(context.packageError);
    file_->save();
    return logs;
}

SyncResult SyncEngine::process(const SyncItemState& item) const {
    SyncResult result{item.identifier, {}};
    if (!item.isEnabled.value_or(false)) return result;
    keepAhead(item);
    for (const auto& [path, state] : item.states) {
        if (context_ && context_->packageIsGone) break;
        try {
            process(state);
        } catch (...) {
            const auto error = std::current_exception();
            if (context_ && isPackageGone(error)) {
                std::lock_guard lock(context_->mutex);
                if (!context_->packageIsGone) context_->packageError = error;
                context_->packageIsGone = true;
            }
            result.errors.insert_or_assign(path, SyncResult::Error::from(error));
        }
    }
    return result;
}

SyncAction SyncEngine::actionFor(const SyncPathState& state) const {
    if (local_->isExcluded(state.url)) return SyncAction::doNothing;
    // A link into an excluded place is left alone as the place itself is.
    if (const auto followed = SettingsLink::followedLocation(state.url);
        followed && *followed != state.url && local_->isExcluded(*followed))
        return SyncAction::doNothing;
    switch (action_) {
        case SyncAction::backUp:
        case SyncAction::install:
            return action_;
        case SyncAction::synchronize:
            if (state.action == SyncAction::backUp || state.action == SyncAction::install)
                return state.action;
            return SyncAction::doNothing;
        case SyncAction::doNothing:
        case SyncAction::unknown:
        case SyncAction::multiple:
        case SyncAction::upToDate:
            break;
    }
    throw BackupError(BackupError::Code::syncActionIsNotSupported);
}

void SyncEngine::process(const SyncPathState& state) const {
    switch (actionFor(state)) {
        case SyncAction::backUp:
            backUp(state);
            return;
        case SyncAction::install:
            install(state);
            return;
        default:
            return;
    }
}

std::shared_ptr<UndoRun> SyncEngine::undoRun() const {
    std::lock_guard lock(context_->mutex);
    if (!context_->undoRun) {
        if (!undoStore_) throw std::runtime_error("there is no support folder to keep it in");
        if (!context_->undoStoreError.empty()) throw std::runtime_error(context_->undoStoreError);
        context_->undoRun = undoStore_->beginRun(action_, file_->url().string());
    }
    return context_->undoRun;
}

void SyncEngine::keepAhead(const SyncItemState& item) const {
    if (!context_ || action_ == SyncAction::backUp || item.states.size() < 2) return;
    for (const auto& [path, state] : item.states) {
        if (context_->packageIsGone) return;
        try {
            // A property list is kept only after the preferences tool has
            // read it, as its install does.
            if (keel::pathExtension(state.url) == "plist" ||
                actionFor(state) != SyncAction::install || !file_->dataItem(state.path))
                continue;
            const keel::URL content = SettingsLink::contentLocation(state.url);
            context_->leftovers.removeFor(content);
            undoRun()->keep(state.path, content, false);
        } catch (...) {
            // The install of the path meets the same error and reports it.
        }
    }
}

void SyncEngine::backUp(const SyncPathState& state) const {
    refreshPreferences(state);
    file_->backUpData(state.path, local_->excludedInside(state.url));
}

void SyncEngine::install(const SyncPathState& state) const {
    refreshPreferences(state);
    // What the user excluded inside a folder is neither copied over nor
    // deleted: the local version stays.
    const std::vector<std::filesystem::path> kept = local_->excludedInside(state.url);
    // Only a path the package holds a copy of is replaced.
    if (!context_ || !file_->dataItem(state.path)) {
        file_->installData(state.path, kept);
    } else {
        // Where the content is written: through a link to the user's own
        // file, which is what undo must keep. A link that may not be
        // followed fails here, before anything is kept or replaced.
        const keel::URL content = SettingsLink::contentLocation(state.url);
        context_->leftovers.removeFor(content);
        std::shared_ptr<UndoRun> run;
        int index = 0;
        try {
            run = undoRun();
            // Durable: for a path kept ahead, this flushes its record.
            index = run->keep(state.path, content);
        } catch (const std::exception& error) {
            // Never replace what could not be kept: it could not be put back.
            throw std::runtime_error(
                "Not installed: the current version could not be kept for undo (" +
                std::string(error.what()) + ").");
        }
        try {
            file_->installData(state.path, kept);
        } catch (...) {
            run->didFail(index, content);
            throw;
        }
        run->didInstall(index, content);
    }
    // Reached only when the restore went through.
    refreshPreferences(state);
}

void SyncEngine::refreshPreferences(const SyncPathState& state) const {
    if (keel::pathExtension(state.url) != "plist") return;
    const keel::ContentExistence existence = keel::FileManager::contentExists(state.url);
    if (!existence.exists || existence.isDirectory) return;
    PreferencesTool(preferencesToolPath()).read(state.url);
}

void SyncEngine::setPreferencesToolPath(std::filesystem::path path) {
    toolPath().setValue(std::move(path));
}

std::filesystem::path SyncEngine::preferencesToolPath() {
    return toolPath().value();
}

}  // namespace quillfen
