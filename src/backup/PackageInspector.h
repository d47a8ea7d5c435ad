// PackageInspector: looks at a package directory on disk for what reading the
// package leaves aside but the user should hear about.
//
// A package usually lives in a folder that a cloud drive replicates. When two
// computers change the same file before the drive has caught up, the drive
// keeps both and names one of them a conflict copy ("Apps (conflicted copy
// 2026-12-07).json", "Apps.sync-conflict-20261207-101010-ABCDEF.json",
// "Apps 2.json", "Apps (1).json"). The same happens to the "Data" folder
// ("Data 2") and to a data copy inside it ("Data/<uuid> 2.qfdata"). Those
// copies are never read as part of the package and never deleted; the
// inspector names them so the user can look. Likewise a drive may deliver
// "Data.json" before the data copies it refers to: such a record has no copy
// yet, and an install skips its path.
//
// Nothing is looked at through a "Data" that is a symbolic link leading out
// of the package: its copies count as missing and its entries are not listed.
//
// Stateless; every function may be called from any thread. Nothing here
// throws: an unreadable folder simply yields nothing to report.
#pragma once

#include <string>
#include <vector>

#include "backup/BackupFileData.h"
#include "keel/URL.h"

namespace quillfen {

class PackageInspector {
public:
    // The names of the package's own list files: "Apps.json", "Execs.json",
    // "Files.json", "History.json", "Data.json", "Notes.json".
    static const std::vector<std::string>& listFileNames();

    // Whether an entry of the package folder named `name` is a conflict copy
    // of one of the list files: not a list file itself, starting with a list
    // file's base name ("Apps", "Execs", ...) and ending in ".json".
    static bool isConflictCopyName(const std::string& name);

    // The conflict copies in the package, as paths relative to the package
    // folder, in Finder order: those of the list files, folders that are
    // conflict copies of "Data" ("Data 2", "Data (1)"), and entries of "Data"
    // that are conflict copies of a data copy ("Data/<uuid> 2.qfdata").
    // Nothing when the folder is missing or cannot be read.
    static std::vector<std::string> conflictCopies(const keel::URL& packageURL);

    // The settings paths of `records` whose data copy ("Data/<uuid>.qfdata")
    // is not in the package, in Finder order.
    static std::vector<std::string> missingCopies(const keel::URL& packageURL,
                                                  const BackupFileData::DataItems& records);
};

}  // namespace quillfen
