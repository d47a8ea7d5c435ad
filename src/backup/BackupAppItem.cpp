#include "backup/BackupAppItem.h"

#include <nlohmann/json.hpp>

#include "catalog/RecordCoding.h"

namespace quillfen {

namespace {
constexpr const char* kRecord = "BackupAppItem";
}

void to_json(nlohmann::json& json, const BackupAppItem& item) {
    json = nlohmann::json{{"name", item.name}, {"isEnabled", item.isEnabled}};
    recordcoding::setOptional(json, "comment", item.comment);
}

void from_json(const nlohmann::json& json, BackupAppItem& item) {
    recordcoding::requireObject(json, kRecord);
    item = BackupAppItem{recordcoding::requiredString(json, "name", kRecord),
                         recordcoding::requiredBool(json, "isEnabled", kRecord),
                         recordcoding::optionalString(json, "comment", kRecord)};
}

}  // namespace quillfen
