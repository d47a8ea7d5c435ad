// ItemRecord: what the records of the three kinds of item (BackupAppItem,
// BackupExecItem, BackupFileItem) have alike: the kind they record, a key (an
// application's or executable's name, a custom file's settings path), the
// user's switch and comment, and one JSON form. Code that treats the three
// alike takes the record type as a template argument; `withItemRecord` turns
// a kind known only at run time into that argument.
#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "backup/BackupAppItem.h"
#include "backup/BackupExecItem.h"
#include "backup/BackupFileItem.h"
#include "catalog/ItemKind.h"
#include "catalog/RecordCoding.h"

namespace quillfen {

template <class Item>
concept ItemRecord = requires(const Item& item) {
    { Item::kind } -> std::convertible_to<ItemKind>;
    { item.key() } -> std::convertible_to<const std::string&>;
    { item.isEnabled } -> std::convertible_to<bool>;
    { item.comment } -> std::convertible_to<std::optional<std::string>>;
};

// Calls `f.template operator()<Item>()` with the record type of `kind` and
// returns what it returns (the same type for every kind).
template <class F>
decltype(auto) withItemRecord(ItemKind kind, F&& f) {
    switch (kind) {
        case ItemKind::app:
            return f.template operator()<BackupAppItem>();
        case ItemKind::exec:
            return f.template operator()<BackupExecItem>();
        case ItemKind::file:
            break;
    }
    return f.template operator()<BackupFileItem>();
}

// The JSON form of every item record: {"<keyMember>": string, "isEnabled":
// Boolean, "comment": string (optional)}. Decoding throws BackupDecodingError
// naming `record`.
template <ItemRecord Item>
nlohmann::json encodeItemRecord(const Item& item, const char* keyMember) {
    nlohmann::json json{{keyMember, item.key()}, {"isEnabled", item.isEnabled}};
    recordcoding::setOptional(json, "comment", item.comment);
    return json;
}

template <ItemRecord Item>
Item decodeItemRecord(const nlohmann::json& json, const char* keyMember, std::string_view record) {
    recordcoding::requireObject(json, record);
    return Item{recordcoding::requiredString(json, keyMember, record),
                recordcoding::requiredBool(json, "isEnabled", record),
                recordcoding::optionalString(json, "comment", record)};
}

}  // namespace quillfen
