#include "backup/BackupFile.h"

#include <mutex>
#include <utility>

#include "catalog/SyncConfiguration.h"
#include "keel/Bundle.h"
#include "keel/FinderOrder.h"
#include "keel/NotificationCenter.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

template <class Map, class KeyOf>
auto finderSortedValues(const Map& items, KeyOf keyOf) {
    std::vector<typename Map::mapped_type> values;
    values.reserve(items.size());
    for (const auto& entry : items)
        values.push_back(entry.second);
    keel::finderSort(values, keyOf);
    return values;
}

template <class Map>
std::optional<typename Map::mapped_type> valueFor(const Map& items, const std::string& key) {
    const auto found = items.find(key);
    if (found == items.end()) return std::nullopt;
    return found->second;
}

}  // namespace

template <class F>
auto BackupFile::onQueue(F&& f) {
    // Called from the queue's own block, the queue aborts loudly.
    return serialQueue_.sync(std::forward<F>(f));
}

BackupFile::BackupFile(const std::filesystem::path& url)
    : serialQueue_(keel::uniqueID("BackupFile.serialQueue")),
      data_(url),
      editor_(std::weak_ptr<BackupFile>()) {}

std::shared_ptr<BackupFile> BackupFile::open(const std::filesystem::path& url) {
    std::shared_ptr<BackupFile> file(new BackupFile(url));
    // The editor can only point back once the file is shared.
    file->editor_ = BackupFileEditor(file);
    return file;
}

std::filesystem::path BackupFile::url() const {
    return data_.url();
}

// MARK: Package

void BackupFile::move(const std::filesystem::path& to) {
    onQueue([&] { data_.move(to); });
}

void BackupFile::replace(const std::filesystem::path& with) {
    onQueue([&] { data_.replace(with); });
}

void BackupFile::importPackage(const std::filesystem::path& from) {
    onQueue([&] { data_.importPackage(from); });
}

void BackupFile::exportPackage(const std::filesystem::path& to) {
    onQueue([&] { data_.exportPackage(to); });
}

void BackupFile::save() {
    onQueue([&] { data_.write(); });
}

std::vector<BackupFileData::OrphanCopy> BackupFile::orphanCopies(std::chrono::seconds grace) {
    return onQueue([&] { return data_.orphanCopies(grace); });
}

std::vector<BackupFileData::OrphanCopy> BackupFile::removeOrphanCopies(std::chrono::seconds grace) {
    return onQueue([&] { return data_.removeOrphanCopies(grace); });
}

// MARK: Items

template <ItemRecord Item>
std::vector<Item> BackupFile::items() {
    return onQueue([&] {
        return finderSortedValues(data_.items<Item>(), [](const Item& item) { return item.key(); });
    });
}

template <ItemRecord Item>
std::optional<Item> BackupFile::item(const std::string& key) {
    return onQueue([&] { return valueFor(data_.items<Item>(), key); });
}

template <ItemRecord Item>
std::vector<std::optional<Item>> BackupFile::items(const std::vector<std::string>& keys) {
    return onQueue([&] {
        std::vector<std::optional<Item>> records;
        records.reserve(keys.size());
        const auto& stored = data_.items<Item>();
        for (const std::string& key : keys)
            records.push_back(valueFor(stored, key));
        return records;
    });
}

template <ItemRecord Item>
void BackupFile::setItems(const std::vector<Item>& records) {
    onQueue([&] { editor_.setItems(records); });
}

void BackupFile::removeItems(ItemKind kind, const std::vector<std::string>& keys) {
    onQueue([&] { editor_.removeItems(kind, keys); });
}

template std::vector<BackupAppItem> BackupFile::items();
template std::vector<BackupExecItem> BackupFile::items();
template std::vector<BackupFileItem> BackupFile::items();
template std::optional<BackupAppItem> BackupFile::item(const std::string&);
template std::optional<BackupExecItem> BackupFile::item(const std::string&);
template std::optional<BackupFileItem> BackupFile::item(const std::string&);
template std::vector<std::optional<BackupAppItem>> BackupFile::items(
    const std::vector<std::string>&);
template std::vector<std::optional<BackupExecItem>> BackupFile::items(
    const std::vector<std::string>&);
template std::vector<std::optional<BackupFileItem>> BackupFile::items(
    const std::vector<std::string>&);
template void BackupFile::setItems(const std::vector<BackupAppItem>&);
template void BackupFile::setItems(const std::vector<BackupExecItem>&);
template void BackupFile::setItems(const std::vector<BackupFileItem>&);

// MARK: Applications

std::vector<std::string> BackupFile::appNames() {
    return onQueue([&] { return editor_.appNames(); });
}

std::vector<BackupAppItem> BackupFile::appItems() {
    return items<BackupAppItem>();
}

std::optional<BackupAppItem> BackupFile::appItem(const std::string& name) {
    return item<BackupAppItem>(name);
}

void BackupFile::setAppItems(const std::vector<BackupAppItem>& records) {
    setItems(records);
}

void BackupFile::removeAppItems(const std::vector<std::string>& names) {
    removeItems(ItemKind::app, names);
}

// MARK: Executables

std::vector<std::string> BackupFile::execNames() {
    return onQueue([] {
        // The catalog never changes while the process runs.
        static const std::vector<std::string> names =
            keel::finderSorted(SyncConfiguration::execNames());
        return names;
    });
}

std::vector<BackupExecItem> BackupFile::execItems() {
    return items<BackupExecItem>();
}

std::optional<BackupExecItem> BackupFile::execItem(const std::string& name) {
    return item<BackupExecItem>(name);
}

void BackupFile::setExecItems(const std::vector<BackupExecItem>& records) {
    setItems(records);
}

void BackupFile::removeExecItems(const std::vector<std::string>& names) {
    removeItems(ItemKind::exec, names);
}

// MARK: Custom files

std::vector<BackupFileItem> BackupFile::fileItems() {
    return items<BackupFileItem>();
}

std::optional<BackupFileItem> BackupFile::fileItem(const std::string& path) {
    return item<BackupFileItem>(path);
}

void BackupFile::setFileItems(const std::vector<BackupFileItem>& records) {
    setItems(records);
}

void BackupFile::removeFileItems(const std::vector<std::string>& paths) {
    removeItems(ItemKind::file, paths);
}

// MARK: Note

std::optional<BackupNoteItem> BackupFile::note() {
    return onQueue([&]() -> std::optional<BackupNoteItem> {
        const auto& notes = data_.noteItems();
        if (notes.empty()) return std::nullopt;
        return notes.front();
    });
}

void BackupFile::setNote(std::optional<std::string> text) {
    onQueue([&] {
        data_.setNoteItems({BackupNoteItem{std::move(text)}});
        didEditItems(BackupEdition::Category::notes, std::nullopt);
    });
}

void BackupFile::removeNote() {
    onQueue([&] {
        data_.setNoteItems({});
        didEditItems(BackupEdition::Category::notes, std::nullopt);
    });
}

// MARK: History

std::vector<BackupEventItem> BackupFile::eventItems() {
    return onQueue([&] { return data_.eventItems(); });
}

void BackupFile::addEvent(SyncAction action) {
    onQueue([&] { editor_.addEvent(action); });
}

void BackupFile::removeEvents() {
    onQueue([&] {
        data_.setEventItems({});
        didEditItems(BackupEdition::Category::events, std::nullopt);
    });
}

// MARK: Data copies

std::optional<BackupDataItem> BackupFile::dataItem(const std::string& path) {
    return onQueue([&] { return valueFor(data_.dataItems(), path); });
}

void BackupFile::installData(const std::string& path, const std::vector<fs::path>& kept) {
    onQueue([&] { editor_.installData(path, kept); });
}

std::optional<fs::path> BackupFile::dataCopyLocation(const std::string& path) {
    return onQueue([&]() -> std::optional<fs::path> {
        const auto found = data_.dataItems().find(path);
        if (found == data_.dataItems().end()) return std::nullopt;
        return data_.copyLocation(found->second.uuid);
    });
}

std::vector<std::optional<BackupDataItem>> BackupFile::dataItems(
    const std::vector<std::string>& paths) {
    return onQueue([&] {
        std::vector<std::optional<BackupDataItem>> records;
        records.reserve(paths.size());
        const auto& items = data_.dataItems();
        for (const std::string& path : paths)
            records.push_back(valueFor(items, path));
        return records;
    });
}

BackupFileData::DataItems BackupFile::dataItems() {
    return onQueue([&] { return data_.dataItems(); });
}

bool BackupFile::dataListIsMissing() {
    return onQueue([&] { return data_.dataListIsMissing(); });
}

void BackupFile::backUpData(const std::string& path, const std::vector<fs::path>& leftOut) {
    onQueue([&] { editor_.backUpData(path, leftOut); });
}

// MARK: Announcements

void BackupFile::didEditItems(BackupEdition::Category category,
                              std::optional<std::vector<BackupEdition::Entry>> entries) {
    post(didItemsNotification, category, std::move(entries));
}

void BackupFile::didEditData(BackupEdition::Category category,
                             std::optional<std::vector<BackupEdition::Entry>> entries) {
    post(didDataNotification, category, std::move(entries));
}

void BackupFile::post(const std::string& name, BackupEdition::Category category,
                      std::optional<std::vector<BackupEdition::Entry>> entries) {
    // Built here, posted later: the block carries its own copy of the edition
    // and only the file's identity, so the poster never waits and the
    // observers never run while the serial queue is held.
    keel::Notification notification{
        name, this, {{editionKey, BackupEdition{category, std::move(entries)}}}};
    keel::DispatchQueue::main().async([notification = std::move(notification)] {
        keel::NotificationCenter::defaultCenter().post(notification);
    });
}

std::optional<BackupEdition> BackupFile::edition(const keel::Notification& notification) {
    return notification.userInfoValue<BackupEdition>(editionKey);
}

}  // namespace quillfen
