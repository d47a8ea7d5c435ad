// BackupEdition: the description of one announced change of an open backup
// package, carried under "EditionKey" by the notifications of BackupFile.
// `category` says which list changed; `entries` say what changed, record by
// record, and are absent when the whole list changed (the note, the history).
// An entry's key is the record's key: an application's or executable's name,
// a custom file's path, or the settings path of a data record.
//
// A plain value type; safe to copy and read from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillfen {

struct BackupEdition {
    // The raw values (0 to 6, 0 to 2) are part of the type: keep the order.
    enum class Category { apps, files, notes, execs, data, events, all };
    enum class Action { add, remove, update };

    struct Entry {
        // Every entry made by the backup file's editor has the index -1.
        int index = -1;
        std::string key;
        Action action = Action::add;

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    Category category = Category::all;
    std::optional<std::vector<Entry>> entries;

    friend bool operator==(const BackupEdition&, const BackupEdition&) = default;
};

}  // namespace quillfen
