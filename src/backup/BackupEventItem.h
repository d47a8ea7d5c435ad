// BackupEventItem: one entry of the package's history, kept in "History.json":
// what was done, when, and on which computer (`comment`, the computer's name).
//
// JSON: {"action": raw string of a SyncAction, "date": seconds since 2001,
// "comment": string (optional)}. The action must be one of the seven raw
// strings exactly; decoding throws BackupDecodingError otherwise.
// A plain value type; `make` may be called from any thread.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "backup/SyncAction.h"
#include "keel/Date.h"

namespace quillfen {

struct BackupEventItem {
    SyncAction action = SyncAction::doNothing;
    keel::Date date;
    std::optional<std::string> comment;

    // A new event for `action`, now, on this computer (no comment when the
    // system gives no computer name).
    static BackupEventItem make(SyncAction action);

    friend bool operator==(const BackupEventItem&, const BackupEventItem&) = default;
};

void to_json(nlohmann::json& json, const BackupEventItem& item);
void from_json(const nlohmann::json& json, BackupEventItem& item);

}  // namespace quillfen
