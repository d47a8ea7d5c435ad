#include "backup/BackupExecItem.h"

#include <nlohmann/json.hpp>

#include "catalog/RecordCoding.h"

namespace quillfen {

namespace {
constexpr const char* kRecord = "BackupExecItem";
}

void to_json(nlohmann::json& json, const BackupExecItem& item) {
    json = nlohmann::json{{"name", item.name}, {"isEnabled", item.isEnabled}};
    recordcoding::setOptional(json, "comment", item.comment);
}

void from_json(const nlohmann::json& json, BackupExecItem& item) {
    recordcoding::requireObject(json, kRecord);
    item = BackupExecItem{recordcoding::requiredString(json, "name", kRecord),
                          recordcoding::requiredBool(json, "isEnabled", kRecord),
                          recordcoding::optionalString(json, "comment", kRecord)};
}

}  // namespace quillfen
