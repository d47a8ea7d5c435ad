// EntryIcon: which picture a row of the viewer shows, said without drawing it.
// The core stays free of images: an entry names the item on this computer
// whose own icon fits (an application bundle, the icon an application's
// desktop entry names, or a picked file) and the shared
// picture of the application to fall back on when that item has no icon or is
// not on this computer. A front end turns this into an image.
//
// A plain value; copies may be used on any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quillfen {

struct EntryIcon {
    // The shared pictures the front end ships.
    static inline const std::string genericAppIconName = "GenericAppIcon";
    static inline const std::string executableItemIconName = "ExecutableItemIcon";

    // The local item whose icon to show, when there is one: the bundle of an
    // installed application, or the location of a picked file (which may be
    // missing; the front end then falls back on `sharedName`).
    std::optional<std::filesystem::path> itemURL;
    // The icon file the application's bundle declares, when it declares one.
    std::optional<std::filesystem::path> iconFileURL;
    // The shared picture to show when the item gives none.
    std::string sharedName;
    // The icon an application's desktop entry names: a theme icon name, or
    // a file, for the front end to resolve.
    std::optional<std::string> iconName = std::nullopt;

    friend bool operator==(const EntryIcon&, const EntryIcon&) = default;
};

}  // namespace quillfen
