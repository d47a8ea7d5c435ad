#include "app/ItemEditor.h"

#include <algorithm>
#include <stdexcept>

#include "backup/BackupFile.h"
#include "backup/ItemRecord.h"
#include "catalog/SyncConfiguration.h"
#include "catalog/SyncPathsFinder.h"
#include "keel/FileManager.h"
#include "keel/Strings.h"
#include "keel/URL.h"
#include "local/LocalResources.h"
#include "local/PathConverter.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

const char* kindWord(ItemKind kind) {
    return kind == ItemKind::exec ? "executable" : "application";
}

// The name of the record `given` stands for in `file`: a record spelt so, or
// spelt so regardless of case, else the known name it matches; itself when
// nothing matches.
template <ItemRecord Item>
std::string recordName(BackupFile& file, const std::string& given) {
    if (file.item<Item>(given)) return given;
    const std::string key = CatalogLookup::folded(given);
    for (const auto& item : file.items<Item>())
        if (CatalogLookup::folded(item.key()) == key) return item.key();
    if (const auto known = CatalogLookup::find(given, Item::kind)) return known->name;
    return given;
}

// The key of the record that `given` names: the name of an application or
// executable (see `recordName`), or a custom file's settings path.
std::string keyOf(BackupFile& file, ItemKind kind, const std::string& given) {
    if (kind == ItemKind::file) return PathConverter::path(ItemEditor::customFileLocation(given));
    return withItemRecord(kind, [&]<class Item>() { return recordName<Item>(file, given); });
}

// Why a name that matches nothing of `kind` cannot be used: it is of the
// other kind (noted in `outcome`), or unknown, with the nearest names.
std::string unknownName(ItemKind kind, const std::string& given, const std::string& unknown,
                        ItemEditor::Outcome& outcome) {
    const ItemKind other = kind == ItemKind::app ? ItemKind::exec : ItemKind::app;
    if (const auto known = CatalogLookup::find(given, other)) {
        outcome.otherKind.emplace_back(given, *known);
        return std::string(known->name == given ? "" : known->name + " is ") + "an " +
               kindWord(other) + ", not an " + kindWord(kind);
    }
    std::string why = unknown;
    const auto near = CatalogLookup::suggestions(given, kind);
    for (std::size_t i = 0; i < near.size(); ++i)
        why += (i == 0 ? "; did you mean " : i + 1 == near.size() ? " or " : ", ") + near[i];
    return why + (near.empty() ? "" : "?");
}

// Why `given` (standing for `name`) cannot become a new record of `kind`.
std::optional<std::string> addRefusal(ItemKind kind, const std::string& given,
                                      const std::string& name, const fs::path& packageURL,
                                      ItemEditor::Outcome& outcome) {
    switch (kind) {
        case ItemKind::app:
            if (!ItemEditor::isStorableText(given))
                return "not UTF-8; the package cannot hold this name";
            if (!ItemEditor::isKnownApplication(name))
                return unknownName(kind, given,
                                   "no application of that name in the catalog or installed",
                                   outcome);
            return std::nullopt;
        case ItemKind::exec:
            if (!ItemEditor::isKnownExecutable(name))
                return unknownName(kind, given, "no executable of that name in the catalog",
                                   outcome);
            return std::nullopt;
        case ItemKind::file: {
            const fs::path location = ItemEditor::customFileLocation(given);
            if (!ItemEditor::isStorableText(location.string()))
                return "not UTF-8; the package cannot hold this path";
            return ItemEditor::fileRefusal(location, packageURL);
        }
    }
    return std::nullopt;
}

// Why `given` (standing for `name`), which the package does not record,
// cannot be switched.
std::optional<std::string> switchRefusal(ItemKind kind, const std::string& given,
                                         const std::string& name, const fs::path& packageURL,
                                         ItemEditor::Outcome& outcome) {
    switch (kind) {
        case ItemKind::app:
            // An installed application's name comes from its folder, which
            // need not be UTF-8.
            if (!ItemEditor::isStorableText(given))
                return "not UTF-8; the package cannot hold this name";
            if (!ItemEditor::isKnownApplication(name))
                return unknownName(
                    kind, given,
                    "no application of that name in the package, the catalog or installed",
                    outcome);
            return std::nullopt;
        case ItemKind::exec:
            if (!ItemEditor::isKnownExecutable(name))
                return unknownName(kind, given,
                                   "no executable of that name in the package or the catalog",
                                   outcome);
            return std::nullopt;
        case ItemKind::file:
            return addRefusal(kind, given, name, packageURL, outcome);
    }
    return std::nullopt;
}

// Records the items of `names` that `refusal` lets through (it is asked with
// whether the package records the item already), switched to `enabled` and
// keeping their comments.
template <ItemRecord Item, class Refusal>
ItemEditor::Outcome record(BackupFile& file, const std::vector<std::string>& names, bool enabled,
                           Refusal refusal) {
    ItemEditor::Outcome outcome;
    std::vector<Item> items;
    for (const auto& given : names) {
        std::string key = keyOf(file, Item::kind, given);
        const std::optional<Item> existing = file.item<Item>(key);
        if (auto why = refusal(given, key, existing.has_value(), outcome)) {
            outcome.refused.push_back(given + ": " + *why);
            continue;
        }
        if (Item::kind != ItemKind::file && key != given)
            outcome.notices.push_back(given + ": taken as " + key);
        items.push_back(Item{std::move(key), enabled, existing ? existing->comment : std::nullopt});
    }
    outcome.applied = items.size();
    file.setItems(items);
    return outcome;
}

}  // namespace

const std::string ItemEditor::exampleNote =
    "#Example\n\n##New macOS Install\n\n###Step1: Homebrew\n\n- imagemagick\n- opencv\n- ffmpeg\n- "
    "much more...\n\n";

ItemEditor::ItemEditor(std::shared_ptr<BackupFile> file) : file_(std::move(file)) {
    if (!file_) throw std::invalid_argument("ItemEditor needs a backup file");
}

ItemEditor::Outcome ItemEditor::add(ItemKind kind, const std::vector<std::string>& names) {
    const fs::path packageURL = file_->url();
    Outcome outcome = withItemRecord(kind, [&]<class Item>() {
        return record<Item>(
            *file_, names, true,
            [&](const std::string& given, const std::string& name, bool, Outcome& edit) {
                return addRefusal(kind, given, name, packageURL, edit);
            });
    });
    if (kind != ItemKind::file) return outcome;
    for (const auto& given : names) {
        const std::string key = keyOf(*file_, kind, given);
        if (!file_->fileItem(key)) continue;
        for (const auto& owner : coveringItems(key))
            outcome.notices.push_back(given + ": " + owner +
                                      " already covers it; the two share the package's copy");
    }
    return outcome;
}

std::vector<std::string> ItemEditor::coveringItems(const std::string& path) const {
    // The same path, or a path inside a settings folder of the item.
    const auto covers = [&](const std::string& settingsPath) {
        return settingsPath == path ||
               (path.size() > settingsPath.size() && path.starts_with(settingsPath) &&
                path[settingsPath.size()] == '/');
    };
    std::vector<std::string> owners;
    const auto check = [&](ItemKind kind, const std::string& name, const char* what) {
        const auto paths = SyncPathsFinder::forItem(kind, name).paths;
        if (std::any_of(paths.begin(), paths.end(), covers))
            owners.push_back(std::string(what) + " " + name);
    };
    for (const auto& app : file_->appItems())
        check(ItemKind::app, app.name, "the application");
    for (const auto& exec : file_->execItems())
        check(ItemKind::exec, exec.name, "the executable");
    return owners;
}

ItemEditor::Outcome ItemEditor::setEnabled(ItemKind kind, const std::vector<std::string>& names,
                                           bool enabled) {
    const fs::path packageURL = file_->url();
    return withItemRecord(kind, [&]<class Item>() {
        return record<Item>(*file_, names, enabled,
                            [&](const std::string& given, const std::string& name, bool recorded,
                                Outcome& outcome) {
                                return recorded
                                           ? std::nullopt
                                           : switchRefusal(kind, given, name, packageURL, outcome);
                            });
    });
}

ItemEditor::Outcome ItemEditor::remove(ItemKind kind, const std::vector<std::string>& names) {
    Outcome outcome;
    std::vector<std::string> keys;
    const auto records = [&](ItemKind which, const std::string& key) {
        return withItemRecord(which,
                              [&]<class Item>() { return file_->item<Item>(key).has_value(); });
    };
    for (const auto& name : names) {
        std::string key = keyOf(*file_, kind, name);
        // Only recorded items are removed: removing one also drops the data
        // copies of its settings paths.
        if (records(kind, key)) {
            keys.push_back(std::move(key));
            continue;
        }
        std::string why = name + ": not in the package";
        if (kind != ItemKind::file) {
            const ItemKind other = kind == ItemKind::app ? ItemKind::exec : ItemKind::app;
            const std::string otherKey = keyOf(*file_, other, name);
            if (records(other, otherKey)) {
                why += " as an " + std::string(kindWord(kind)) + "; it records " + otherKey +
                       " as an " + kindWord(other);
                outcome.otherKind.emplace_back(name, CatalogName{otherKey, other});
            }
        }
        outcome.refused.push_back(std::move(why));
    }
    outcome.applied = keys.size();
    file_->removeItems(kind, keys);
    return outcome;
}

bool ItemEditor::isKnownApplication(const std::string& name) {
    return (SyncConfiguration::catalogByName().count(name) && !isKnownExecutable(name)) ||
           SyncConfiguration::nameAliases().count(name) ||
           LocalResources::shared().appItem(name).has_value();
}

bool ItemEditor::isKnownExecutable(const std::string& name) {
    const auto& names = SyncConfiguration::execNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

fs::path ItemEditor::customFileLocation(const std::string& given) {
    fs::path path(given);
    if (!path.is_absolute()) path = keel::FileManager::noSandboxHomeURL() / path;
    path = path.lexically_normal();
    // "notes/" and "notes" name the same folder.
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path;
}

std::optional<std::string> ItemEditor::fileRefusal(const fs::path& location,
                                                   const fs::path& packageURL) {
    if (!keel::FileManager::contentExists(location).exists) return "no such file or folder";
    if (keel::checkIsOnMainDisk(location) == false)
        return "not on the main disk; only files of the main disk can be backed up";
    // Backing up the home folder, or a folder around it, would copy every
    // other settings file and the package with it.
    if (keel::isFileParent(location, keel::FileManager::noSandboxHomeURL()))
        return "the home folder, or a folder that holds it, cannot be backed up as one file";
    // A copy of the package inside itself would grow with every backup.
    if (keel::isFileParent(packageURL, location) || keel::isFileParent(location, packageURL))
        return "the backup package cannot back up itself";
    return std::nullopt;
}

bool ItemEditor::isStorableText(std::string_view text) {
    return keel::isValidUTF8(text);
}

}  // namespace quillfen
