#include "backup/BackupDataItem.h"

#include <utility>

#include <nlohmann/json.hpp>

#include "catalog/BackupDecodingError.h"
#include "catalog/RecordCoding.h"
#include "keel/UUID.h"

namespace quillfen {

namespace {
constexpr const char* kRecord = "BackupDataItem";
}

BackupDataItem BackupDataItem::make(std::optional<keel::Date> originalDate) {
    return BackupDataItem{keel::makeUUIDString(), keel::Date::now(), originalDate};
}

void to_json(nlohmann::json& json, const BackupDataItem& item) {
    json = nlohmann::json{{"uuid", item.uuid},
                          {"backupDate", recordcoding::encodeDate(item.backupDate)}};
    recordcoding::setOptional(json, "originalDate", item.originalDate);
}

void from_json(const nlohmann::json& json, BackupDataItem& item) {
    recordcoding::requireObject(json, kRecord);
    std::string uuid = recordcoding::requiredString(json, "uuid", kRecord);
    if (!keel::isUUIDString(uuid)) {
        throw BackupDecodingError(std::string(kRecord) + ": the member \"uuid\" is not a UUID: \"" +
                                  uuid + "\"");
    }
    item = BackupDataItem{std::move(uuid), recordcoding::requiredDate(json, "backupDate", kRecord),
                          recordcoding::optionalDate(json, "originalDate", kRecord)};
}

}  // namespace quillfen
