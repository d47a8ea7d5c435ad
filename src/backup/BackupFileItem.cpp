#include "backup/BackupFileItem.h"

#include <nlohmann/json.hpp>

#include "catalog/RecordCoding.h"

namespace quillfen {

namespace {
constexpr const char* kRecord = "BackupFileItem";
}

void to_json(nlohmann::json& json, const BackupFileItem& item) {
    json = nlohmann::json{{"path", item.path}, {"isEnabled", item.isEnabled}};
    recordcoding::setOptional(json, "comment", item.comment);
}

void from_json(const nlohmann::json& json, BackupFileItem& item) {
    recordcoding::requireObject(json, kRecord);
    item = BackupFileItem{recordcoding::requiredString(json, "path", kRecord),
                          recordcoding::requiredBool(json, "isEnabled", kRecord),
                          recordcoding::optionalString(json, "comment", kRecord)};
}

}  // namespace quillfen
