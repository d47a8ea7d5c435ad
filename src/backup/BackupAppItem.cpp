#include "backup/BackupAppItem.h"

#include "backup/ItemRecord.h"

namespace quillfen {

void to_json(nlohmann::json& json, const BackupAppItem& item) {
    json = encodeItemRecord(item, "name");
}

void from_json(const nlohmann::json& json, BackupAppItem& item) {
    item = decodeItemRecord<BackupAppItem>(json, "name", "BackupAppItem");
}

}  // namespace quillfen
