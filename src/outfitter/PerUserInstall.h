// PerUserInstall: Quillfen installed for one user, without administrator
// rights, as versioned folders under a prefix (by default ~/.local):
//
//   <prefix>/lib/quillfen/<version>/    one folder per kept version, holding
//                                       what its release archive holds:
//       bin/quillfen                    the command line
//       bin/quillfen-gui                the desktop application
//       share/...                       desktop entry, icons, manual pages
//   <prefix>/lib/quillfen/current  -> <version>    the version that starts
//   <prefix>/lib/quillfen/previous -> <version>    the one before it, kept for
//                                                   one roll-back
//   <prefix>/bin/<name>   -> ../lib/quillfen/current/bin/<name>
//   <prefix>/share/<path> -> ../(...)/lib/quillfen/current/share/<path>
//                                       one relative link for every file of
//                                       the version's bin/ and share/ folders
//   <prefix>/lib/quillfen/.lock         held while an install runs
//
// A version's name is its version text ("1.3.0"). A release archive holds
// the inside of one version folder (bin/..., share/..., with or without "./"
// in front); unpacked by hand into ~/.local/lib/quillfen/<version> with the
// two links made, it is this layout.
//
// Installing a version never changes what runs until its last steps, and
// each step leaves a program that starts:
//  1. the release is unpacked into a new hidden folder beside the versions
//     (ArchiveUnpacker's rules), its program is checked to be there and to
//     be built for this computer, everything is flushed to the disk, and the
//     folder is renamed to its version;
//  2. files of an older install that stand where the links go (a plain
//     `cmake --install --prefix ~/.local` puts the programs in <prefix>/bin)
//     are kept, by a hard link (else a copy), in a folder named after the
//     running version, which becomes `previous`;
//  3. `previous` and then `current` are switched, each by one rename of a new
//     link over the old one, and the folder is flushed;
//  4. the links of <prefix>/bin and <prefix>/share are made or replaced (one
//     rename each), and links of the previous version that lead nowhere now
//     are removed. A file in the way is replaced only when `previous` holds
//     the same file, and a link only when it leads into a versions folder:
//     anything else there is the user's and stays (a line on the standard
//     output says so);
//  5. versions other than current, previous and the running one are removed,
//     with what an interrupted install left behind.
// The running program keeps running from its own folder; the new version
// starts the next time the program is started.
//
// Errors: throws UpdateError: archiveRefused for a release that may not be
// installed, updateInProgress when another process holds the lock,
// installFailed when the disk refuses a step.
// Threads: any one thread; processes exclude each other through the lock.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "outfitter/UpdateVersion.h"

namespace outfitter {

class PerUserInstall {
public:
    // The prefix: the folder that holds bin/, share/ and lib/quillfen (taken
    // with its links resolved).
    explicit PerUserInstall(std::filesystem::path prefix);

    const std::filesystem::path& prefix() const { return prefix_; }
    std::filesystem::path versionsFolder() const { return prefix_ / "lib" / "quillfen"; }

    enum class Outcome { installed, alreadyCurrent };

    // Installs the release archive read from `archiveFD` as `version`.
    // `runningProgram` is the program now running (links resolved): the new
    // version must hold a program of the same name, built for the same
    // kind of computer, and the running version's files are kept.
    // `runningVersion` names the folder that keeps the files of a plain
    // install. Returns alreadyCurrent when `version` is current already; it
    // then only completes the links and the removal of old versions, which
    // an interrupted install may have left undone.
    Outcome installArchive(int archiveFD, const UpdateVersion& version,
                           const std::filesystem::path& runningProgram,
                           const std::string& runningVersion);
    // The same from a release folder on disk (an unpacked release archive).
    Outcome installFolder(const std::filesystem::path& folder, const UpdateVersion& version,
                          const std::filesystem::path& runningProgram,
                          const std::string& runningVersion);

    // The versions the links name; nothing when there is no such link.
    std::optional<std::string> currentVersion() const;
    std::optional<std::string> previousVersion() const;

    // Makes the previous version current again, and the current one previous.
    // Throws UpdateError (installFailed) when there is no previous version.
    void rollBack();

    // The relative target of the link at <prefix>/<relative> (for instance
    // "bin/quillfen") that leads through `current`.
    static std::string linkTarget(const std::filesystem::path& relative);

private:
    Outcome install(const UpdateVersion& version, const std::filesystem::path& runningProgram,
                    const std::string& runningVersion, const std::function<void(int)>& fill);

    std::filesystem::path prefix_;
};

}  // namespace outfitter
