// Bookmarks of folders the user granted access to. A bookmark is an opaque
// record of a location that lets a later run find the same item again and
// tell whether what sits at the path now is still the item that was granted.
//
// On this platform a bookmark is a small JSON document holding the absolute
// path and the file identity (device and inode) of the item; nothing grants or
// withdraws rights, so starting access only checks that the item is there and
// readable, and stopping it does nothing. A platform with sandbox grants puts
// its own bookmarks behind the same four functions.
//
// Errors: `createBookmark` and `resolveBookmark` throw
// std::filesystem::filesystem_error; the other two never throw.
// Thread safety: plain functions over the file system, callable from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace quillfen {

struct ResolvedBookmark {
    std::filesystem::path url;
    // The item at `url` is not the one that was bookmarked (it was replaced by
    // another with the same name).
    bool isStale = false;
};

// The bookmark of the item at `url` (made absolute and lexically normal).
// Throws when nothing is at `url`, or when its path cannot be recorded (a
// name that is not valid UTF-8).
std::vector<std::uint8_t> createBookmark(const std::filesystem::path& url);

// The location a bookmark names. Throws when the bytes are no bookmark or
// nothing is at the recorded path any more.
ResolvedBookmark resolveBookmark(const std::vector<std::uint8_t>& data);

// Whether the item at `url` may be used from now on: it exists and is readable.
bool startAccessingSecurityScopedResource(const std::filesystem::path& url);

// Balances a successful `startAccessingSecurityScopedResource`.
void stopAccessingSecurityScopedResource(const std::filesystem::path& url);

}  // namespace quillfen
