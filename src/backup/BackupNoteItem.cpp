#include "backup/BackupNoteItem.h"

#include <nlohmann/json.hpp>

#include "catalog/RecordCoding.h"

namespace quillfen {

namespace {
constexpr const char* kRecord = "BackupNoteItem";
}

void to_json(nlohmann::json& json, const BackupNoteItem& item) {
    json = nlohmann::json::object();
    recordcoding::setOptional(json, "content", item.content);
}

void from_json(const nlohmann::json& json, BackupNoteItem& item) {
    recordcoding::requireObject(json, kRecord);
    item = BackupNoteItem{recordcoding::optionalString(json, "content", kRecord)};
}

}  // namespace quillfen
