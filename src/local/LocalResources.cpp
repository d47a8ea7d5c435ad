#include "local/LocalResources.h"

#include <algorithm>
#include <array>
#include <future>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>

#include "keel/FinderOrder.h"
#include "keel/NotificationCenter.h"
#include "keel/URL.h"
#include "local/DesktopEntryCache.h"
#include "local/DesktopEntryScanner.h"

namespace quillfen {

namespace fs = std::filesystem;

namespace {

std::mutex& applicationsDirectoryMutex() {
    static std::mutex mutex;
    return mutex;
}

#ifdef __APPLE__
constexpr bool kListsDesktopEntries = false;
#else
constexpr bool kListsDesktopEntries = true;
#endif

fs::path& configuredApplicationsDirectory() {
    static fs::path url = kListsDesktopEntries ? fs::path() : fs::path("/Applications/");
    return url;
}

std::optional<std::vector<fs::path>>& configuredDesktopEntryFolders() {
    static std::optional<std::vector<fs::path>> folders;
    return folders;
}

std::string asciiLowercased(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Extensions (lower-cased) of folders that the system treats as one item, a
// bundle or a document package. The search never looks inside them: an
// application's helpers and plug-ins are not applications of their own.
bool isBundleExtension(const std::string& lowercasedExtension) {
    static constexpr std::array<std::string_view, 36> extensions = {"app",
                                                                    "appex",
                                                                    "bundle",
                                                                    "component",
                                                                    "framework",
                                                                    "kext",
                                                                    "dext",
                                                                    "driver",
                                                                    "plugin",
                                                                    "xpc",
                                                                    "qlgenerator",
                                                                    "mdimporter",
                                                                    "prefpane",
                                                                    "saver",
                                                                    "vst",
                                                                    "vst3",
                                                                    "wdgt",
                                                                    "service",
                                                                    "systemextension",
                                                                    "docset",
                                                                    "osax",
                                                                    "action",
                                                                    "workflow",
                                                                    "colorpicker",
                                                                    "ideplugin",
                                                                    "xcplugin",
                                                                    "pkg",
                                                                    "mpkg",
                                                                    "rtfd",
                                                                    "xcodeproj",
                                                                    "xcworkspace",
                                                                    "playground",
                                                                    "photoslibrary",
                                                                    "fs",
                                                                    "menu",
                                                                    "spotlight"};
    return std::find(extensions.begin(), extensions.end(), lowercasedExtension) != extensions.end();
}

// The visible entries of `folder` in byte order of their names, so that every
// run enumerates the same tree alike. Errors end the listing quietly.
std::vector<fs::path> sortedVisibleChildren(const fs::path& folder) {
    std::vector<fs::path> children;
    std::error_code error;
    fs::directory_iterator iterator(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && iterator != fs::directory_iterator(); iterator.increment(error)) {
        const fs::path& child = iterator->path();
        if (child.filename().native().starts_with('.')) continue;
        children.push_back(child);
    }
    std::sort(children.begin(), children.end(), [](const fs::path& a, const fs::path& b) {
        return a.filename().native() < b.filename().native();
    });
    return children;
}

// Whether the search goes into `entry`: a real folder (not a link to one) that
// is no bundle.
bool isSearchedFolder(const fs::path& entry) {
    std::error_code error;
    fs::file_status status = fs::symlink_status(entry, error);
    if (error || !fs::is_directory(status)) return false;
    return !isBundleExtension(asciiLowercased(keel::pathExtension(entry)));
}

// Every entry below `root` in depth-first order, each folder before its
// contents. Kept iterative so that a deep tree cannot exhaust the stack.
std::vector<fs::path> enumerateRecursively(const fs::path& root) {
    struct Level {
        std::vector<fs::path> entries;
        std::size_t next = 0;
    };
    std::vector<fs::path> result;
    std::vector<Level> stack;
    stack.push_back({sortedVisibleChildren(root)});
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.entries.size()) {
            stack.pop_back();
            continue;
        }
        fs::path entry = level.entries[level.next++];
        if (isSearchedFolder(entry)) {
            result.push_back(entry);
            stack.push_back({sortedVisibleChildren(entry)});  // `level` is stale from here on
        } else {
            result.push_back(std::move(entry));
        }
    }
    return result;
}

}  // namespace

namespace {

struct Prefetch {
    std::mutex mutex;
    std::vector<fs::path> folders;
    std::optional<std::future<std::vector<LocalAppItem>>> applications;
};

Prefetch& prefetch() {
    // Never destroyed, like the shared instance; a program that prefetches
    // waits for the scan before it exits (finishPrefetch), since the scan
    // reads tables that static destructors take down.
    static auto* instance = new Prefetch;
    return *instance;
}

}  // namespace

namespace {

std::optional<fs::path>& configuredDesktopEntryCacheURL() {
    static std::optional<fs::path> url;
    return url;
}

// The scan of `folders`, through the configured cache when there is one.
std::vector<LocalAppItem> scanDesktopEntries(const std::vector<fs::path>& folders) {
    std::optional<DesktopEntryCache> cache;
    if (const auto url = LocalResources::desktopEntryCacheURL()) cache.emplace(*url);
    return DesktopEntryScanner::applications(folders, DesktopEntryScanner::currentDesktops(),
                                             cache ? &*cache : nullptr);
}

}  // namespace

void LocalResources::prefetchApplications() {
    auto folders = desktopEntryFolders();
    if (folders.empty()) return;
    Prefetch& state = prefetch();
    std::lock_guard lock(state.mutex);
    if (state.applications) return;
    state.folders = folders;
    state.applications = std::async(
        std::launch::async, [folders = std::move(folders)] { return scanDesktopEntries(folders); });
}

void LocalResources::finishPrefetch() {
    std::optional<std::future<std::vector<LocalAppItem>>> pending;
    {
        Prefetch& state = prefetch();
        std::lock_guard lock(state.mutex);
        pending = std::move(state.applications);
        state.applications.reset();
    }
    if (!pending) return;
    try {
        pending->wait();
    } catch (...) {
    }
}

LocalResources& LocalResources::shared() {
    // Never destroyed: other process-wide objects may still use it while the
    // program exits, whatever the order of their destruction.
    static LocalResources* instance =
        new LocalResources(applicationsDirectory(), desktopEntryFolders());
    return *instance;
}

void LocalResources::setApplicationsDirectory(fs::path url) {
    std::lock_guard lock(applicationsDirectoryMutex());
    configuredApplicationsDirectory() = std::move(url);
}

fs::path LocalResources::applicationsDirectory() {
    std::lock_guard lock(applicationsDirectoryMutex());
    return configuredApplicationsDirectory();
}

void LocalResources::setDesktopEntryCacheURL(std::optional<fs::path> url) {
    std::lock_guard lock(applicationsDirectoryMutex());
    configuredDesktopEntryCacheURL() = std::move(url);
}

std::optional<fs::path> LocalResources::desktopEntryCacheURL() {
    std::lock_guard lock(applicationsDirectoryMutex());
    return configuredDesktopEntryCacheURL();
}

void LocalResources::setDesktopEntryFolders(std::vector<fs::path> folders) {
    std::lock_guard lock(applicationsDirectoryMutex());
    configuredDesktopEntryFolders() = std::move(folders);
}

std::vector<fs::path> LocalResources::desktopEntryFolders() {
    {
        std::lock_guard lock(applicationsDirectoryMutex());
        if (configuredDesktopEntryFolders()) return *configuredDesktopEntryFolders();
    }
    if (!kListsDesktopEntries) return {};
    return DesktopEntryScanner::applicationFolders();
}

LocalResources::LocalResources(fs::path applicationsDirectory,
                               std::vector<fs::path> desktopEntryFolders)
    : applicationsDirectory_(std::move(applicationsDirectory)),
      desktopEntryFolders_(std::move(desktopEntryFolders)) {
    loadAppItems();
    setExcludedFileURLs(keel::UserSettings::standard().get(localExcludeFileURLsKey));
}

std::optional<LocalAppItem> LocalResources::appItem(const std::string& name) const {
    auto it = appItems_.find(name);
    if (it == appItems_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> LocalResources::appNames() const {
    std::vector<std::string> names;
    names.reserve(appItems_.size());
    for (const auto& [name, item] : appItems_)
        names.push_back(name);
    return names;
}

const std::vector<std::string>& LocalResources::appNamesInFinderOrder() const {
    SortedNames& sorted = *sortedNames_;
    std::call_once(sorted.once, [&] { sorted.names = keel::finderSorted(appNames()); });
    return sorted.names;
}

void LocalResources::loadAppItems() {
    // The names are sorted again for the new scan, when first asked for.
    sortedNames_ = std::make_unique<SortedNames>();
    std::unordered_map<std::string, LocalAppItem> items;
    if (!desktopEntryFolders_.empty()) {
        std::optional<std::future<std::vector<LocalAppItem>>> prefetched;
        {
            Prefetch& state = prefetch();
            std::lock_guard lock(state.mutex);
            if (state.applications && state.folders == desktopEntryFolders_)
                prefetched = std::move(state.applications);
            state.applications.reset();
        }
        auto scanned = prefetched ? prefetched->get() : scanDesktopEntries(desktopEntryFolders_);
        for (LocalAppItem& item : scanned) {
            std::string name = item.name;
            items.try_emplace(std::move(name), std::move(item));
        }
    }
    if (applicationsDirectory_.empty()) {
        appItems_ = std::move(items);
        return;
    }
    for (const fs::path& url : enumerateRecursively(applicationsDirectory_)) {
        if (asciiLowercased(keel::pathExtension(url)) != "app") continue;
        std::string name = keel::lastPathTitle(url);
        if (auto old = appItems_.find(name);
            old != appItems_.end() && old->second.packaging == LocalAppItem::Packaging::bundle) {
            items.insert_or_assign(name, old->second);
        } else {
            items.insert_or_assign(name, LocalAppItem(url));
        }
    }
    appItems_ = std::move(items);
}

void LocalResources::setExcludedFileURLs(std::vector<fs::path> urls) {
    auto& center = keel::NotificationCenter::defaultCenter();
    center.post(willUpdateListNotification, this);
    excludedFileURLs_.setValue(std::move(urls));
    center.post(didUpdateListNotification, this);
}

void LocalResources::sortExcludedFileURLs() {
    std::vector<fs::path> urls = excludedFileURLs();
    keel::finderSort(urls, [](const fs::path& url) { return url.string(); });
    setExcludedFileURLs(std::move(urls));
}

void LocalResources::saveExcludedFileURLs() {
    keel::UserSettings::standard().set(localExcludeFileURLsKey, excludedFileURLs());
}

bool LocalResources::isExcluded(const fs::path& url) const {
    const std::vector<fs::path> urls = excludedFileURLs();
    // An empty entry names no location; it must not stand for the current folder.
    return std::any_of(urls.begin(), urls.end(), [&](const fs::path& excluded) {
        return !excluded.empty() && keel::isParent(excluded, url);
    });
}

std::vector<fs::path> LocalResources::excludedInside(const fs::path& folder) const {
    const auto normal = [](const fs::path& path) {
        fs::path result = path.lexically_normal();
        if (!result.has_filename() && result.has_relative_path()) result = result.parent_path();
        return result;
    };
    std::vector<fs::path> inside;
    const fs::path base = normal(folder);
    for (const auto& excluded : excludedFileURLs()) {
        if (excluded.empty() || !keel::isParent(base, excluded)) continue;
        fs::path relative = normal(excluded).lexically_relative(base);
        if (!relative.empty() && relative != "." && !relative.has_root_path())
            inside.push_back(std::move(relative));
    }
    return inside;
}

}  // namespace quillfen
