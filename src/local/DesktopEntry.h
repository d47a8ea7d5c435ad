// DesktopEntry: what Quillfen reads from a desktop entry file, the ".desktop"
// files through which Linux desktops list installed applications (Debian
// packages, Flatpak and snap exports alike). Only the "Desktop Entry" group
// is read, and of it only the keys that tell whether the entry is a visible
// application, its untranslated name, its icon and the sandbox it runs in.
//
// The reader is our own and small: the format is a few lines of rules, and
// owning it keeps the limits Quillfen needs (a size bound, no blocking on a
// FIFO, names that are valid UTF-8 before they reach a package's JSON files)
// in one place. It follows the desktop-entry rules strictly where a lenient
// reading would guess: a file whose first group is not "Desktop Entry", with
// a line that is neither a comment, a group header nor a key, with a group or
// a key of that group written twice, with a NUL byte or with text that is not
// UTF-8 is malformed as a whole, as the common desktop libraries treat it.
//
// A plain value; reading never throws: a file that cannot be read, that is
// not a regular file, that is larger than `maximumFileSize` or that is
// malformed gives no entry. Callable from any thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen {

struct DesktopEntry {
    // Real entries are a few KiB, a few tens with every translation; a larger
    // file is no desktop entry worth reading at every start.
    static constexpr std::size_t maximumFileSize = 1 << 20;

    // "Application", "Link" or "Directory" (or anything a file says).
    std::string type;
    // The untranslated "Name", unescaped.
    std::string name;
    std::optional<std::string> icon;
    bool noDisplay = false;
    bool hidden = false;
    // Absent when the key is absent, so that an empty "OnlyShowIn=" (shown
    // nowhere) differs from no restriction at all.
    std::optional<std::vector<std::string>> onlyShowIn;
    std::vector<std::string> notShowIn;
    // The Flatpak application ID that Flatpak writes into the entries it
    // exports ("X-Flatpak"), and the snap instance name snapd writes into
    // its own ("X-SnapInstanceName"), as written: not yet checked.
    std::optional<std::string> flatpakID;
    std::optional<std::string> snapInstanceName;
    // The version an AppImage integration writes ("X-AppImage-Version").
    std::optional<std::string> appImageVersion;

    friend bool operator==(const DesktopEntry&, const DesktopEntry&) = default;

    // The entry of the text of a desktop entry file; none when malformed or
    // when "Type" or "Name" is missing.
    static std::optional<DesktopEntry> parse(std::string_view text);
    // The entry of the file at `url`, following symbolic links; see above.
    static std::optional<DesktopEntry> read(const std::filesystem::path& url);

    // Whether "OnlyShowIn" and "NotShowIn" let a desktop whose names (those of
    // XDG_CURRENT_DESKTOP) are `desktops` show the entry. With no desktop
    // named, an entry limited to some desktops is not shown.
    bool isShownIn(const std::vector<std::string>& desktops) const;
};

}  // namespace quillfen
