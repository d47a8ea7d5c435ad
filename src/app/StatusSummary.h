// StatusSummary: what a synchronize would do over the items of a package,
// counted, and the one command that does it. Front ends show it above the
// item rows so a user knows what to run without reading every row.
//
// A plain value, built from viewer entries on any thread; building reads
// nothing beyond the entries and never throws.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/BackupAppEntry.h"
#include "app/BackupExecEntry.h"
#include "app/BackupFileEntry.h"

namespace quillfen {

struct StatusSummary {
    // Switched-on items of the package by what a synchronize would do with
    // them. An item whose paths go both ways counts as to synchronize; one
    // that is here and the same on both sides as up to date.
    std::size_t toBackUp = 0;
    std::size_t toInstall = 0;
    std::size_t toSynchronize = 0;
    std::size_t upToDate = 0;
    // Items the user switched off; a run leaves them alone.
    std::size_t switchedOff = 0;
    // Items with nothing at any of their paths, here or in the package,
    // whether recorded or not; they count nowhere else.
    std::size_t empty = 0;
    // Switched-on items with copies in the package and no settings on this
    // computer: what a new computer lacks. A synchronize leaves them alone
    // (it does not bring back what was removed here); an install brings them.
    std::size_t lackingHere = 0;

    // The command that does what the counts say: "sync" when items go both
    // ways, "backup" or "install" when they go one way, empty when nothing
    // is to be done.
    std::string command() const;

    static StatusSummary of(const std::vector<BackupAppEntry>& apps,
                            const std::vector<BackupExecEntry>& execs,
                            const std::vector<BackupFileEntry>& files);

    // Whether nothing exists at any of the state's paths, here or in the
    // package (true for a state without paths).
    static bool isEmpty(const SyncItemState& state);
    static bool isEmpty(const SyncPathState& state);
};

}  // namespace quillfen
