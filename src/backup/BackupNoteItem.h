// BackupNoteItem: the package's note, kept in "Notes.json" as the first
// element of an array. `content` is the note's Markdown text.
//
// JSON: {"content": string (optional)}. Decoding throws BackupDecodingError.
// A plain value type.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace quillfen {

struct BackupNoteItem {
    std::optional<std::string> content;

    friend bool operator==(const BackupNoteItem&, const BackupNoteItem&) = default;
};

void to_json(nlohmann::json& json, const BackupNoteItem& item);
void from_json(const nlohmann::json& json, BackupNoteItem& item);

}  // namespace quillfen
