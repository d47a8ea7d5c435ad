// HomeGenerator: builds the synthetic home folder and desktop entries that
// the benchmarks run on. The home is shaped like a real one from the catalog's
// own settings paths: property lists and dotfiles of 1 to 64 KiB, settings
// folders of 10 to 500 small files spread over a few subfolders, and a few
// large files of several MiB kept as custom files.
//
// Everything is derived from fixed seeds: the same size gives the same tree on
// every run and every computer, and a smaller size is a prefix of a larger one
// (the same entries in the same order, each path with the same shape), so that
// the two sizes differ in the number of files only.
//
// Errors: file-system failures throw std::filesystem::filesystem_error.
// Threads: plain functions; the catalog tables they read are immutable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillfen::bench {

struct GeneratedHome {
    std::filesystem::path home;
    // The items to record in the package, enabled: catalog applications and
    // executables, and custom files (settings paths).
    std::vector<std::string> appNames;
    std::vector<std::string> execNames;
    std::vector<std::string> filePaths;
    // Every settings path that was created, relative to the home folder, in
    // byte order: what a back-up must copy and an install must restore.
    std::vector<std::string> settingsPaths;
    std::size_t fileCount = 0;
    std::size_t folderCount = 0;
    std::uintmax_t byteCount = 0;
};

// Creates the home at `home` (which must not exist yet) with about
// `targetFiles` regular files.
GeneratedHome generateHome(const std::filesystem::path& home, std::size_t targetFiles);

// Creates `folder` (which must not exist yet) with `count` desktop entries of
// applications, shaped like those packages install (translations, an action).
// The catalog's applications come first, by name, each under the desktop ID
// the catalog knows it by where it knows one, so that every application a
// generated home records is installed; made-up names fill the rest. Returns
// the applications' names.
std::vector<std::string> generateDesktopEntries(const std::filesystem::path& folder,
                                                std::size_t count);

}  // namespace quillfen::bench
