// SyncLogs: what went wrong in one run of the sync engine: the run's action
// and the results of the items that had at least one failed settings path, in
// the order the items finished. Results without errors are not kept.
//
// The list sits in a locked box, so the engine's workers may append from
// several threads at once while any thread reads it; `results()` always gives
// a whole list. Copying a log copies the list as it is at that moment.
#pragma once

#include <vector>

#include "backup/SyncAction.h"
#include "keel/Atomic.h"
#include "sync/SyncResult.h"

namespace quillfen {

class SyncLogs {
public:
    explicit SyncLogs(SyncAction action);
    SyncLogs(const SyncLogs& other);
    SyncLogs& operator=(const SyncLogs& other);

    SyncAction action() const { return action_; }

    // Keeps `result` when it has errors; drops it otherwise.
    void append(SyncResult result);

    std::vector<SyncResult> results() const { return cache_.value(); }

private:
    SyncAction action_;
    keel::Atomic<std::vector<SyncResult>> cache_;
};

}  // namespace quillfen
