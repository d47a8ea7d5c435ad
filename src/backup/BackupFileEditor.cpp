#include "backup/BackupFileEditor.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include "backup/BackupFile.h"
#include "catalog/SyncPathsFinder.h"
#include "keel/FileManager.h"
#include "keel/FinderOrder.h"
#include "local/LocalResources.h"
#include "local/PathConverter.h"
#include "local/SettingsLink.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

using Category = BackupEdition::Category;
using Action = BackupEdition::Action;
using Entry = BackupEdition::Entry;

// The category of the editions of a kind's records.
Category categoryOf(ItemKind kind) {
    switch (kind) {
        case ItemKind::app:
            return Category::apps;
        case ItemKind::exec:
            return Category::execs;
        case ItemKind::file:
            break;
    }
    return Category::files;
}

}  // namespace

std::vector<std::string> BackupFileEditor::appNames() const {
    const auto file = file_.lock();
    if (!file) return {};

    // The installed applications come sorted; the package's names that are
    // not installed, usually none or a few, are sorted alone and put in.
    const LocalResources& local = LocalResources::shared();
    const std::vector<std::string>& installed = local.appNamesInFinderOrder();
    std::vector<std::string> others;
    for (const auto& entry : file->data_.appItems()) {
        if (!local.appItems().contains(entry.first)) others.push_back(entry.first);
    }
    if (others.empty()) return installed;
    keel::finderSort(others);
    std::vector<std::string> names;
    names.reserve(installed.size() + others.size());
    auto next = installed.begin();
    for (auto& name : others) {
        const std::string key = keel::finderSortKey(name);
        const auto place = std::upper_bound(next, installed.end(), key,
                                            [](const std::string& k, const std::string& other) {
                                                return k < keel::finderSortKey(other);
                                            });
        names.insert(names.end(), next, place);
        names.push_back(std::move(name));
        next = place;
    }
    names.insert(names.end(), next, installed.end());
    return names;
}

// MARK: Setting records

template <ItemRecord Item>
void BackupFileEditor::setItems(const std::vector<Item>& records) {
    const auto file = file_.lock();
    if (!file || records.empty()) return;
    // Marks the list changed.
    auto& items = file->data_.mutableItems<Item>();
    std::vector<Entry> entries;
    entries.reserve(records.size());
    for (const Item& record : records) {
        std::string key = record.key();
        const Action action = items.contains(key) ? Action::update : Action::add;
        items.insert_or_assign(key, record);
        entries.push_back(Entry{-1, std::move(key), action});
    }
    file->didEditItems(categoryOf(Item::kind), std::move(entries));
}

template void BackupFileEditor::setItems(const std::vector<BackupAppItem>&);
template void BackupFileEditor::setItems(const std::vector<BackupExecItem>&);
template void BackupFileEditor::setItems(const std::vector<BackupFileItem>&);

// MARK: Removing records

namespace {

// Drops the data copies and records of `paths`, announcing each one. The
// copies are deleted after the next save, once "Data.json" no longer refers to
// them.
void removeDataCopies(BackupFile& file, BackupFileData& data,
                      const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        const auto found = data.dataItems().find(path);
        if (found == data.dataItems().end()) continue;
        data.discardData(found->second.uuid);
        data.mutableDataItems().erase(path);
        file.didEditData(Category::data, std::vector<Entry>{{-1, path, Action::remove}});
    }
}

}  // namespace

void BackupFileEditor::removeItems(ItemKind kind, const std::vector<std::string>& keys) {
    const auto file = file_.lock();
    if (!file || keys.empty()) return;
    auto& data = file->data_;
    std::vector<Entry> entries;
    entries.reserve(keys.size());
    for (const auto& key : keys) {
        // Marks the list changed even when the key is not there.
        withItemRecord(kind, [&]<class Item>() { data.mutableItems<Item>().erase(key); });
        entries.push_back(Entry{-1, key, Action::remove});
    }
    // A custom file may be a settings path of an application or executable
    // too (".bashrc" of Bash), and two items may share a path: a copy goes
    // only when no remaining item covers its path.
    const std::set<std::string> covered = coveredPaths();
    for (const auto& key : keys) {
        // Every computer's paths: the copies a Mac or another kind of computer
        // made of the item go with it too.
        std::vector<std::string> paths = SyncPathsFinder::forEveryComputer(kind, key);
        std::erase_if(paths, [&](const std::string& path) { return covered.contains(path); });
        removeDataCopies(*file, data, paths);
    }
    file->didEditItems(categoryOf(kind), std::move(entries));
}

std::set<std::string> BackupFileEditor::coveredPaths() const {
    std::set<std::string> paths;
    const auto file = file_.lock();
    if (!file) return paths;
    const auto collect = [&]<class Item>(const BackupFileData::ItemMap<Item>& items) {
        for (const auto& entry : items)
            for (auto& path : SyncPathsFinder::forEveryComputer(Item::kind, entry.first))
                paths.insert(std::move(path));
    };
    collect(file->data_.appItems());
    collect(file->data_.execItems());
    collect(file->data_.fileItems());
    return paths;
}

// MARK: History

void BackupFileEditor::addEvent(SyncAction action) {
    const auto file = file_.lock();
    if (!file) return;

    constexpr std::size_t maximumEvents = 10;
    auto& events = file->data_.mutableEventItems();
    events.insert(events.begin(), BackupEventItem::make(action));
    if (events.size() > maximumEvents) events.pop_back();
    file->didEditItems(Category::events, std::nullopt);
}

// MARK: Data copies

void BackupFileEditor::installData(const std::string& path, const std::vector<fs::path>& kept) {
    const auto file = file_.lock();
    if (!file) return;

    const auto found = file->data_.dataItems().find(path);
    if (found == file->data_.dataItems().end()) return;
    // Through a link to the user's own file, so that a dotfiles layout keeps
    // its links and gets the content.
    const keel::URL local = SettingsLink::contentLocation(PathConverter::url(path));
    file->data_.restoreData(found->second.uuid, local, kept);
}

void BackupFileEditor::backUpData(const std::string& path, const std::vector<fs::path>& leftOut) {
    const auto file = file_.lock();
    if (!file) return;
    auto& data = file->data_;

    const keel::URL location = PathConverter::url(path);
    if (!keel::FileManager::contentExists(location).exists) return;
    // A link is copied by what it leads to; one that may not be followed
    // is refused here, before anything is recorded for the path.
    const keel::URL local = SettingsLink::contentLocation(location);

    // The new copy goes in under a fresh name first, so that a copy that fails
    // leaves the previous copy and its record as they were.
    BackupDataItem record = BackupDataItem::make(std::nullopt);
    // Listed for deletion before it is written: a copy this run never gets to
    // record is deleted at the next opening.
    record.uuid = data.makeCopyName();
    // The content's date as the copy found it, so that what the record says
    // and what the copy holds agree even when the item changes meanwhile.
    record.originalDate = data.storeData(local, record.uuid, leftOut);
    if (!record.originalDate) return;

    // The previous copy stays until a save no longer refers to it.
    const auto previous = data.dataItems().find(path);
    const bool hadRecord = previous != data.dataItems().end();
    if (hadRecord) data.discardData(previous->second.uuid);
    data.mutableDataItems().insert_or_assign(path, record);

    if (hadRecord)
        file->didEditData(Category::data, std::vector<Entry>{{-1, path, Action::remove}});
    file->didEditData(Category::data, std::vector<Entry>{{-1, path, Action::add}});
}

void BackupFileEditor::removeData(const std::string& path) {
    const auto file = file_.lock();
    if (!file) return;
    auto& data = file->data_;

    const auto found = data.dataItems().find(path);
    if (found == data.dataItems().end()) return;
    data.discardData(found->second.uuid);
    data.mutableDataItems().erase(path);
    file->didEditData(Category::data, std::vector<Entry>{{-1, path, Action::remove}});
}

}  // namespace quillfen
