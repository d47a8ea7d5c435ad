// TemporaryLeftovers: removes the temporary siblings that an interrupted copy
// left beside a local settings item. A copy over a settings path is made under
// a hidden name ".qftmp-<hex>" beside it (see FileManager::temporarySibling)
// and then renamed into place; a run that is killed part-way leaves that
// temporary behind. The next install or synchronize run removes such
// leftovers of the paths it restores.
//
// Only temporaries made for the given path are touched (by the hash of its
// name in the short form, by the name itself in the longer form of earlier
// versions), and only when no copy can still be writing them: the name says
// it was made by a process of this computer that no longer runs, or it is old
// enough (another Quillfen process may be copying right now): its status
// change time, which every step of a copy renews, is older than
// `minimumAge`. The copy keeps the original's
// modification date, so that date says nothing about the copy.
//
// Cheap: each parent folder is listed at most once per object (one per run).
//
// Threads: `removeFor` may be called from several threads at once. Errors:
// none are thrown; what cannot be removed is left for the next run.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quillfen {

class TemporaryLeftovers {
public:
    static constexpr std::chrono::seconds minimumAge{10 * 60};

    explicit TemporaryLeftovers(std::chrono::seconds age = minimumAge) : age_(age) {}

    // Removes the leftover temporaries of the item at `url`; returns what was
    // removed.
    std::vector<std::filesystem::path> removeFor(const std::filesystem::path& url);

    // Whether the item at `url` had its status last changed more than `age` ago.
    static bool isOlderThan(const std::filesystem::path& url, std::chrono::seconds age);
    // Whether `fileName` is a temporary sibling of an item named `name`; a
    // name hashing alike counts too.
    static bool isTemporaryOf(const std::string& fileName, const std::string& name);

private:
    const std::chrono::seconds age_;
    std::mutex mutex_;
    // The temporaries found in each listed folder, by folder.
    std::map<std::filesystem::path, std::vector<std::string>> listings_;
};

}  // namespace quillfen
