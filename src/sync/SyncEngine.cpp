#include "sync/SyncEngine.h"

#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "keel/Atomic.h"
#include "keel/FileManager.h"
#include "keel/OperationQueue.h"
#include "keel/URL.h"
#include "local/LocalResources.h"
#include "local/PreferencesTool.h"
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
};

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
    SyncLogs logs(action_);
    const std::vector<BackupAppItem> apps = file_->appItems();
    const std::vector<BackupExecItem> execs = file_->execItems();
    const std::vector<BackupFileItem> files = file_->fileItems();
    Progress progress(progressHandler_, apps.size() + execs.size() + files.size());

    RunContext context(leftoverAge_);
    context_ = &context;
    struct Clear {
        RunContext*& context;
        ~Clear() { context = nullptr; }
    } clear{context_};
    {
        // Declared after what its operations use, so that it is destroyed,
        // and every operation finished, before any of that goes away.
        keel::OperationQueue queue(maxConcurrentItems);
        const auto submit = [&](SyncItemState item) {
            queue.addOperation([this, &logs, &progress, item = std::move(item)] {
                logs.append(process(item));
                progress.itemDidFinish();
            });
        };
        for (const BackupAppItem& app : apps)
            submit(SyncItemState::forAppName(file_, app.name, *local_));
        for (const BackupExecItem& exec : execs)
            submit(SyncItemState::forExecName(file_, exec.name, *local_));
        for (const BackupFileItem& custom : files)
            submit(SyncItemState::forFilePath(file_, custom.path, *local_));
        queue.waitUntilAllOperationsAreFinished();
    }
    if (context.undoRun) undoStore_->finishRun(*context.undoRun);

    file_->addEvent(action_);
    file_->save();
    return logs;
}

SyncResult SyncEngine::process(const SyncItemState& item) const {
    SyncResult result{item.identifier, {}};
    if (!item.isEnabled.value_or(false)) return result;
    for (const auto& [path, state] : item.states) {
        try {
            process(state);
        } catch (...) {
            result.errors.insert_or_assign(path, SyncResult::Error::from(std::current_exception()));
        }
    }
    return result;
}

void SyncEngine::process(const SyncPathState& state) const {
    if (local_->isExcluded(state.url)) return;
    switch (action_) {
        case SyncAction::backUp:
            backUp(state);
            return;
        case SyncAction::install:
            install(state);
            return;
        case SyncAction::synchronize:
            if (state.action == SyncAction::backUp) {
                backUp(state);
            } else if (state.action == SyncAction::install) {
                install(state);
            }
            return;
        case SyncAction::doNothing:
        case SyncAction::unknown:
        case SyncAction::multiple:
        case SyncAction::upToDate:
            break;
    }
    throw BackupError(BackupError::Code::syncActionIsNotSupported);
}

void SyncEngine::backUp(const SyncPathState& state) const {
    refreshPreferences(state);
    file_->backUpData(state.path);
}

void SyncEngine::install(const SyncPathState& state) const {
    refreshPreferences(state);
    // Only a path the package holds a copy of is replaced.
    if (!context_ || !file_->dataItem(state.path)) {
        file_->installData(state.path);
    } else {
        context_->leftovers.removeFor(state.url);
        std::shared_ptr<UndoRun> run;
        int index = 0;
        try {
            {
                std::lock_guard lock(context_->mutex);
                if (!context_->undoRun) {
                    if (!undoStore_)
                        throw std::runtime_error("there is no support folder to keep it in");
                    context_->undoRun = undoStore_->beginRun(action_, file_->url().string());
                }
                run = context_->undoRun;
            }
            index = run->keep(state.path, state.url);
        } catch (const std::exception& error) {
            // Never replace what could not be kept: it could not be put back.
            throw std::runtime_error(
                "Not installed: the current version could not be kept for undo (" +
                std::string(error.what()) + ").");
        }
        try {
            file_->installData(state.path);
        } catch (...) {
            run->didFail(index, state.url);
            throw;
        }
        run->didInstall(index, state.url);
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
