#include "backup/PackageMerge.h"

#include <algorithm>
#include <optional>
#include <tuple>

namespace quillfen::PackageMerge {

namespace {

template <class Map>
std::optional<typename Map::mapped_type> find(const Map& map, const std::string& key) {
    const auto found = map.find(key);
    if (found == map.end()) return std::nullopt;
    return found->second;
}

// The keys of both maps, each once.
template <class Map>
std::set<std::string> keysOf(const Map& a, const Map& b) {
    std::set<std::string> keys;
    for (const auto& entry : a)
        keys.insert(entry.first);
    for (const auto& entry : b)
        keys.insert(entry.first);
    return keys;
}

auto eventKey(const BackupEventItem& event) {
    return std::tie(event.date, event.action, event.comment);
}

}  // namespace

template <ItemRecord Item>
BackupFileData::ItemMap<Item> items(const BackupFileData::ItemMap<Item>& base,
                                    const BackupFileData::ItemMap<Item>& ours,
                                    BackupFileData::ItemMap<Item> theirs) {
    for (const auto& key : keysOf(base, ours)) {
        const auto mine = find(ours, key);
        if (mine == find(base, key)) continue;  // not edited by this run
        if (mine) {
            theirs.insert_or_assign(key, *mine);
        } else {
            theirs.erase(key);
        }
    }
    return theirs;
}

template BackupFileData::AppItems items(const BackupFileData::AppItems&,
                                        const BackupFileData::AppItems&, BackupFileData::AppItems);
template BackupFileData::ExecItems items(const BackupFileData::ExecItems&,
                                         const BackupFileData::ExecItems&,
                                         BackupFileData::ExecItems);
template BackupFileData::FileItems items(const BackupFileData::FileItems&,
                                         const BackupFileData::FileItems&,
                                         BackupFileData::FileItems);

bool isNewer(const BackupDataItem& a, const BackupDataItem& b) {
    // An absent original date sorts first, as the oldest.
    return std::tie(a.originalDate, a.backupDate, a.uuid) >
           std::tie(b.originalDate, b.backupDate, b.uuid);
}

DataMerge data(const BackupFileData::DataItems& base, const BackupFileData::DataItems& ours,
               const BackupFileData::DataItems& theirs) {
    DataMerge merge;
    merge.records = theirs;
    for (const auto& path : keysOf(base, ours)) {
        const auto before = find(base, path);
        const auto mine = find(ours, path);
        if (mine == before) continue;  // this run left the path alone: theirs stands
        const auto other = find(theirs, path);
        if (other == before) {
            // Only this run changed the path.
            if (mine) {
                merge.records.insert_or_assign(path, *mine);
            } else {
                merge.records.erase(path);
            }
            continue;
        }
        // Both changed it.
        if (!mine) continue;  // removed here, backed up there: theirs is kept
        if (!other || other->uuid == mine->uuid || isNewer(*mine, *other)) {
            merge.records.insert_or_assign(path, *mine);
        } else {
            merge.losingCopies.insert(mine->uuid);
        }
    }
    return merge;
}

BackupFileData::EventItems events(const BackupFileData::EventItems& base,
                                  const BackupFileData::EventItems& ours,
                                  const BackupFileData::EventItems& theirs) {
    const auto contains = [](const BackupFileData::EventItems& list, const BackupEventItem& event) {
        return std::find(list.begin(), list.end(), event) != list.end();
    };
    BackupFileData::EventItems merged = ours;
    for (const auto& event : theirs) {
        const bool removedHere = contains(base, event) && !contains(ours, event);
        if (!removedHere && !contains(merged, event)) merged.push_back(event);
    }
    std::stable_sort(merged.begin(), merged.end(),
                     [](const BackupEventItem& a, const BackupEventItem& b) {
                         return eventKey(a) > eventKey(b);
                     });
    if (merged.size() > maximumEvents) merged.resize(maximumEvents);
    return merged;
}

BackupFileData::NoteItems notes(const BackupFileData::NoteItems& base,
                                const BackupFileData::NoteItems& ours,
                                const BackupFileData::NoteItems& theirs) {
    return ours == base ? theirs : ours;
}

}  // namespace quillfen::PackageMerge
