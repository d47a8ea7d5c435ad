#include "local/AccessManager.h"

#include <unistd.h>

#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "local/SecurityScopedBookmark.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace quillfen {

namespace {

// The one spelling of a location used as a key, so that "/a/b/", "/a/./b" and
// "/a/b" name the same grant and a reloaded bookmark compares equal to its key.
fs::path grantKey(const fs::path& url) {
    std::error_code error;
    fs::path path = fs::absolute(url, error);
    if (error) path = url;
    path = path.lexically_normal();
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path;
}

std::optional<keel::Data> encodedBookmarks(const AccessManager::BookmarksDict& bookmarks) {
    json object = json::object();
    for (const auto& [url, bookmark] : bookmarks) {
        if (!bookmark.accessStarted) continue;
        // JSON holds only UTF-8: a path that cannot be written is left out
        // alone rather than costing every other grant.
        try {
            (void)json(url.string()).dump();
        } catch (const json::exception&) {
            continue;
        }
        object[url.string()] = keel::UserSettingValue<keel::Data>::encode(bookmark.data);
    }
    try {
        const std::string text = object.dump();
        return keel::Data(text.begin(), text.end());
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

// The stored grants; members that are not a path with bookmark bytes are left out.
std::map<fs::path, keel::Data> decodedBookmarks(const std::optional<keel::Data>& stored) {
    std::map<fs::path, keel::Data> result;
    if (!stored) return result;
    const json object = json::parse(stored->begin(), stored->end(), nullptr, false);
    if (!object.is_object()) return result;
    for (const auto& [key, value] : object.items()) {
        const fs::path url(key);
        if (!url.is_absolute()) continue;
        if (auto data = keel::UserSettingValue<keel::Data>::decode(value))
            result.emplace(grantKey(url), std::move(*data));
    }
    return result;
}

}  // namespace

AccessManager& AccessManager::shared() {
    // Never destroyed: other process-wide objects may still use it while the
    // program exits, whatever the order of their destruction.
    static AccessManager* instance = new AccessManager();
    return *instance;
}

AccessManager::AccessManager() {
    loadBookmarks();
    try {
        saveBookmarks();
    } catch (const fs::filesystem_error&) {
        // Only a clean-up of the stored value; it is tried again at the next grant.
    }
}

AccessManager::~AccessManager() {
    stopAccessingAll();
}

bool AccessManager::hasAccess(const keel::URL& url) const {
    if (::access(url.c_str(), R_OK) != 0) return false;
    const BookmarksDict bookmarks = bookmarksDict_.value();
    for (const auto& [granted, bookmark] : bookmarks) {
        if (keel::isFileParent(granted, url)) return true;
    }
    return false;
}

void AccessManager::addAccess(const keel::URL& url) {
    const fs::path key = grantKey(url);
    const bool added = bookmarksDict_.mutate([&](BookmarksDict& bookmarks) {
        if (bookmarks.contains(key)) return false;
        keel::Data data;
        try {
            data = createBookmark(key);
        } catch (const fs::filesystem_error&) {
            return false;
        }
        const bool started = startAccessingSecurityScopedResource(key);
        bookmarks.emplace(key, Bookmark{std::move(data), started});
        return true;
    });
    if (added) saveBookmarks();
}

void AccessManager::loadBookmarks() {
    stopAccessingAll();
    const auto stored =
        decodedBookmarks(keel::UserSettings::standard().get(accessBookmarksDataKey));
    BookmarksDict loaded;
    for (const auto& [url, data] : stored) {
        ResolvedBookmark resolved;
        try {
            resolved = resolveBookmark(data);
        } catch (const fs::filesystem_error&) {
            continue;
        }
        if (resolved.isStale || grantKey(resolved.url) != url) continue;
        if (!startAccessingSecurityScopedResource(resolved.url)) continue;
        loaded.emplace(url, Bookmark{data, true});
    }
    bookmarksDict_.setValue(std::move(loaded));
}

void AccessManager::saveBookmarks() {
    std::lock_guard lock(saveMutex_);
    keel::UserSettings::standard().set(accessBookmarksDataKey,
                                       encodedBookmarks(bookmarksDict_.value()));
}

void AccessManager::stopAccessingAll() {
    const BookmarksDict bookmarks = bookmarksDict_.value();
    for (const auto& [url, bookmark] : bookmarks) {
        if (bookmark.accessStarted) stopAccessingSecurityScopedResource(url);
    }
}

}  // namespace quillfen
