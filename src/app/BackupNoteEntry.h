// BackupNoteEntry: the note row of the viewer, the package's free-form text
// with a short one-line title for lists.
//
// A plain value; copies may be used on any thread. Nothing here fails: a
// text that is not valid UTF-8 still gets a title.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/GenericBackupEntry.h"

namespace quillfen {

class BackupFile;

struct BackupNoteEntry {
    // How many characters of the text the title keeps.
    static constexpr int titleLength = 10;

    std::shared_ptr<BackupFile> file;
    // The note's text; absent when the package has no note or a note without text.
    std::optional<std::string> string;

    // The note of `file` as it stands now. Throws std::invalid_argument for a
    // null file.
    static BackupNoteEntry make(const std::shared_ptr<BackupFile>& file);

    // The first `titleLength` characters (as a reader counts them: a letter
    // with its accents is one) of the text with its line breaks turned into
    // spaces; empty without text.
    std::string title() const;
    // A note is never an item on this computer.
    bool isFound() const { return false; }

    friend bool operator==(const BackupNoteEntry&, const BackupNoteEntry&) = default;
};

static_assert(GenericBackupEntry<BackupNoteEntry>);

}  // namespace quillfen
