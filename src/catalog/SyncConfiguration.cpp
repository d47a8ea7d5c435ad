#include "catalog/SyncConfiguration.h"

#include <algorithm>
#include <utility>

#include <nlohmann/json.hpp>

#include "catalog/BackupDecodingError.h"
#include "catalog/CatalogTables.h"
#include "catalog/RecordCoding.h"
#include "local/LocalResources.h"

namespace quillfen {

namespace {

constexpr std::string_view kRecord = "SyncConfiguration";

// Whether an identifier can name one file or folder inside the folder it is
// meant for: one file name, not "." or "..", without separators or control
// characters.
bool isPlainFileName(const std::string& identifier) {
    if (identifier.empty() || identifier == "." || identifier == "..") return false;
    return std::none_of(identifier.begin(), identifier.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '/' || byte < 0x20 || byte == 0x7f;
    });
}

// The paths an installed application that the catalog does not know keeps
// its settings in, as far as its packaging tells.
std::vector<std::string> fallbackPaths(const LocalAppItem& app) {
    using Packaging = LocalAppItem::Packaging;
    switch (app.packaging) {
        case Packaging::bundle:
            if (app.identifier && isPlainFileName(*app.identifier))
                return {"Library/Preferences/" + *app.identifier + ".plist"};
            break;
        case Packaging::flatpak:
            if (app.sandboxID && isPlainFileName(*app.sandboxID))
                return {".var/app/" + *app.sandboxID + "/config"};
            break;
        case Packaging::snap:
            if (app.sandboxID && isPlainFileName(*app.sandboxID))
                return {"snap/" + *app.sandboxID + "/current/.config"};
            break;
        case Packaging::desktopEntry:
            break;
    }
    return {};
}

std::vector<std::string> withoutNotes(std::vector<std::string> strings) {
    std::vector<std::string> kept;
    kept.reserve(strings.size());
    for (std::string& path : strings) {
        if (!path.starts_with('#')) kept.push_back(std::move(path));
    }
    return kept;
}

}  // namespace

SyncConfiguration::SyncConfiguration(std::string entryName, std::vector<std::string> entryPaths,
                                     std::vector<std::string> entryLinuxPaths)
    : name(std::move(entryName)),
      paths(withoutNotes(std::move(entryPaths))),
      linuxPaths(withoutNotes(std::move(entryLinuxPaths))) {}

const std::vector<std::string>& SyncConfiguration::pathsOn(SettingsPlatform platform) const {
    return platform == SettingsPlatform::linuxOS && !linuxPaths.empty() ? linuxPaths : paths;
}

// Function-local statics: C++ guarantees that each is initialised exactly once,
// even when several threads reach it first at the same time, and the tables
// are never written afterwards, so reads need no lock.

const std::vector<SyncConfiguration>& SyncConfiguration::catalog() {
    static const std::vector<SyncConfiguration> entries = [] {
        const auto strings = CatalogTables::paths();
        const auto linuxStrings = CatalogTables::linuxPaths();
        std::vector<SyncConfiguration> result;
        result.reserve(CatalogTables::entries().size());
        for (const CatalogTables::Entry& entry : CatalogTables::entries()) {
            const auto written = strings.subspan(entry.firstPath, entry.pathCount);
            const auto linuxWritten =
                linuxStrings.subspan(entry.firstLinuxPath, entry.linuxPathCount);
            result.emplace_back(std::string(entry.name),
                                std::vector<std::string>(written.begin(), written.end()),
                                std::vector<std::string>(linuxWritten.begin(), linuxWritten.end()));
        }
        return result;
    }();
    return entries;
}

const std::unordered_map<std::string, SyncConfiguration>& SyncConfiguration::catalogByName() {
    static const std::unordered_map<std::string, SyncConfiguration> index = [] {
        std::unordered_map<std::string, SyncConfiguration> result;
        result.reserve(catalog().size());
        // A later entry replaces an earlier one of the same name. The only
        // such name is "iStat Menus": the index keeps its second entry, whose
        // paths include all of the first one's and add those of the status
        // item and of version 6.
        for (const SyncConfiguration& entry : catalog())
            result.insert_or_assign(entry.name, entry);
        return result;
    }();
    return index;
}

const std::unordered_map<std::string, std::string>& SyncConfiguration::nameAliases() {
    static const std::unordered_map<std::string, std::string> aliases = [] {
        std::unordered_map<std::string, std::string> result;
        for (const CatalogTables::Alias& alias : CatalogTables::aliases())
            result.emplace(alias.installedName, alias.catalogName);
        return result;
    }();
    return aliases;
}

const std::vector<std::string>& SyncConfiguration::execNames() {
    static const std::vector<std::string> names(CatalogTables::execNames().begin(),
                                                CatalogTables::execNames().end());
    return names;
}

SyncConfiguration SyncConfiguration::configuration(const std::string& name) {
    return configuration(name, LocalResources::shared());
}

SyncConfiguration SyncConfiguration::configuration(const std::string& name,
                                                   const LocalResources& installed) {
    const auto& aliases = nameAliases();
    const auto alias = aliases.find(name);
    const std::string& catalogName = alias != aliases.end() ? alias->second : name;

    const auto& index = catalogByName();
    if (const auto entry = index.find(catalogName); entry != index.end()) return entry->second;

    // The installed application is looked up by the name as given: that is
    // the name its bundle carries, whatever the alias says.
    const auto& apps = installed.appItems();
    if (const auto app = apps.find(name); app != apps.end())
        return SyncConfiguration(name, fallbackPaths(app->second));
    return SyncConfiguration(name, {});
}

void to_json(nlohmann::json& json, const SyncConfiguration& configuration) {
    json = nlohmann::json{{"name", configuration.name}, {"paths", configuration.paths}};
    if (!configuration.linuxPaths.empty()) json["linuxPaths"] = configuration.linuxPaths;
}

namespace {

// The strings of the array member `key`; none when the member is missing and
// not `required`.
std::vector<std::string> stringArray(const nlohmann::json& json, const std::string& key,
                                     bool required) {
    const auto member = json.find(key);
    if (member == json.end()) {
        if (!required) return {};
        throw BackupDecodingError(std::string(kRecord) + ": the member \"" + key + "\" is missing");
    }
    if (!member->is_array()) {
        throw BackupDecodingError(std::string(kRecord) + ": the member \"" + key +
                                  "\" must be an array, not " + member->type_name());
    }
    std::vector<std::string> strings;
    strings.reserve(member->size());
    for (const nlohmann::json& path : *member) {
        if (!path.is_string())
            throw BackupDecodingError(std::string(kRecord) + ": the member \"" + key +
                                      "\" must hold strings only");
        strings.push_back(path.get<std::string>());
    }
    return strings;
}

}  // namespace

void from_json(const nlohmann::json& json, SyncConfiguration& configuration) {
    recordcoding::requireObject(json, kRecord);
    std::string name = recordcoding::requiredString(json, "name", kRecord);
    std::vector<std::string> paths = stringArray(json, "paths", true);
    std::vector<std::string> linuxPaths = stringArray(json, "linuxPaths", false);
    configuration = SyncConfiguration(std::move(name), std::move(paths), std::move(linuxPaths));
}

}  // namespace quillfen
