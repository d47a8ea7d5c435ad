#include "sync/SyncLogs.h"

#include <utility>

namespace quillfen {

SyncLogs::SyncLogs(SyncAction action) : action_(action) {}

SyncLogs::SyncLogs(const SyncLogs& other) : action_(other.action_), cache_(other.results()) {}

SyncLogs& SyncLogs::operator=(const SyncLogs& other) {
    if (this != &other) {
        action_ = other.action_;
        cache_.setValue(other.results());
    }
    return *this;
}

void SyncLogs::append(SyncResult result) {
    if (result.errors.empty()) return;
    cache_.mutate([&](std::vector<SyncResult>& results) { results.push_back(std::move(result)); });
}

}  // namespace quillfen
