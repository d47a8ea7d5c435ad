#include "backup/BackupFileItem.h"

#include "backup/ItemRecord.h"

namespace quillfen {

void to_json(nlohmann::json& json, const BackupFileItem& item) {
    json = encodeItemRecord(item, "path");
}

void from_json(const nlohmann::json& json, BackupFileItem& item) {
    item = decodeItemRecord<BackupFileItem>(json, "path", "BackupFileItem");
}

}  // namespace quillfen
