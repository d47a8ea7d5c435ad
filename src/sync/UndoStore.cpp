#include "sync/UndoStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <system_error>

#include "keel/FileManager.h"
#include "keel/FileSystemFaults.h"
#include "keel/URL.h"
#include "local/PathConverter.h"
#include "local/SettingsLink.h"
#include "local/TemporaryLeftovers.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

// "20261208-001502-123456789-3fa2": the run's start in UTC, so that names
// sort by age, and a random part against two runs in one nanosecond.
std::string runName() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm utc{};
    ::gmtime_r(&now.tv_sec, &utc);
    thread_local std::mt19937 generator{std::random_device{}()};
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d-%09ld-%04x", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, now.tv_nsec,
                  static_cast<unsigned>(generator() & 0xffff));
    return text;
}

bool isRunName(const std::string& name) {
    return name.size() == 30 && name[8] == '-' && name[15] == '-' && name[25] == '-';
}

// Removes the item at `url` so that the path never holds half of it: it is
// renamed aside first, and what is aside is then deleted.
void removeAtomically(const fs::path& url) {
    const fs::path aside = keel::FileManager::temporarySibling(url);
    keel::FileSystemFaults::checkpoint(keel::FileSystemFaults::Operation::rename, url);
    fs::rename(url, aside);
    std::error_code ignored;
    fs::remove_all(aside, ignored);
}

// Removes the folders an install created above `url`, deepest first, as long
// as they are empty; only folders that are really above `url` are touched.
void removeCreatedFolders(const UndoRun::Entry& entry, const fs::path& url) {
    for (const auto& path : entry.createdFolders) {
        const fs::path folder = PathConverter::url(path);
        if (folder == url || !keel::isParent(folder, url)) continue;
        if (::rmdir(folder.c_str()) != 0) break;
    }
}

}  // namespace

UndoStore::UndoStore(fs::path directory, std::uint64_t maximumSize)
    : directory_(std::move(directory)), maximumSize_(maximumSize) {}

std::optional<UndoStore> UndoStore::standard() {
    const auto support = keel::FileManager::noSandboxBundleSupportDirectoryURL();
    if (!support) return std::nullopt;
    return UndoStore(*support / folderName);
}

std::shared_ptr<UndoRun> UndoStore::beginRun(SyncAction action, const std::string& package) const {
    fs::create_directories(directory_.parent_path());
    if (::mkdir(directory_.c_str(), 0700) != 0 && errno != EEXIST)
        throw fs::filesystem_error("cannot create the undo store", directory_,
                                   std::error_code(errno, std::generic_category()));
    auto run = UndoRun::create(directory_ / runName(), action, package);
    prune(run->name(), maximumRuns);
    return run;
}

void UndoStore::finishRun(UndoRun& run) const noexcept {
    try {
        if (run.entries().empty()) {
            std::error_code ignored;
            fs::remove_all(run.directory(), ignored);
        } else {
            run.save();
        }
    } catch (...) {
        // The journal holds the record; the manifest catches up at the next undo.
    }
    prune(run.name(), maximumRuns);
}

std::vector<std::shared_ptr<UndoRun>> UndoStore::runs() const {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(directory_, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (isRunName(name) && it->is_directory(error)) names.push_back(name);
    }
    std::sort(names.rbegin(), names.rend());
    std::vector<std::shared_ptr<UndoRun>> result;
    for (const auto& name : names) {
        try {
            result.push_back(UndoRun::load(directory_ / name));
        } catch (const std::exception&) {
            // A run folder without a readable manifest is skipped.
        }
    }
    return result;
}

std::uint64_t UndoStore::totalSize() const {
    std::uint64_t total = 0;
    for (const auto& run : runs())
        total += run->size();
    return total;
}

void UndoStore::prune(const std::string& keep, std::size_t runsAllowed) const noexcept {
    try {
        std::vector<std::pair<std::string, std::uint64_t>> sizes;  // newest first
        std::vector<std::string> unreadable;
        std::error_code error;
        std::vector<std::string> names;
        for (fs::directory_iterator it(directory_, error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (isRunName(name)) names.push_back(name);
        }
        std::sort(names.rbegin(), names.rend());
        std::uint64_t total = 0;
        for (const auto& name : names) {
            try {
                // Loading a run reads its whole manifest; its summary gives
                // the same size while it is current.
                std::optional<std::uint64_t> size = UndoRun::summarizedSize(directory_ / name);
                if (!size) size = UndoRun::load(directory_ / name)->size();
                sizes.emplace_back(name, *size);
                total += *size;
            } catch (const std::exception&) {
                // Half-created by a run that was interrupted at once; one
                // being created right now is younger than that.
                if (name != keep && TemporaryLeftovers::isOlderThan(directory_ / name,
                                                                    TemporaryLeftovers::minimumAge))
                    unreadable.push_back(name);
            }
        }
        for (const auto& name : unreadable) {
            std::error_code ignored;
            fs::remove_all(directory_ / name, ignored);
        }
        std::size_t count = sizes.size();
        for (auto it = sizes.rbegin(); it != sizes.rend(); ++it) {
            if (count <= runsAllowed && total <= maximumSize_) break;
            if (it->first == keep) continue;
            std::error_code ignored;
            fs::remove_all(directory_ / it->first, ignored);
            --count;
            total -= it->second;
        }
    } catch (...) {
        // Dropping old runs is housekeeping; the next run tries again.
    }
}

keel::FileLock UndoStore::lock() const {
    fs::create_directories(directory_.parent_path());
    return keel::FileLock::acquire(directory_.string() + ".lock");
}

UndoStore::Result UndoStore::undoLastRun() {
    const keel::FileLock held = lock();
    std::shared_ptr<UndoRun> target;
    for (auto& run : runs()) {
        if (!run->undoneDate()) {
            target = run;
            break;
        }
    }
    if (!target) throw NothingToUndo();

    Result result;
    result.run = target->name();
    result.action = target->action();
    result.date = target->date();
    result.package = target->package();

    const auto entries = target->entries();
    std::vector<UndoRun::Entry> remaining;
    // An interrupted run may have left temporaries beside its paths, which
    // would also keep a folder it created from being removed.
    TemporaryLeftovers leftovers;
    // Newest first, as the run made its changes.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        UndoRun::Entry entry = *it;
        if (entry.leftAlone) {
            remaining.push_back(entry);
            continue;
        }
        // The run wrote through a link to the user's own file, and kept
        // what was there: undo puts it back there too, leaving the link.
        const fs::path location = PathConverter::url(entry.path);
        const fs::path url = SettingsLink::followedLocation(location).value_or(location);
        leftovers.removeFor(url);
        try {
            const std::string current = UndoRun::fingerprint(url);
            // A pending entry was being replaced when the run ended: what is
            // there is the old or the new version, never anyone else's.
            const bool pending = !entry.installedFingerprint;
            const bool asInstalled = pending || current == *entry.installedFingerprint;
            if (entry.existed) {
                // Interrupted before the replacement: nothing to put back.
                if (pending && current == entry.keptFingerprint) {
                    result.restored.push_back(entry.path);
                    continue;
                }
                // A path emptied since loses nothing when its old version returns.
                if (!asInstalled && current != "none") {
                    entry.leftAlone = true;
                    result.leftAlone.push_back(entry.path);
                    remaining.push_back(entry);
                    continue;
                }
                fs::create_directories(url.parent_path());
                keel::FileManager::overwritingCopy(target->directory() / entry.kept, url);
                result.restored.push_back(entry.path);
            } else {
                if (current != "none") {
                    if (!asInstalled) {
                        entry.leftAlone = true;
                        result.leftAlone.push_back(entry.path);
                        remaining.push_back(entry);
                        continue;
                    }
                    removeAtomically(url);
                }
                removeCreatedFolders(entry, url);
                result.removed.push_back(entry.path);
            }
        } catch (const std::exception& e) {
            result.failures.emplace(entry.path, e.what());
            remaining.push_back(entry);
        }
    }
    std::reverse(remaining.begin(), remaining.end());
    std::optional<keel::Date> undone;
    if (result.failures.empty()) undone = keel::Date::now();
    target->update(std::move(remaining), undone);
    // Kept copies of restored paths are not needed any more.
    std::vector<std::string> needed;
    for (const auto& entry : target->entries())
        if (!entry.kept.empty()) needed.push_back(entry.kept);
    for (const auto& entry : entries) {
        if (entry.kept.empty() ||
            std::find(needed.begin(), needed.end(), entry.kept) != needed.end())
            continue;
        std::error_code ignored;
        fs::remove_all(target->directory() / entry.kept, ignored);
    }
    return result;
}

}  // namespace quillfen
