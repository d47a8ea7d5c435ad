#include "app/StatusSummary.h"

#include <algorithm>
#include <optional>

namespace quillfen {

namespace {

// Counts one row; `state` is the item's SyncItemState, or a custom file's
// SyncPathState.
template <class State>
void count(StatusSummary& summary, std::optional<bool> enabled, const State& state) {
    if (StatusSummary::isEmpty(state)) {
        ++summary.empty;
        return;
    }
    // Rows the package has no record of (shown on request) are no part of a run.
    if (!enabled) return;
    if (!*enabled) {
        ++summary.switchedOff;
        return;
    }
    const bool here = state.modifyDate.has_value();
    switch (state.action) {
        case SyncAction::backUp:
            ++summary.toBackUp;
            break;
        case SyncAction::install:
            ++summary.toInstall;
            break;
        case SyncAction::multiple:
        case SyncAction::synchronize:
            ++summary.toSynchronize;
            break;
        case SyncAction::upToDate:
        case SyncAction::doNothing:
        case SyncAction::unknown:
            // A synchronize leaves alone what is the same on both sides and
            // what is missing here, which only an install brings.
            if (here) {
                ++summary.upToDate;
            } else if (state.backupDate) {
                ++summary.lackingHere;
            }
            break;
    }
}

}  // namespace

bool StatusSummary::isEmpty(const SyncPathState& state) {
    return !state.backupDate && !state.modifyDate;
}

bool StatusSummary::isEmpty(const SyncItemState& state) {
    return std::all_of(state.states.begin(), state.states.end(),
                       [](const auto& entry) { return isEmpty(entry.second); });
}

std::string StatusSummary::command() const {
    if (toSynchronize > 0 || (toBackUp > 0 && toInstall > 0)) return "sync";
    if (toBackUp > 0) return "backup";
    if (toInstall > 0) return "install";
    return {};
}

StatusSummary StatusSummary::of(const std::vector<BackupAppEntry>& apps,
                                const std::vector<BackupExecEntry>& execs,
                                const std::vector<BackupFileEntry>& files) {
    StatusSummary summary;
    for (const auto& entry : apps)
        count(summary, entry.isEnabled(), entry.state);
    for (const auto& entry : execs)
        count(summary, entry.isEnabled(), entry.state);
    for (const auto& entry : files)
        count(summary, entry.isEnabled(), entry.state);
    return summary;
}

}  // namespace quillfen
