// BackupAppItem: an application chosen for backup, kept in "Apps.json". `name` is the
// application's name as the catalog and the installed applications know it,
// and the item's key in the package.
// `isEnabled` is the user's on/off switch, `comment` the user's comment.
//
// JSON: {"name": string, "isEnabled": Boolean, "comment": string (optional)}.
// Decoding throws BackupDecodingError. A plain value type.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "catalog/ItemKind.h"

namespace quillfen {

struct BackupAppItem {
    static constexpr ItemKind kind = ItemKind::app;

    std::string name;
    bool isEnabled = false;
    std::optional<std::string> comment;

    // The record's key in the package.
    const std::string& key() const { return name; }

    friend bool operator==(const BackupAppItem&, const BackupAppItem&) = default;
};

void to_json(nlohmann::json& json, const BackupAppItem& item);
void from_json(const nlohmann::json& json, BackupAppItem& item);

}  // namespace quillfen
