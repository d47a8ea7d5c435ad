// URL conveniences. A URL in Quillfen is a std::filesystem::path; these are the
// checks and relations that callers make on locations.
//
// The `check` functions answer true, false, or nothing (undetermined) when
// nothing is at the location or it cannot be examined. None of them throws.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace keel {

using URL = std::filesystem::path;

// True for a symbolic link (this platform's form of an alias), false for
// anything else.
std::optional<bool> checkIsAlias(const URL& url);

// Whether the calling process may both read and write the item.
std::optional<bool> checkIsReadAndWrite(const URL& url);

// True when the item lives on the file system of "/" or of the home folder,
// false on other mounts (removable media, network shares).
std::optional<bool> checkIsOnMainDisk(const URL& url);

// Whether `url` lies inside `parent`, comparing whole path components of the
// lexically normalised absolute paths; a location counts as its own parent, and
// "/a" is no parent of "/ab".
bool isParent(const URL& parent, const URL& url);

// As `isParent`, after resolving symbolic links in both locations where they exist.
bool isFileParent(const URL& parent, const URL& url);

// The forms these checks compare, for callers that check many locations
// against the same few: compute a location's form once, then compare forms
// with `isParentLocation`, which looks nothing up.
//
// The absolute, lexically normal form of `url`, without a trailing separator.
URL normalisedLocation(const URL& url);
// `normalisedLocation` with the symbolic links resolved in the part of the
// location that exists (the rest is kept as written). Looks at the disk.
URL resolvedLocation(const URL& url);
// Whether `url` lies inside `parent` or is it, for two forms given by the
// functions above: `isParent(a, b)` is
// `isParentLocation(normalisedLocation(a), normalisedLocation(b))`, and
// `isFileParent` the same with `resolvedLocation`.
bool isParentLocation(const URL& parent, const URL& url);

// The last path component without its extension ("Foo" for ".../Foo.app").
std::string lastPathTitle(const URL& url);

// The last path component's extension without the dot ("app"); empty when none.
std::string pathExtension(const URL& url);

}  // namespace keel
