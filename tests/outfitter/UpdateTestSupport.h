// Helpers of the updater's tests: release archives made in memory (including
// hostile ones), programs that pass for this computer's, and per-user and
// plain installs laid out in a temporary home.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace outfittertest {

struct ArchiveEntry {
    enum class Kind { file, folder, symlink, hardlink, device };
    Kind kind = Kind::file;
    std::string name;
    std::string content;  // a file's bytes, or a link's target
    mode_t mode = 0644;

    static ArchiveEntry file(std::string name, std::string content, mode_t mode = 0644) {
        return {Kind::file, std::move(name), std::move(content), mode};
    }
    static ArchiveEntry link(std::string name, std::string target) {
        return {Kind::symlink, std::move(name), std::move(target), 0777};
    }
};

// A gzip-compressed tar archive of `entries`, in their order.
std::string makeTarGz(const std::vector<ArchiveEntry>& entries);

// Bytes that begin like a program of this computer (the test program's own
// ELF header), followed by `marker`.
std::string fakeProgram(std::string_view marker);

// What a release of `version` holds: bin/quillfen-gui and bin/quillfen
// (fake programs marked with the version), a desktop entry and an icon.
std::vector<ArchiveEntry> releaseEntries(const std::string& version);

// Lays out `entries` under `folder` as files and folders.
void writeEntries(const std::filesystem::path& folder, const std::vector<ArchiveEntry>& entries);

// The per-user layout of `version` under `prefix`: the version folder, the
// `current` link and the links of bin/ and share/.
void makePerUserInstall(const std::filesystem::path& prefix, const std::string& version);
// A plain install of `version` under `prefix` (what `cmake --install` leaves):
// the release's files straight in <prefix>/bin and <prefix>/share.
void makePlainInstall(const std::filesystem::path& prefix, const std::string& version);

// Everything in the tree at `root`, links not followed: kind, mode, and a
// file's date and bytes or a link's target, by path relative to `root`.
// Folders' dates and the install lock are left out: making and removing a
// staging folder touches its parent's date, and nothing else.
std::map<std::string, std::string> treeOf(const std::filesystem::path& root);

// The content of the file that `path` leads to, links followed; "" when none.
std::string contentAt(const std::filesystem::path& path);

}  // namespace outfittertest
