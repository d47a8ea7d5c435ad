// BackupExecItem: a command-line executable chosen for backup, kept in
// "Execs.json". `name` is the executable's name in the catalog, and the
// item's key in the package.
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

struct BackupExecItem {
    static constexpr ItemKind kind = ItemKind::exec;

    std::string name;
    bool isEnabled = false;
    std::optional<std::string> comment;

    // The record's key in the package.
    const std::string& key() const { return name; }

    friend bool operator==(const BackupExecItem&, const BackupExecItem&) = default;
};

void to_json(nlohmann::json& json, const BackupExecItem& item);
void from_json(const nlohmann::json& json, BackupExecItem& item);

}  // namespace quillfen
