// UndoStore: the folder "Undo" in the support folder, where install and
// synchronize runs keep what they replace (one UndoRun folder per run), and
// the undo of the last run.
//
// The store keeps the last `maximumRuns` runs, and drops the oldest runs
// while the kept copies take more than `maximumSize` bytes; the run being
// recorded is never dropped, so one run larger than the bound is kept alone.
//
// Undo puts back what the newest run that has not been undone replaced:
// each kept item is copied back over its path atomically (a temporary
// sibling renamed into place), and each path where nothing was before is
// removed again, together with the folders the run created for it when they
// are empty. A path that changed since the run (it no longer holds what the
// run put there) is left as it is and reported; its kept copy stays in the
// run folder. Undo touches neither the package nor the store's other runs,
// and records no run of its own: once a run is undone the next undo goes one
// run further back. A path whose restore fails stays in the run, which is
// not marked undone, so that undo can be tried again.
//
// Threads: one store object may be used from any thread, but runs of the
// store must not be recorded and undone at the same moment. Errors: the
// members that say "throws" throw std::filesystem::filesystem_error or
// std::runtime_error; run folders that cannot be read are skipped.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "keel/FileLock.h"
#include "sync/UndoRun.h"

namespace quillfen {

class UndoStore {
public:
    static constexpr std::size_t maximumRuns = 10;
    static constexpr std::uint64_t defaultMaximumSize = 512ull * 1024 * 1024;
    static inline const std::string folderName = "Undo";

    // Thrown by `undoLastRun` when every kept run has been undone.
    class NothingToUndo : public std::runtime_error {
    public:
        NothingToUndo() : std::runtime_error("There is nothing to undo.") {}
    };

    struct Result {
        std::string run;
        SyncAction action = SyncAction::install;
        keel::Date date;
        std::string package;
        // Settings paths put back to their kept version.
        std::vector<std::string> restored;
        // Settings paths where nothing was before, removed again.
        std::vector<std::string> removed;
        // Settings paths changed since the run, left as they are.
        std::vector<std::string> leftAlone;
        // Settings paths whose undo failed, with the reason.
        std::map<std::string, std::string> failures;
    };

    // The store in `directory` (created when a run is recorded).
    explicit UndoStore(std::filesystem::path directory,
                       std::uint64_t maximumSize = defaultMaximumSize);
    // The store in the support folder; nothing when there is no support folder.
    static std::optional<UndoStore> standard();

    const std::filesystem::path& directory() const { return directory_; }
    std::uint64_t maximumSize() const { return maximumSize_; }

    // Creates the folder of a new run and makes room for it among the last
    // runs. Throws.
    std::shared_ptr<UndoRun> beginRun(SyncAction action, const std::string& package) const;
    // Writes the run's manifest, removes the run again when it recorded
    // nothing, and drops old runs beyond the bounds. Never throws: the
    // journal already holds the run's record.
    void finishRun(UndoRun& run) const noexcept;

    // The store's lock ("Undo.lock" beside the store's folder): install and
    // synchronize runs hold it while they run, and `undoLastRun` takes it, so
    // that an undo never interleaves with a run that replaces paths. Waits
    // for another process that holds it. Throws.
    keel::FileLock lock() const;

    // The readable runs, newest first.
    std::vector<std::shared_ptr<UndoRun>> runs() const;
    // Bytes of the kept copies of all runs.
    std::uint64_t totalSize() const;

    // Undoes the newest run not undone yet, holding the store's lock. Throws
    // NothingToUndo when there is none; the failures of single paths are in
    // the result.
    Result undoLastRun();

private:
    void prune(const std::string& keep, std::size_t runsAllowed) const noexcept;

    std::filesystem::path directory_;
    std::uint64_t maximumSize_;
};

}  // namespace quillfen
