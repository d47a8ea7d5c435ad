// LocalResources: what is installed on this computer and what the user wants
// left alone. It lists the installed applications by name: those of the
// desktop entries of the XDG applications folders (see DesktopEntryScanner)
// and the ".app" bundles of an applications folder. It holds the exclusion
// list: the files and folders that backups, installs and synchronizations
// must not touch.
//
// One instance, `shared()`, serves the application; it is created on first use
// and lives for the whole run. Creating it scans the applications once and
// reads the stored exclusion list.
//
// Thread safety: `appItems` is filled while the instance is created and is
// only read afterwards, so it may be read from any thread; `loadAppItems()`
// replaces it and must not run while another thread reads it. The exclusion
// list sits in a locked box: readers on any thread see a whole list, never a
// half-replaced one. Its notifications are posted on the assigning thread.
//
// Errors: a folder that cannot be enumerated yields no applications and no
// error; only `saveExcludedFileURLs()` can fail (see there).
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "keel/Atomic.h"
#include "keel/UserSettings.h"
#include "local/LocalAppItem.h"

namespace quillfen {

class LocalResources {
public:
    // Posted before and after every assignment of the exclusion list, with the
    // instance as object.
    static inline const std::string willUpdateListNotification =
        "ExclusionsManagerWillUpdateListNotification";
    static inline const std::string didUpdateListNotification =
        "ExclusionsManagerDidUpdateListNotification";

    // Where the exclusion list is kept between runs.
    static inline const keel::EvaluedUserSettingKey<std::vector<std::filesystem::path>>
        localExcludeFileURLsKey{"LocalExcludeFileURLs", {}};

    // The instance of the application, created on first use (thread-safe).
    // Do not call it from an observer of the list notifications: those are
    // posted while the instance is being created.
    static LocalResources& shared();

    // The folder of ".app" bundles that `shared()` scans: "/Applications/" on a
    // Mac; on Linux none (an empty path) unless set, since desktop entries
    // list its applications. Takes effect only when set before the first call
    // of `shared()`.
    static void setApplicationsDirectory(std::filesystem::path url);
    static std::filesystem::path applicationsDirectory();
    // The folders of desktop entries that `shared()` scans, in precedence
    // order: on Linux those of the environment
    // (DesktopEntryScanner::applicationFolders) unless set; on a Mac none.
    // Takes effect only when set before the first call of `shared()`.
    static void setDesktopEntryFolders(std::vector<std::filesystem::path> folders);
    static std::vector<std::filesystem::path> desktopEntryFolders();
    // The file that keeps the texts of the desktop entries between scans (see
    // DesktopEntryCache); none by default, so that only the programs, which
    // set it, leave one behind. Takes effect for the scans that start after.
    static void setDesktopEntryCacheURL(std::optional<std::filesystem::path> url);
    static std::optional<std::filesystem::path> desktopEntryCacheURL();
    // Starts reading the desktop entries of `desktopEntryFolders()` on a
    // thread of its own, for the first `shared()` to take instead of reading
    // them itself: a program that will need the installed applications and
    // has other work first (reading a package) gets both done at once. Call
    // it after setting the folders; a later change of them, or a call after
    // `shared()`, leaves it unused. Safe on any thread. A program that calls
    // it calls finishPrefetch before it exits.
    static void prefetchApplications();
    // Waits for a prefetch that `shared()` did not take, and drops it.
    static void finishPrefetch();

    // Scans the bundles of `applicationsDirectory` (none for an empty path)
    // and, after them, the desktop entries of `desktopEntryFolders`; then reads
    // the stored exclusion list and assigns it, which posts the will/did
    // notifications once. The application uses `shared()`; separate instances
    // serve tools and tests.
    explicit LocalResources(std::filesystem::path applicationsDirectory,
                            std::vector<std::filesystem::path> desktopEntryFolders = {});
    LocalResources(const LocalResources&) = delete;
    LocalResources& operator=(const LocalResources&) = delete;

    // The installed applications by name.
    const std::unordered_map<std::string, LocalAppItem>& appItems() const { return appItems_; }
    std::optional<LocalAppItem> appItem(const std::string& name) const;
    // The names of all found applications, in no particular order.
    std::vector<std::string> appNames() const;
    // The same names in Finder order, sorted on the first call after each
    // `loadAppItems()` and kept: every reload of a list needs them.
    const std::vector<std::string>& appNamesInFinderOrder() const;

    // Rebuilds `appItems`. First the desktop entries, after the rules of
    // DesktopEntryScanner (with the desktops of XDG_CURRENT_DESKTOP). Then the
    // applications folder: the folder and its ordinary subfolders are
    // searched, hidden entries skipped, symbolic links to folders and bundles
    // never entered. Every entry whose extension is "app" in any case becomes
    // an item, replacing a desktop entry's application of the same name; of
    // two bundles with the same name the one enumerated last (entries sorted
    // by name at each level) wins. A bundle already known under a name is
    // kept as it was.
    void loadAppItems();

    std::vector<std::filesystem::path> excludedFileURLs() const {
        return excludedFileURLs_.value();
    }
    // Replaces the whole list, between the will- and did-update notifications.
    // Does not store it in the settings; see `saveExcludedFileURLs()`.
    void setExcludedFileURLs(std::vector<std::filesystem::path> urls);
    // Puts the list in Finder order of the paths, through the setter.
    void sortExcludedFileURLs();
    // Stores the current list in the user settings. Throws
    // std::filesystem::filesystem_error when the settings file cannot be
    // written, so the caller can tell the user the list was not kept.
    void saveExcludedFileURLs();

    // Whether `url` is an excluded location or lies inside one.
    bool isExcluded(const std::filesystem::path& url) const;
    // The excluded locations that lie inside the folder `folder` (not the
    // folder itself), as paths relative to it: what a copy of the folder
    // leaves out.
    std::vector<std::filesystem::path> excludedInside(const std::filesystem::path& folder) const;

private:
    std::filesystem::path applicationsDirectory_;
    std::vector<std::filesystem::path> desktopEntryFolders_;
    std::unordered_map<std::string, LocalAppItem> appItems_;
    // The sorted names of `appItems_`, made once per scan by the first reader.
    struct SortedNames {
        std::once_flag once;
        std::vector<std::string> names;
    };
    std::unique_ptr<SortedNames> sortedNames_ = std::make_unique<SortedNames>();
    keel::Atomic<std::vector<std::filesystem::path>> excludedFileURLs_;
};

}  // namespace quillfen
