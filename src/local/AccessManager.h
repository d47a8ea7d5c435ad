// AccessManager: the folders the user granted this application access to, and
// the answer to "may we touch this location?". Each grant is kept as a
// bookmark so that it survives restarts; access to every granted folder is
// started when the grant is made or reloaded and stays started until the
// manager is destroyed.
//
// Stored form: the user-settings key "AccessBookmarksData" holds the JSON
// object {"<absolute path of the granted folder>": "<base64 of its bookmark>"},
// as bytes, with only the grants whose access could be started. Nothing else
// reads it. At creation the stored grants are reloaded and the value is
// rewritten without the ones that no longer hold (the folder is gone, or
// another item now sits at its path), so the user is asked again for those.
//
// Thread safety: the map of grants sits in a locked box; `hasAccess` and
// `bookmarksDict` may be called from any thread at any time, `addAccess` from
// any thread too. `loadBookmarks` replaces the whole map and must not run
// while another thread adds a grant.
//
// Errors: bad bookmarks and unreadable stored values are dropped silently.
// Only writing the settings file can fail; see `addAccess` and `saveBookmarks`.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "keel/Atomic.h"
#include "keel/URL.h"
#include "keel/UserSettings.h"

namespace quillfen {

class AccessManager {
public:
    struct Bookmark {
        keel::Data data;
        // Whether starting access to the folder succeeded; only such grants
        // are stored.
        bool accessStarted = false;
    };
    // Keyed by the absolute, lexically normal path of the granted folder.
    using BookmarksDict = std::map<keel::URL, Bookmark>;

    static inline const keel::OptionalUserSettingKey<keel::Data> accessBookmarksDataKey{
        "AccessBookmarksData", std::nullopt};

    // The instance of the application, created on first use (thread-safe) and
    // kept until the process ends.
    static AccessManager& shared();

    // Loads the stored grants and rewrites the stored value with those that
    // still hold. The application uses `shared()`; separate instances serve
    // tests. A settings file that cannot be written leaves the stored value as
    // it was; the grants loaded still hold for this run.
    AccessManager();
    ~AccessManager();
    AccessManager(const AccessManager&) = delete;
    AccessManager& operator=(const AccessManager&) = delete;

    // Whether `url` is readable and lies inside a granted folder (a granted
    // folder covers itself).
    bool hasAccess(const keel::URL& url) const;

    // Records a grant for the folder the user chose, starts access to it and
    // stores it. A folder already granted, or one that cannot be bookmarked
    // (nothing is there), changes nothing. Throws
    // std::filesystem::filesystem_error when the settings file cannot be
    // written: the grant then holds for this run only, and the caller can tell
    // the user it will be asked for again.
    void addAccess(const keel::URL& url);

    // Stops access to the current grants, then replaces them with the stored
    // ones that still resolve to the same folder, are not stale and whose
    // access can be started. A missing or unreadable stored value counts as
    // no grants.
    void loadBookmarks();

    // Stores the grants whose access was started. Throws
    // std::filesystem::filesystem_error when the settings file cannot be written.
    void saveBookmarks();

    // Stops access to every grant whose access was started. The map itself is
    // left as it is: `loadBookmarks` replaces it right after, and destruction
    // ends it.
    void stopAccessingAll();

    // A copy of the current grants.
    BookmarksDict bookmarksDict() const { return bookmarksDict_.value(); }

private:
    keel::Atomic<BookmarksDict> bookmarksDict_;
    // Keeps each save's read of the map and its write to the settings together,
    // so that a save can never overwrite a later one with fewer grants.
    std::mutex saveMutex_;
};

}  // namespace quillfen
