// LocalAppItem: what this computer knows about one installed application:
// where it is described, its name, and the few values the rest of the
// application asks for (identifier, version, iCloud container identifiers,
// icon). An application comes either from a bundle (a ".app" folder with its
// property list) or from a desktop entry (a ".desktop" file of the XDG
// applications folders), which may export a Flatpak or a snap.
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
#include <string_view>
#include <vector>

namespace quillfen {

struct DesktopEntry;

struct LocalAppItem {
    // Where the application was found, which says how to read the fields below
    // and where it keeps its settings.
    enum class Packaging {
        bundle,        // a ".app" bundle
        desktopEntry,  // a desktop entry of a program installed in the system's way
        flatpak,       // a desktop entry that Flatpak exports
        snap,          // a desktop entry that snapd exports
    };

    Packaging packaging = Packaging::bundle;
    // The bundle directory, or the desktop entry file (as found, not with its
    // links resolved).
    std::filesystem::path bundleURL;
    // The bundle's file name without its extension ("Safari" for "Safari.app").
    // For a desktop entry, the catalog's name of the application when the
    // catalog knows it by one of its IDs, otherwise the entry's untranslated
    // "Name".
    std::string name;
    // The bundle's property list; the desktop entry file itself.
    std::filesystem::path infoURL;
    // The bundle identifier; for a desktop entry its desktop ID (the file name
    // without ".desktop"), or the Flatpak application ID of a Flatpak.
    std::optional<std::string> identifier;
    // The name of the application's sandbox folder: the Flatpak application ID
    // (".var/app/<id>") or the snap instance name ("snap/<name>"). Only a
    // name that passed the ID checks below is kept here.
    std::optional<std::string> sandboxID;
    // The iCloud container identifiers the application declares, in ascending
    // byte order, so that the same bundle always lists them alike.
    std::vector<std::string> containers;
    std::optional<std::string> version;
    // The icon file inside the bundle that a front end shows for it. Only a
    // plain file name in "Contents/Resources" is accepted, so a hostile
    // property list cannot point the front end at a file outside the bundle.
    std::optional<std::filesystem::path> iconFileURL;
    // The icon a desktop entry names ("Icon"): a theme icon name, or a file,
    // for the front end to resolve.
    std::optional<std::string> iconName;

    LocalAppItem() = default;
    // Reads the bundle's property list; see the errors above.
    explicit LocalAppItem(const std::filesystem::path& bundle);
    // The application of a desktop entry read from `file`, whose desktop ID is
    // `desktopID`, named `name`. A Flatpak is told by a valid "X-Flatpak"
    // application ID; a snap by a valid "X-SnapInstanceName", or by a desktop
    // ID "<snap>_<app>" when `inSnapFolder` (snapd's own applications folder).
    static LocalAppItem fromDesktopEntry(std::filesystem::path file, const std::string& desktopID,
                                         const DesktopEntry& entry, std::string name,
                                         bool inSnapFolder);

    // Whether `id` is a Flatpak application ID: three or more elements
    // separated by ".", each of ASCII letters, digits, "_" and "-" and not
    // starting with a digit, at most 255 characters in all.
    static bool isFlatpakID(std::string_view id);
    // Whether `name` is a snap instance name: a snap name (lower-case letters,
    // digits and inner single hyphens, with a letter, at most 40 characters),
    // optionally followed by "_" and an instance key of up to 10 lower-case
    // letters and digits.
    static bool isSnapName(std::string_view name);

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
