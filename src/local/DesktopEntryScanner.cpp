#include "local/DesktopEntryScanner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "local/CatalogIdentities.h"
#include "local/DesktopEntry.h"
#include "local/DesktopEntryCache.h"

namespace quillfen {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kExtension = ".desktop";
// Deeper than any real applications folder; a bound, so that a pathological
// tree cannot take the search anywhere.
constexpr std::size_t kMaximumDepth = 16;
// Entries read by one thread in one go: enough to outweigh the handing over.
constexpr std::size_t kFilesPerGroup = 16;

// The ":"-separated elements of `value` that are not empty.
std::vector<std::string> splitColons(std::string_view value) {
    std::vector<std::string> elements;
    while (!value.empty()) {
        const auto colon = value.find(':');
        const std::string_view element = value.substr(0, colon);
        if (!element.empty()) elements.emplace_back(element);
        if (colon == std::string_view::npos) break;
        value.remove_prefix(colon + 1);
    }
    return elements;
}

// Kept as plain strings: a path object would split every name into its
// components, for hundreds of files of which each is only opened once.
struct Candidate {
    std::string file;
    std::string desktopID;
};

// The ".desktop" files below `root` with their desktop IDs, each folder in
// byte order of its names, so that every run sees the same order.
std::vector<Candidate> candidatesIn(const fs::path& root) {
    std::vector<Candidate> candidates;
    struct Level {
        std::string folder;
        std::string prefix;  // the desktop ID's part given by the subfolders
        std::size_t depth = 0;
    };
    std::vector<Level> pending{{root.string(), {}, 0}};
    while (!pending.empty()) {
        Level level = std::move(pending.back());
        pending.pop_back();
        // Read with readdir rather than a directory iterator: the type of an
        // entry comes with its name, and no path object is made for the
        // hundreds of entries that are only compared and skipped.
        struct Child {
            std::string name;
            bool isFolder = false;
        };
        std::vector<Child> children;
        if (DIR* folder = ::opendir(level.folder.c_str())) {
            while (const dirent* entry = ::readdir(folder)) {
                const std::string_view name = entry->d_name;
                if (name == "." || name == "..") continue;
                bool isFolder = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN) {
                    // Not followed: a link to a folder is never entered.
                    struct stat info {};
                    isFolder = ::fstatat(::dirfd(folder), entry->d_name, &info,
                                         AT_SYMLINK_NOFOLLOW) == 0 &&
                               S_ISDIR(info.st_mode);
                }
                children.push_back({std::string(name), isFolder});
            }
            ::closedir(folder);
        }
        std::sort(children.begin(), children.end(),
                  [](const Child& a, const Child& b) { return a.name < b.name; });
        const std::string base = level.folder.ends_with('/') ? level.folder : level.folder + '/';
        std::vector<Level> subfolders;
        for (const auto& [name, isFolder] : children) {
            if (isFolder) {
                if (level.depth < kMaximumDepth)
                    subfolders.push_back({base + name, level.prefix + name + "-", level.depth + 1});
            } else if (name.size() > kExtension.size() && name.ends_with(kExtension)) {
                candidates.push_back(
                    {base + name, level.prefix + name.substr(0, name.size() - kExtension.size())});
            }
        }
        // Depth first, subfolders in name order after the folder's own files.
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
            pending.push_back(std::move(*it));
    }
    return candidates;
}

const CatalogIdentity* identityOf(const LocalAppItem& item, const std::string& desktopID) {
    const CatalogIdentity* found = nullptr;
    if (item.packaging == LocalAppItem::Packaging::flatpak)
        found = CatalogIdentities::find(CatalogIdentity::Kind::flatpak, *item.sandboxID);
    if (!found && item.packaging == LocalAppItem::Packaging::snap) {
        // A parallel instance ("name_key") is the snap "name".
        const std::string& instance = *item.sandboxID;
        found = CatalogIdentities::find(CatalogIdentity::Kind::snap,
                                        std::string_view(instance).substr(0, instance.find('_')));
    }
    if (!found) found = CatalogIdentities::find(CatalogIdentity::Kind::desktop, desktopID);
    return found;
}

// Whether `name` holds a control character: the escapes of the format can put
// a line break or a tab into a "Name", which would break the lines that list
// applications and could pass a made-up line off as Quillfen's own.
bool hasControlCharacter(std::string_view name) {
    return std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

// Whether `folder` is snapd's applications folder (".../snapd/desktop/applications").
bool isSnapFolder(const fs::path& folder) {
    fs::path normal = folder.lexically_normal();
    if (!normal.has_filename()) normal = normal.parent_path();
    const fs::path parent = normal.parent_path();
    return parent.filename() == "desktop" && parent.parent_path().filename() == "snapd";
}

}  // namespace

std::vector<fs::path> DesktopEntryScanner::applicationFolders() {
    std::vector<fs::path> folders;
    const fs::path home = keel::FileManager::noSandboxHomeURL();
    fs::path dataHome = home / ".local" / "share";
    if (const char* value = std::getenv("XDG_DATA_HOME"); value && value[0] == '/')
        dataHome = value;
    folders.push_back(dataHome / "applications");

    std::vector<std::string> dataDirs;
    if (const char* value = std::getenv("XDG_DATA_DIRS")) dataDirs = splitColons(value);
    // Relative entries are not allowed: they would depend on the working folder.
    dataDirs.erase(std::remove_if(dataDirs.begin(), dataDirs.end(),
                                  [](const std::string& dir) { return dir.front() != '/'; }),
                   dataDirs.end());
    if (dataDirs.empty()) {
        dataDirs = {"/usr/local/share", "/usr/share", (dataHome / "flatpak/exports/share").string(),
                    "/var/lib/flatpak/exports/share", "/var/lib/snapd/desktop"};
    }
    for (const std::string& dir : dataDirs) {
        fs::path folder = fs::path(dir) / "applications";
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(std::move(folder));
    }
    return folders;
}

std::vector<std::string> DesktopEntryScanner::currentDesktops() {
    const char* value = std::getenv("XDG_CURRENT_DESKTOP");
    return value ? splitColons(value) : std::vector<std::string>{};
}

namespace {

// The entry of `file`, taken from `cache` while the file is unchanged, else
// read and remembered there. Its status is taken before it is read: a file
// that changes meanwhile is read again at the next scan.
std::optional<DesktopEntry> readEntry(const std::string& file, DesktopEntryCache* cache) {
    if (!cache) return DesktopEntry::read(file);
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return DesktopEntry::read(file);
    if (auto cached = cache->entry(file, info)) return cached;
    std::optional<DesktopEntry> entry = DesktopEntry::read(file);
    if (entry) cache->remember(file, info, *entry);
    return entry;
}

// The entries of `files`, in their order; std::nullopt for those that cannot
// be read or are malformed.
std::vector<std::optional<DesktopEntry>> readAll(const std::vector<const Candidate*>& files,
                                                 DesktopEntryCache* cache) {
    std::vector<std::optional<DesktopEntry>> entries(files.size());
    // Opening and parsing hundreds of small files is most of the time a
    // command takes to start: shared by the cores, a group of files each.
    const std::size_t groups = (files.size() + kFilesPerGroup - 1) / kFilesPerGroup;
    keel::DispatchQueue::concurrentPerform(groups, [&](std::size_t group) {
        const std::size_t end = std::min(files.size(), (group + 1) * kFilesPerGroup);
        for (std::size_t i = group * kFilesPerGroup; i < end; ++i)
            entries[i] = readEntry(files[i]->file, cache);
    });
    if (cache) {
        std::vector<std::string_view> paths;
        paths.reserve(files.size());
        for (const Candidate* candidate : files)
            paths.emplace_back(candidate->file);
        cache->save(paths);
    }
    return entries;
}

}  // namespace

std::vector<LocalAppItem> DesktopEntryScanner::applications(
    const std::vector<fs::path>& folders, const std::vector<std::string>& desktops,
    DesktopEntryCache* cache) {
    struct Folder {
        std::vector<Candidate> candidates;
        bool inSnapFolder = false;
    };
    std::vector<Folder> listed;
    std::vector<const Candidate*> files;
    for (const fs::path& folder : folders)
        listed.push_back({candidatesIn(folder), isSnapFolder(folder)});
    for (const Folder& folder : listed) {
        for (const Candidate& candidate : folder.candidates)
            files.push_back(&candidate);
    }
    // Read all at once, also entries an earlier folder's entry of the same ID
    // hides; they are few, and which one counts is still decided in order.
    std::vector<std::optional<DesktopEntry>> entries = readAll(files, cache);

    std::vector<LocalAppItem> items;
    std::unordered_set<std::string> claimedIDs;
    std::unordered_set<std::string> names;
    std::size_t index = 0;
    for (const Folder& folder : listed) {
        for (const Candidate& candidate : folder.candidates) {
            const std::optional<DesktopEntry>& entry = entries[index++];
            if (claimedIDs.contains(candidate.desktopID)) continue;
            if (!entry) continue;
            claimedIDs.insert(candidate.desktopID);
            if (entry->type != "Application" || entry->noDisplay || entry->hidden) continue;

            LocalAppItem item = LocalAppItem::fromDesktopEntry(
                candidate.file, candidate.desktopID, *entry, entry->name, folder.inSnapFolder);
            const CatalogIdentity* identity = identityOf(item, candidate.desktopID);
            // The catalog offers a tool such as Vim as an executable; as an
            // application too, its files would be carried twice.
            if (identity && identity->isExecutable) continue;
            if (!identity && !entry->isShownIn(desktops)) continue;
            if (identity) item.name = identity->catalogName;
            if (item.name.empty() || hasControlCharacter(item.name) ||
                !names.insert(item.name).second)
                continue;
            items.push_back(std::move(item));
        }
    }
    return items;
}

}  // namespace quillfen
