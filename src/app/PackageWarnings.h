// PackageWarnings: what the user should look at in an open package, one
// sentence each: conflict copies that a cloud drive left beside the package's
// files, a "Data.json" that has not arrived while copies have (the package is
// incomplete), and records, among the settings paths of the rows shown, whose
// data copy has not arrived yet (a cloud drive may deliver "Data.json" before
// the copies it names; an install fails for such a path).
//
// Reads the package through its serial queue: never call it from there.
// Nothing here throws for a package that reads.
#pragma once

#include <string>
#include <vector>

#include "app/BackupAppEntry.h"
#include "app/BackupExecEntry.h"
#include "app/BackupFileEntry.h"

namespace quillfen {

class BackupFile;

class PackageWarnings {
public:
    PackageWarnings() = delete;

    // The warnings for `file` with the given rows shown: the conflict copies
    // first, then a missing "Data.json", then the missing copies, each group
    // in Finder order.
    static std::vector<std::string> of(BackupFile& file, const std::vector<BackupAppEntry>& apps,
                                       const std::vector<BackupExecEntry>& execs,
                                       const std::vector<BackupFileEntry>& files);
    // The same over every record of the package, for a command that shows
    // no rows.
    static std::vector<std::string> of(BackupFile& file);
};

}  // namespace quillfen
