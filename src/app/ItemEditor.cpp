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

// The key of the record that `given` names: the name itself, or a custom
// file's settings path.
std::string keyOf(ItemKind kind, const std::string& given) {
    if (kind != ItemKind::file) return given;
    return PathConverter::path(ItemEditor::customFileLocation(given));
}

// Why `given` cannot become a new record of `kind`.
std::optional<std::string> addRefusal(ItemKind kind, const std::string& given,
                                      const fs::path& packageURL) {
    switch (kind) {
        case ItemKind::app:
            if (!ItemEditor::isStorableText(given))
                return "not UTF-8; the package cannot hold this name";
            if (!ItemEditor::isKnownApplication(given))
                return "no application of that name in the catalog or installed";
            return std::nullopt;
        case ItemKind::exec:
            if (!ItemEditor::isKnownExecutable(given))
                return "no executable of that name in the catalog";
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

// Why `given`, which the package does not record, cannot be switched.
std::optional<std::string> switchRefusal(ItemKind kind, const std::string& given,
                                         const fs::path& packageURL) {
    switch (kind) {
        case ItemKind::app:
            // An installed application's name comes from its folder, which
            // need not be UTF-8.
            if (!ItemEditor::isStorableText(given))
                return "not UTF-8; the package cannot hold this name";
            if (!ItemEditor::isKnownApplication(given))
                return "no application of that name in the package, the catalog or installed";
            return std::nullopt;
        case ItemKind::exec:
            if (!ItemEditor::isKnownExecutable(given))
                return "no executable of that name in the package or the catalog";
            return std::nullopt;
        case ItemKind::file:
            return addRefusal(kind, given, packageURL);
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
        std::string key = keyOf(Item::kind, given);
        const std::optional<Item> existing = file.item<Item>(key);
        if (auto why = refusal(given, existing.has_value())) {
            outcome.refused.push_back(given + ": " + *why);
            continue;
        }
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
        return record<Item>(*file_, names, true, [&](const std::string& given, bool) {
            return addRefusal(kind, given, packageURL);
        });
    });
    if (kind != ItemKind::file) return outcome;
    for (const auto& given : names) {
        const std::string key = keyOf(kind, given);
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
        return record<Item>(*file_, names, enabled, [&](const std::string& given, bool recorded) {
            return recorded ? std::nullopt : switchRefusal(kind, given, packageURL);
        });
    });
}

ItemEditor::Outcome ItemEditor::remove(ItemKind kind, const std::vector<std::string>& names) {
    Outcome outcome;
    std::vector<std::string> keys;
    for (const auto& name : names) {
        std::string key = keyOf(kind, name);
        // Only recorded items are removed: removing one also drops the data
        // copies of its settings paths.
        if (withItemRecord(kind,
                           [&]<class Item>() { return file_->item<Item>(key).has_value(); })) {
            keys.push_back(std::move(key));
        } else {
            outcome.refused.push_back(name + ": not in the package");
        }
    }
    outcome.applied = keys.size();
    file_->removeItems(kind, keys);
    return outcome;
}

bool ItemEditor::isKnownApplication(const std::string& name) {
    return SyncConfiguration::catalogByName().count(name) ||
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
