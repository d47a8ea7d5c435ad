// UndoRun: the record of one install or synchronize run in the undo store: a
// folder that holds a copy of every local settings item the run was about to
// replace (or the note that nothing was there), so that the run can be undone.
//
// On disk a run is a folder (named so that the names sort by age) with:
//  - "Manifest.json", the run's action, date and package, whether it was
//    undone, and every recorded path; replaced atomically;
//  - "Journal", one JSON line appended per step while the run is recorded, so
//    that a run killed part-way still has a usable record (a torn last line
//    is ignored); the manifest says how much of it it has taken in;
//  - "item-<n>", the kept copy of the nth path, as it was: bytes, mode and
//    dates, a folder with its contents and links as links;
//  - "Summary.json", written after each manifest: the bytes of the kept
//    copies, with what the manifest and the journal were then, so that the
//    store can total its runs without reading every manifest. It counts only
//    while both are still as it says.
//
// A path is recorded in two steps: `keep` before the engine replaces it, and
// `didInstall` (or `didFail`) after. A path that was kept but never confirmed
// is "pending": the run ended while it was being replaced.
//
// Threads: every member may be called from any thread; the recording steps
// of one run are serialised inside. Errors: the members that say "throws"
// throw std::filesystem::filesystem_error or std::runtime_error with the
// reason; a run folder that cannot be read throws from `load`.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backup/SyncAction.h"
#include "keel/Date.h"

namespace quillfen {

class UndoRun {
public:
    static inline const std::string manifestName = "Manifest.json";
    static inline const std::string journalName = "Journal";
    static inline const std::string summaryName = "Summary.json";

    struct Entry {
        // The order in which paths were kept, from 1; names the kept copy.
        int index = 0;
        // The settings path.
        std::string path;
        // Whether there was an item at the path before the run.
        bool existed = false;
        // The kept copy's name inside the run folder; empty when nothing existed.
        std::string kept;
        // The item before the run (see `fingerprint`).
        std::string keptFingerprint;
        // Bytes of the kept copy's files and links.
        std::uint64_t size = 0;
        // What the run left at the path; absent while pending.
        std::optional<std::string> installedFingerprint;
        // Folders missing above the path before the run, as settings paths,
        // deepest first: the install creates them, and undo removes them
        // again when they are empty.
        std::vector<std::string> createdFolders;
        // Undo found the path changed since the run and left it as it was;
        // the kept copy stays in the run folder.
        bool leftAlone = false;
    };

    // Creates the run folder `directory` (its parent must exist) owner-only
    // and writes its first manifest. Throws.
    static std::shared_ptr<UndoRun> create(const std::filesystem::path& directory,
                                           SyncAction action, std::string package);
    // Reads a run folder: the manifest, then the journal beyond what the
    // manifest took in. Throws.
    static std::shared_ptr<UndoRun> load(const std::filesystem::path& directory);

    UndoRun(const UndoRun&) = delete;
    UndoRun& operator=(const UndoRun&) = delete;

    const std::filesystem::path& directory() const { return directory_; }
    std::string name() const { return directory_.filename().string(); }
    SyncAction action() const { return action_; }
    keel::Date date() const { return date_; }
    const std::string& package() const { return package_; }
    std::optional<keel::Date> undoneDate() const;
    std::vector<Entry> entries() const;
    // Bytes of all kept copies.
    std::uint64_t size() const;
    // `size()` of the run in `directory` as its summary gives it, without
    // loading the run; nothing when there is no summary or the manifest or
    // the journal changed since it was written (load the run then). Never
    // throws.
    static std::optional<std::uint64_t> summarizedSize(const std::filesystem::path& directory);

    // Keeps the item at `url` (settings path `path`) as it is now, or notes
    // that nothing is there, and records it durably. Returns the entry's
    // index for `didInstall`/`didFail`. Throws when the item cannot be kept:
    // the caller must then leave the path alone.
    //
    // Not `durable`, the copy and the record are written but not flushed:
    // for a caller that keeps several paths before it replaces any. A path
    // may be replaced only after a durable `keep` of it has returned (for a
    // path kept already, that flushes what is not on the disk yet, once for
    // all the paths kept so far).
    int keep(const std::string& path, const std::filesystem::path& url, bool durable = true);
    // Records what the run put at `url`. Never throws: an entry left pending
    // is still undone.
    void didInstall(int index, const std::filesystem::path& url) noexcept;
    // The replacement failed: recorded as `didInstall` does, since the
    // failure may have come after the path was replaced; undo then puts the
    // kept version back, which changes nothing when the path was not
    // replaced. Never throws.
    void didFail(int index, const std::filesystem::path& url) noexcept;

    // Used by undo: replaces the entries, marks the run undone (or not), and
    // writes the manifest. Throws.
    void update(std::vector<Entry> entries, std::optional<keel::Date> undoneDate);
    // Writes the manifest with everything recorded so far. Throws.
    void save();

    // A summary of the item at `url` that changes when its bytes, size, mode,
    // modification date, link target or (for a folder) anything inside it
    // changes: "none" when nothing is there. `bytes` receives the size of its
    // files and links.
    static std::string fingerprint(const std::filesystem::path& url,
                                   std::uint64_t* bytes = nullptr);
    // The folders above `url` that do not exist, deepest first.
    static std::vector<std::filesystem::path> missingFolders(const std::filesystem::path& url);

private:
    UndoRun(std::filesystem::path directory, SyncAction action, keel::Date date,
            std::string package);
    void appendJournal(const std::string& line, bool flush);
    // Makes every kept copy and record written so far durable. Throws.
    void flushUnflushed();
    void writeManifest();
    void writeSummary() const;

    const std::filesystem::path directory_;
    const SyncAction action_;
    const keel::Date date_;
    const std::string package_;

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::optional<keel::Date> undoneDate_;
    std::uint64_t journalOffset_ = 0;
    // Kept copies or records written since the last flush.
    bool unflushed_ = false;
};

}  // namespace quillfen
