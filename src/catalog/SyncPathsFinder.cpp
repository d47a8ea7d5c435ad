#include "catalog/SyncPathsFinder.h"

#include <sys/stat.h>

#include <algorithm>
#include <string_view>

#include "catalog/SyncConfiguration.h"
#include "local/CatalogIdentities.h"
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

// Whether `path` is `folder` or lies inside it.
bool isAtOrInside(std::string_view path, std::string_view folder) {
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

bool isFolder(const std::string& settingsPath) {
    struct stat info {};
    return ::stat(PathConverter::url(settingsPath).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Where a Flatpak application with ID `id` finds `path`: its configuration and
// data folders are "config" and "data" of its sandbox folder, and the
// dotfiles it keeps lie in that folder too. A cache, a path outside the home
// folder or one that is no dotfile stays as it is.
std::string flatpakPath(const std::string& path, const std::string& id) {
    const std::string root = ".var/app/" + id;
    if (isAtOrInside(path, ".config")) return root + "/config" + path.substr(7);
    if (isAtOrInside(path, ".local/share")) return root + "/data" + path.substr(12);
    if (isAtOrInside(path, ".cache") || !path.starts_with('.')) return path;
    return root + "/" + path;
}

// Where a snap named `name` finds `path`: the snap's home folder is its
// current revision's folder, "snap/<name>/current", so every dotfile lies
// there.
std::string snapPath(const std::string& path, const std::string& name) {
    if (!path.starts_with('.')) return path;
    return "snap/" + name + "/current/" + path;
}

// The catalog's paths of an application that runs in a sandbox, as the
// sandbox sees them, when this computer has its sandbox folder; otherwise, or
// for an application without a sandbox, `paths` unchanged.
std::vector<std::string> sandboxedPaths(std::vector<std::string> paths, const LocalAppItem& app) {
    using Packaging = LocalAppItem::Packaging;
    if (!app.sandboxID || !isContainerName(*app.sandboxID)) return paths;
    const std::string& id = *app.sandboxID;
    if (app.packaging == Packaging::flatpak && isFolder(".var/app/" + id)) {
        for (std::string& path : paths)
            path = flatpakPath(path, id);
    } else if (app.packaging == Packaging::snap && isFolder("snap/" + id + "/current")) {
        for (std::string& path : paths)
            path = snapPath(path, id);
    }
    return paths;
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
    const std::vector<std::string>& platformPaths = configuration.pathsOn(thisPlatform());
    std::vector<std::string> paths = platformPaths;
    // Looked up in place: a copy of the item would cost more than the rest.
    const auto& apps = installed.appItems();
    if (const auto found = apps.find(name); found != apps.end()) {
        const LocalAppItem& app = found->second;
        if (app.packaging == LocalAppItem::Packaging::bundle) {
            if (app.identifier && isContainerName(*app.identifier)) {
                for (const auto& path : platformPaths)
                    paths.push_back("Library/Containers/" + *app.identifier + "/Data/" + path);
            }
            for (const auto& container : app.containers) {
                if (isContainerName(container))
                    paths.push_back("Library/Group Containers/" + container);
            }
        } else if (SyncConfiguration::catalogByName().contains(configuration.name)) {
            // The paths of an application outside the catalog already name
            // its sandbox (see SyncConfiguration::configuration).
            paths = sandboxedPaths(std::move(paths), app);
        }
    }
    return {name, PathConverter::normalizedPathList(paths, statuses)};
}

SyncPathsFinder SyncPathsFinder::forExec(const std::string& name) {
    return forExec(name, LocalResources::shared());
}

SyncPathsFinder SyncPathsFinder::forExec(const std::string& name, const LocalResources& installed) {
    return {name, SyncConfiguration::configuration(name, installed).pathsOn(thisPlatform())};
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

std::vector<std::string> SyncPathsFinder::forEveryComputer(ItemKind kind, const std::string& key) {
    std::vector<std::string> paths = forItem(kind, key).paths;
    if (kind != ItemKind::file) {
        const SyncConfiguration configuration = SyncConfiguration::configuration(key);
        paths.insert(paths.end(), configuration.paths.begin(), configuration.paths.end());
        const auto& linuxPaths = configuration.pathsOn(SettingsPlatform::linuxOS);
        paths.insert(paths.end(), linuxPaths.begin(), linuxPaths.end());
        for (const CatalogIdentity& identity : CatalogIdentities::all()) {
            if (identity.catalogName != configuration.name) continue;
            const std::string id(identity.id);
            for (const std::string& path : linuxPaths) {
                if (identity.kind == CatalogIdentity::Kind::flatpak)
                    paths.push_back(flatpakPath(path, id));
                else if (identity.kind == CatalogIdentity::Kind::snap)
                    paths.push_back(snapPath(path, id));
            }
        }
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

}  // namespace quillfen
