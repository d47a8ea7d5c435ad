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

// Whether a bundle identifier can name a file of the preferences folder: one
// non-empty file name, without separators or control characters.
bool isPlainFileName(const std::string& identifier) {
    return !identifier.empty() && std::none_of(identifier.begin(), identifier.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '/' || byte < 0x20 || byte == 0x7f;
    });
}

}  // namespace

SyncConfiguration::SyncConfiguration(std::string entryName, std::vector<std::string> entryPaths)
    : name(std::move(entryName)) {
    paths.reserve(entryPaths.size());
    for (std::string& path : entryPaths) {
        if (!path.starts_with('#')) paths.push_back(std::move(path));
    }
}

// Function-local statics: C++ guarantees that each is initialised exactly once,
// even when several threads reach it first at the same time, and the tables
// are never written afterwards, so reads need no lock.

const std::vector<SyncConfiguration>& SyncConfiguration::catalog() {
    static const std::vector<SyncConfiguration> entries = [] {
        const auto strings = CatalogTables::paths();
        std::vector<SyncConfiguration> result;
        result.reserve(CatalogTables::entries().size());
        for (const CatalogTables::Entry& entry : CatalogTables::entries()) {
            const auto written = strings.subspan(entry.firstPath, entry.pathCount);
            result.emplace_back(std::string(entry.name),
                                std::vector<std::string>(written.begin(), written.end()));
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
    if (const auto app = apps.find(name); app != apps.end() && app->second.identifier) {
        const std::string& identifier = *app->second.identifier;
        if (isPlainFileName(identifier))
            return SyncConfiguration(name, {"Library/Preferences/" + identifier + ".plist"});
    }
    return SyncConfiguration(name, {});
}

void to_json(nlohmann::json& json, const SyncConfiguration& configuration) {
    json = nlohmann::json{{"name", configuration.name}, {"paths", configuration.paths}};
}

void from_json(const nlohmann::json& json, SyncConfiguration& configuration) {
    recordcoding::requireObject(json, kRecord);
    std::string name = recordcoding::requiredString(json, "name", kRecord);
    const auto paths = json.find("paths");
    if (paths == json.end())
        throw BackupDecodingError(std::string(kRecord) + ": the member \"paths\" is missing");
    if (!paths->is_array()) {
        throw BackupDecodingError(std::string(kRecord) +
                                  ": the member \"paths\" must be an array, not " +
                                  paths->type_name());
    }
    std::vector<std::string> strings;
    strings.reserve(paths->size());
    for (const nlohmann::json& path : *paths) {
        if (!path.is_string())
            throw BackupDecodingError(std::string(kRecord) +
                                      ": the member \"paths\" must hold strings only");
        strings.push_back(path.get<std::string>());
    }
    configuration = SyncConfiguration(std::move(name), std::move(strings));
}

}  // namespace quillfen
