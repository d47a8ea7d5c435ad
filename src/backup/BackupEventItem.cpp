#include "backup/BackupEventItem.h"

#include <nlohmann/json.hpp>

#include "catalog/BackupDecodingError.h"
#include "catalog/RecordCoding.h"
#include "keel/Host.h"

namespace quillfen {

namespace {
constexpr const char* kRecord = "BackupEventItem";
}

BackupEventItem BackupEventItem::make(SyncAction action) {
    return BackupEventItem{action, keel::Date::now(), keel::localizedHostName()};
}

void to_json(nlohmann::json& json, const BackupEventItem& item) {
    json = nlohmann::json{{"action", std::string(rawValue(item.action))},
                          {"date", recordcoding::encodeDate(item.date)}};
    recordcoding::setOptional(json, "comment", item.comment);
}

void from_json(const nlohmann::json& json, BackupEventItem& item) {
    recordcoding::requireObject(json, kRecord);
    const std::string raw = recordcoding::requiredString(json, "action", kRecord);
    const auto action = syncActionFromRaw(raw);
    if (!action) {
        throw BackupDecodingError(std::string(kRecord) +
                                  ": the member \"action\" has the unknown value \"" + raw + "\"");
    }
    item = BackupEventItem{*action, recordcoding::requiredDate(json, "date", kRecord),
                           recordcoding::optionalString(json, "comment", kRecord)};
}

}  // namespace quillfen
