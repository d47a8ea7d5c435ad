// InstallLocation: how this copy of Quillfen was installed, learnt at start-up
// from where the running program lies (its path with every link resolved).
// It decides what the updater may do with a new version:
//
// - sandboxed: inside Flatpak (FLATPAK_ID, /.flatpak-info) or Snap (SNAP).
//   Those systems update the program; the updater is off.
// - systemPackage: under /usr, where the system's package manager (or an
//   administrator) put it. Nothing is ever replaced; a new version is only
//   announced, with how to get it.
// - perUser: the per-user layout (see PerUserInstall), the program at
//   <prefix>/lib/quillfen/<version>/bin/<name> inside the home folder. A new
//   version is downloaded, verified and installed beside the old one.
// - plainPrefix: the program at <prefix>/bin/<name> inside the home folder,
//   as `cmake --install --prefix ~/.local` or a release archive unpacked into
//   ~/.local leaves it. Updated like perUser; the first update turns it into
//   the per-user layout.
// - temporaryFolder: a release unpacked in the downloads folder or a
//   temporary folder (<folder>/bin/<name>). It offers once to install itself
//   per user; a new version is only announced.
// - unmanaged: anywhere else (a build folder, /opt): only announced.
//
// Thread safety: a plain value; `detect` and `classify` may run on any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace outfitter {

struct ReleaseEnvironment;

struct InstallLocation {
    enum class Kind { sandboxed, systemPackage, perUser, plainPrefix, temporaryFolder, unmanaged };

    Kind kind = Kind::unmanaged;
    std::string sandbox;            // "Flatpak" or "Snap" when sandboxed
    std::filesystem::path program;  // the running program, links resolved
    // perUser and plainPrefix: the prefix (~/.local); temporaryFolder: the
    // unpacked release's folder (the one holding bin/).
    std::filesystem::path prefix;
    std::string installedVersion;  // perUser: the version folder's name

    // Whether updates are installed here (perUser and plainPrefix).
    bool installsUpdates() const { return kind == Kind::perUser || kind == Kind::plainPrefix; }

    // The folders where nothing is meant to stay.
    struct Folders {
        std::filesystem::path home;
        std::vector<std::filesystem::path> downloads;  // the user's downloads folders
        std::vector<std::filesystem::path> temporary;  // /tmp, /var/tmp, $TMPDIR...
    };

    // The location of the program that `environment` describes (its
    // `program`, by default /proc/self/exe), its home, downloads and
    // temporary folders, and its sandbox.
    static InstallLocation detect(const ReleaseEnvironment& environment);
    // The rules above, for a program path whose links are already resolved;
    // `sandbox` names the sandbox, empty when none.
    static InstallLocation classify(const std::filesystem::path& program, const Folders& folders,
                                    const std::string& sandbox = {});

    // Whether `path` is `folder` or lies inside it (both without links).
    static bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder);
};

}  // namespace outfitter
