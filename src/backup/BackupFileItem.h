// BackupFileItem: a custom file or folder chosen by the user, kept in
// "Files.json". `path` is relative to the user's real home folder (absolute
// for a location outside it); it is the item's key in the package and at the
// same time the settings path of its data copy. `isEnabled` is the user's
// on/off switch, `comment` the user's comment.
//
// JSON: {"path": string, "isEnabled": Boolean, "comment": string (optional)}.
// Decoding throws BackupDecodingError. A plain value type.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "catalog/ItemKind.h"

namespace quillfen {

struct BackupFileItem {
    static constexpr ItemKind kind = ItemKind::file;

    std::string path;
    bool isEnabled = false;
    std::optional<std::string> comment;

    // The record's key in the package.
    const std::string& key() const { return path; }

    friend bool operator==(const BackupFileItem&, const BackupFileItem&) = default;
};

void to_json(nlohmann::json& json, const BackupFileItem& item);
void from_json(const nlohmann::json& json, BackupFileItem& item);

}  // namespace quillfen
