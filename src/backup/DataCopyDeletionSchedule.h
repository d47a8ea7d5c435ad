// DataCopyDeletionSchedule: the data copies this computer has dropped from
// backup packages and has yet to delete.
//
// A data copy that is replaced or removed must stay on disk until a save has
// written a "Data.json" that no longer refers to it: deleting it first would
// leave the last saved "Data.json" pointing at nothing if the run is
// interrupted before the save. So the copies are listed here before that save,
// deleted after it, and taken off the list. When a run is interrupted between
// the save and the deletions, the next opening of the package on this computer
// finds them here and deletes those that "Data.json" no longer refers to.
// Copies that other computers write into a shared package are never listed
// here, so they are never deleted by this computer.
//
// The schedule is one small JSON file in the application's support folder,
// "Scheduled Deletions.json": an object from the package's location to the
// array of copy names (UUIDs). It is written atomically and durably, under an
// advisory lock ("Scheduled Deletions.json.lock") shared by all processes of
// this computer's user.
//
// Errors: `add` and `remove` throw std::filesystem::filesystem_error when the
// file cannot be written. A schedule file that cannot be read or decoded reads
// as empty: the worst outcome is a copy left undeleted, never one deleted.
// Threads: each call reads and writes the file under the lock; instances hold
// no state but the file's location and may be used from any thread.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "keel/URL.h"

namespace quillfen {

class DataCopyDeletionSchedule {
public:
    static constexpr const char* fileName = "Scheduled Deletions.json";

    // This computer's schedule in the application's support folder; nothing
    // when no support folder is known.
    static std::optional<DataCopyDeletionSchedule> standard();

    explicit DataCopyDeletionSchedule(keel::URL fileURL) : fileURL_(std::move(fileURL)) {}

    const keel::URL& fileURL() const { return fileURL_; }

    // The copy names scheduled for the package at `package`.
    std::set<std::string> copies(const keel::URL& package) const;
    // Adds `names` to the package's entry. Throws.
    void add(const keel::URL& package, const std::set<std::string>& names) const;
    // Takes `names` off the package's entry, dropping the entry when it is
    // empty. Throws.
    void remove(const keel::URL& package, const std::set<std::string>& names) const;
    // Carries the entry of a package that has moved to its new location. Throws.
    void move(const keel::URL& from, const keel::URL& to) const;

private:
    keel::URL fileURL_;
};

}  // namespace quillfen
