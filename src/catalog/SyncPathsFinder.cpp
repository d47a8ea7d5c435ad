#include "catalog/SyncPathsFinder.h"

#include <algorithm>

#include "catalog/SyncConfiguration.h"
#include "local/LocalResources.h"
#include "local/PathConverter.h"
#include "local/PathStatuses.h"

namespace quillfen {

namespace {

// Whether a name read from an application's property list can stand for one
// folder inside the containers folder. Any installed bundle controls these
// names: "..", or a name holding a "/", would point the paths (and every
// install over them) at folders outside the containers.
bool isContainerName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '/' || byte < 0x20 || byte == 0x7f;
    });
}

}  // namespace

SyncPathsFinder SyncPathsFinder::forApp(const std::string& name) {
    return forApp(name, LocalResources::shared());
}

SyncPathsFinder SyncPathsFinder::forApp(const std::string& name, const LocalResources& installed) {
    return appPaths(name, installed, nullptr);
}

SyncPathsFinder SyncPathsFinder::forApp(const std::string& name, const LocalResources& installed,
                                        PathStatuses& statuses) {
    return appPaths(name, installed, &statuses);
}

SyncPathsFinder SyncPathsFinder::appPaths(const std::string& name, const LocalResources& installed,
                                          PathStatuses* statuses) {
    const SyncConfiguration configuration = SyncConfiguration::configuration(name, installed);
    std::vector<std::string> paths = configuration.paths;
    // Looked up in place: a copy of the item would cost more than the rest.
    const auto& apps = installed.appItems();
    if (const auto found = apps.find(name); found != apps.end()) {
        const LocalAppItem& app = found->second;
        if (app.identifier && isContainerName(*app.identifier)) {
            for (const auto& path : configuration.paths)
                paths.push_back("Library/Containers/" + *app.identifier + "/Data/" + path);
        }
        for (const auto& container : app.containers) {
            if (isContainerName(container))
                paths.push_back("Library/Group Containers/" + container);
        }
    }
    return {name, PathConverter::normalizedPathList(paths, statuses)};
}

SyncPathsFinder SyncPathsFinder::forExec(const std::string& name) {
    return forExec(name, LocalResources::shared());
}

SyncPathsFinder SyncPathsFinder::forExec(const std::string& name, const LocalResources& installed) {
    return {name, SyncConfiguration::configuration(name, installed).paths};
}

SyncPathsFinder SyncPathsFinder::forFile(const std::string& path) {
    return {path, {path}};
}

SyncPathsFinder SyncPathsFinder::forItem(ItemKind kind, const std::string& key) {
    switch (kind) {
        case ItemKind::app:
            return forApp(key);
        case ItemKind::exec:
            return forExec(key);
        case ItemKind::file:
            break;
    }
    return forFile(key);
}

}  // namespace quillfen
