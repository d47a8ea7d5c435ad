#include "backup/BackupExecItem.h"

#include "backup/ItemRecord.h"

namespace quillfen {

void to_json(nlohmann::json& json, const BackupExecItem& item) {
    json = encodeItemRecord(item, "name");
}

void from_json(const nlohmann::json& json, BackupExecItem& item) {
    item = decodeItemRecord<BackupExecItem>(json, "name", "BackupExecItem");
}

}  // namespace quillfen
