// PackageMerge: how a save combines what this run changed in a package file
// with what another computer wrote to the same file since this run read it.
//
// Each merge takes three versions of one list: `base`, the list as this run
// last read or wrote it; `ours`, the list in memory, which holds this run's
// edits; and `theirs`, the list the file holds now. What this run changed is
// the difference between `base` and `ours`; it is applied over `theirs`, so
// that what the other computer changed is kept too:
// - item lists (applications, executables, custom files), by key: a record
//   this run added, changed or removed is added, changed or removed in
//   theirs; their other records stay.
// - data records, by settings path: a path only one side changed takes that
//   side's record; a path both changed keeps the record of the newer
//   content, the later `originalDate` (a record without one is older), then
//   the later `backupDate`, then the greater copy name, so that both
//   computers make the same choice. This run's copy that lost is returned to
//   be deleted like a replaced one. A path one side removed and the other
//   changed keeps the changed record: nothing backed up is lost.
// - history: every event of either side, except the events this run removed
//   (cleared, or trimmed as the oldest), each once, newest first, at most
//   `maximumEvents`.
// - note: this run's note when it changed it, else theirs.
//
// Pure functions; callable from any thread; they throw nothing but
// std::bad_alloc.
#pragma once

#include <cstddef>
#include <set>
#include <string>

#include "backup/BackupFileData.h"

namespace quillfen::PackageMerge {

constexpr std::size_t maximumEvents = 10;

template <ItemRecord Item>
BackupFileData::ItemMap<Item> items(const BackupFileData::ItemMap<Item>& base,
                                    const BackupFileData::ItemMap<Item>& ours,
                                    BackupFileData::ItemMap<Item> theirs);

struct DataMerge {
    BackupFileData::DataItems records;
    // The names of this run's copies whose records lost.
    std::set<std::string> losingCopies;
};
DataMerge data(const BackupFileData::DataItems& base, const BackupFileData::DataItems& ours,
               const BackupFileData::DataItems& theirs);

// Whether `a` records newer content than `b`, by the rule above.
bool isNewer(const BackupDataItem& a, const BackupDataItem& b);

BackupFileData::EventItems events(const BackupFileData::EventItems& base,
                                  const BackupFileData::EventItems& ours,
                                  const BackupFileData::EventItems& theirs);

BackupFileData::NoteItems notes(const BackupFileData::NoteItems& base,
                                const BackupFileData::NoteItems& ours,
                                const BackupFileData::NoteItems& theirs);

}  // namespace quillfen::PackageMerge
