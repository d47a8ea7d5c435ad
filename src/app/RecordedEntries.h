// RecordedEntries: the rows of the items a package records, built the way the
// viewer builds its rows, without rows for every installed application and
// catalog executable that the package does not name. A front end that shows
// only what the package holds (a status without "all") builds these rather
// than a full viewer reload, which asks the file system about the paths of
// hundreds of items it would not show.
//
// A plain value. `of` runs on the calling thread (rows are built on the
// global queue's threads as well), reads the package through its queue and
// the file system, and throws what building a viewer row throws.
#pragma once

#include <memory>
#include <vector>

#include "app/BackupAppEntry.h"
#include "app/BackupExecEntry.h"
#include "app/BackupFileEntry.h"

namespace quillfen {

class BackupFile;

struct RecordedEntries {
    // In the viewer's order: applications and executables in Finder order of
    // name, files in the package's order. Executables the catalog does not
    // offer have no row, as in the viewer.
    std::vector<BackupAppEntry> apps;
    std::vector<BackupExecEntry> execs;
    std::vector<BackupFileEntry> files;

    static RecordedEntries of(const std::shared_ptr<BackupFile>& file);
};

}  // namespace quillfen
