// ReplacedPackages: copies of the packages that an import overwrote or a
// replace stopped using, kept in the support folder as "Replaced
// packages/<date>/<package name>" so that the user can put one back by hand.
// Only the newest `kept` copies stay; older ones are removed when a new one
// is made.
//
// Threads: any thread; the caller holds the package's lock while a copy is
// made, so that the copy is of one state of the package. The copies are plain
// folders: nothing else reads them.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillfen {

class ReplacedPackages {
public:
    ReplacedPackages() = delete;

    static constexpr std::size_t kept = 3;
    static inline const std::string folderName = "Replaced packages";

    // "<support folder>/Replaced packages"; nothing without a support folder.
    static std::optional<std::filesystem::path> folder();

    // Copies the package at `package` into a new folder named after the
    // local date and time ("2026-12-08 16.05.03"), then removes the oldest
    // copies beyond `kept`. Returns the copy, or nothing when there is no
    // support folder or nothing at `package`. Throws what the copy throws;
    // then no copy is left half made, and the caller must not go on to
    // replace the package.
    static std::optional<std::filesystem::path> keep(const std::filesystem::path& package);

    // The kept copies, newest first.
    static std::vector<std::filesystem::path> copies();
};

}  // namespace quillfen
