#include "app/RecordedEntries.h"

#include <set>
#include <string>

#include "backup/BackupFile.h"
#include "keel/FinderOrder.h"

namespace quillfen {

RecordedEntries RecordedEntries::of(const std::shared_ptr<BackupFile>& file) {
    RecordedEntries entries;
    if (!file) return entries;

    std::vector<std::string> appNames;
    for (const BackupAppItem& item : file->appItems())
        appNames.push_back(item.name);
    for (const std::string& name : keel::finderSorted(std::move(appNames)))
        entries.apps.push_back(BackupAppEntry::make(file, name));

    std::set<std::string> execNames;
    for (const BackupExecItem& item : file->execItems())
        execNames.insert(item.name);
    for (const std::string& name : file->execNames())
        if (execNames.contains(name)) entries.execs.push_back(BackupExecEntry::make(file, name));

    for (const BackupFileItem& item : file->fileItems())
        entries.files.push_back(BackupFileEntry::make(file, item.path));
    return entries;
}

}  // namespace quillfen
