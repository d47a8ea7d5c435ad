// Helpers shared by the JSON coding of the package records. Decoding is
// strict about types (a Boolean is only true or false, a date only a number)
// and lenient about presence where the format allows it: an optional member
// that is missing or null reads as absent. Every failure is a
// BackupDecodingError whose reason names the record and the member.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "keel/Date.h"

namespace quillfen::recordcoding {

void requireObject(const nlohmann::json& json, std::string_view record);

std::string requiredString(const nlohmann::json& json, const char* key, std::string_view record);
bool requiredBool(const nlohmann::json& json, const char* key, std::string_view record);
keel::Date requiredDate(const nlohmann::json& json, const char* key, std::string_view record);

std::optional<std::string> optionalString(const nlohmann::json& json, const char* key,
                                          std::string_view record);
std::optional<keel::Date> optionalDate(const nlohmann::json& json, const char* key,
                                       std::string_view record);

// Sets `json[key]` only when `value` holds something.
void setOptional(nlohmann::json& json, const char* key, const std::optional<std::string>& value);
void setOptional(nlohmann::json& json, const char* key, const std::optional<keel::Date>& value);

inline nlohmann::json encodeDate(keel::Date date) {
    return date.timeIntervalSinceReferenceDate;
}

}  // namespace quillfen::recordcoding
