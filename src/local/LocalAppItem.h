// LocalAppItem: what this computer knows about one installed application
// bundle: where it is, its name, and the few values of its property list that
// the rest of the application asks for (identifier, version, iCloud container
// identifiers, icon file).
//
// Errors: building an item never fails. A bundle whose "Contents/Info.plist"
// is missing, unreadable or malformed still becomes an item, with no
// identifier, no version, no containers and no icon file; a value of another
// type than expected counts as absent.
//
// Thread safety: a plain value; copies may be used on any thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillfen {

struct LocalAppItem {
    std::filesystem::path bundleURL;
    // The bundle's file name without its extension ("Safari" for "Safari.app").
    std::string name;
    std::filesystem::path infoURL;
    std::optional<std::string> identifier;
    // The iCloud container identifiers the application declares, in ascending
    // byte order, so that the same bundle always lists them alike.
    std::vector<std::string> containers;
    std::optional<std::string> version;
    // The icon file inside the bundle that a front end shows for it. Only a
    // plain file name in "Contents/Resources" is accepted, so a hostile
    // property list cannot point the front end at a file outside the bundle.
    std::optional<std::filesystem::path> iconFileURL;

    LocalAppItem() = default;
    // Reads the bundle's property list; see the errors above.
    explicit LocalAppItem(const std::filesystem::path& bundle);

    // Items are the same application when they are the same bundle.
    friend bool operator==(const LocalAppItem& a, const LocalAppItem& b) {
        return a.bundleURL == b.bundleURL;
    }
    // Lists show applications by name, in Finder order.
    friend bool operator<(const LocalAppItem& a, const LocalAppItem& b);
};

}  // namespace quillfen

template <>
struct std::hash<quillfen::LocalAppItem> {
    std::size_t operator()(const quillfen::LocalAppItem& item) const noexcept {
        return std::filesystem::hash_value(item.bundleURL);
    }
};
