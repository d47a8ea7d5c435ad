// Fake desktop entries for tests, shaped like the files that Debian packages,
// Flatpak and snapd install: a "Desktop Entry" group with the usual keys and
// translations, an action group, and whatever extra keys a test needs.
#pragma once

#include <filesystem>
#include <string>

#include "support/TestSupport.h"

namespace quillfen::testing {

namespace fs = std::filesystem;

// The text of an application's desktop entry named `name`, with the lines of
// `extra` (each ending in "\n") added to its main group.
inline std::string desktopEntryText(const std::string& name, const std::string& extra = {}) {
    return "[Desktop Entry]\n"
           "Version=1.0\n"
           "Type=Application\n"
           "Name=" +
           name +
           "\n"
           "Name[fr]=" +
           name +
           " (fr)\n"
           "GenericName=Program\n"
           "Comment=Does things\n"
           "Exec=program %U\n"
           "Terminal=false\n"
           "Categories=Utility;\n"
           "StartupNotify=true\n" +
           extra +
           "Actions=new-window;\n"
           "\n"
           "[Desktop Action new-window]\n"
           "Name=New Window\n"
           "Exec=program --new-window\n";
}

// Writes a desktop entry to `file` (creating its folders).
inline void writeDesktopEntry(const fs::path& file, const std::string& name,
                              const std::string& extra = {}) {
    testsupport::writeFile(file, desktopEntryText(name, extra));
}

// Writes the entry Flatpak exports for application `id`: the file lies in the
// application's own deployment and the exports folder links to it, as
// Flatpak installs it.
inline void writeFlatpakExport(const fs::path& exportsApplications, const fs::path& deployment,
                               const std::string& id, const std::string& name) {
    const fs::path file = deployment / (id + ".desktop");
    writeDesktopEntry(file, name, "Icon=" + id + "\nX-Flatpak=" + id + "\n");
    fs::create_directories(exportsApplications);
    fs::create_symlink(file, exportsApplications / (id + ".desktop"));
}

}  // namespace quillfen::testing
