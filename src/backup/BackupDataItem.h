// BackupDataItem: the record of one data copy, a value in "Data.json" whose
// member name is the settings path of the copied item. `uuid` names the copy
// in the package's "Data" folder ("<uuid>.qfdata"), `backupDate` is when the
// copy was made, `originalDate` the local item's modification date at that
// moment (absent when the system gave none).
//
// Because `uuid` becomes a file name, decoding accepts only a UUID in its
// canonical text form (8-4-4-4-12 hexadecimal digits, either case): a record
// whose `uuid` could reach outside the "Data" folder never decodes. New
// records get an upper-case UUID.
//
// JSON: {"uuid": string, "backupDate": seconds since 2001, "originalDate":
// seconds since 2001 (optional)}. Decoding throws BackupDecodingError.
// A plain value type; `make` may be called from any thread.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "keel/Date.h"

namespace quillfen {

struct BackupDataItem {
    std::string uuid;
    keel::Date backupDate;
    std::optional<keel::Date> originalDate;

    // A record for a copy made now, under a fresh UUID.
    static BackupDataItem make(std::optional<keel::Date> originalDate);

    friend bool operator==(const BackupDataItem&, const BackupDataItem&) = default;
};

void to_json(nlohmann::json& json, const BackupDataItem& item);
void from_json(const nlohmann::json& json, BackupDataItem& item);

}  // namespace quillfen
