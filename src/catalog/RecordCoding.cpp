#include "catalog/RecordCoding.h"

#include "catalog/BackupDecodingError.h"

namespace quillfen::recordcoding {

namespace {

[[noreturn]] void fail(std::string_view record, const char* key, std::string_view problem) {
    throw BackupDecodingError(std::string(record) + ": the member \"" + key + "\" " +
                              std::string(problem));
}

[[noreturn]] void wrongType(std::string_view record, const char* key, std::string_view expected,
                            const nlohmann::json& value) {
    fail(record, key,
         "must be " + std::string(expected) + ", not " + std::string(value.type_name()));
}

// The member's value, or nullptr when it is missing or null.
const nlohmann::json* member(const nlohmann::json& json, const char* key) {
    auto it = json.find(key);
    if (it == json.end() || it->is_null()) return nullptr;
    return &*it;
}

const nlohmann::json& requiredMember(const nlohmann::json& json, const char* key,
                                     std::string_view record) {
    auto it = json.find(key);
    if (it == json.end()) fail(record, key, "is missing");
    return *it;
}

}  // namespace

void requireObject(const nlohmann::json& json, std::string_view record) {
    if (!json.is_object()) {
        throw BackupDecodingError(std::string(record) + " must be an object, not " +
                                  json.type_name());
    }
}

std::string requiredString(const nlohmann::json& json, const char* key, std::string_view record) {
    const auto& value = requiredMember(json, key, record);
    if (!value.is_string()) wrongType(record, key, "a string", value);
    return value.get<std::string>();
}

bool requiredBool(const nlohmann::json& json, const char* key, std::string_view record) {
    const auto& value = requiredMember(json, key, record);
    if (!value.is_boolean()) wrongType(record, key, "a Boolean", value);
    return value.get<bool>();
}

keel::Date requiredDate(const nlohmann::json& json, const char* key, std::string_view record) {
    const auto& value = requiredMember(json, key, record);
    if (!value.is_number()) wrongType(record, key, "a number of seconds", value);
    return keel::Date{value.get<double>()};
}

std::optional<std::string> optionalString(const nlohmann::json& json, const char* key,
                                          std::string_view record) {
    const auto* value = member(json, key);
    if (value == nullptr) return std::nullopt;
    if (!value->is_string()) wrongType(record, key, "a string", *value);
    return value->get<std::string>();
}

std::optional<keel::Date> optionalDate(const nlohmann::json& json, const char* key,
                                       std::string_view record) {
    const auto* value = member(json, key);
    if (value == nullptr) return std::nullopt;
    if (!value->is_number()) wrongType(record, key, "a number of seconds", *value);
    return keel::Date{value->get<double>()};
}

void setOptional(nlohmann::json& json, const char* key, const std::optional<std::string>& value) {
    if (value) json[key] = *value;
}

void setOptional(nlohmann::json& json, const char* key, const std::optional<keel::Date>& value) {
    if (value) json[key] = encodeDate(*value);
}

}  // namespace quillfen::recordcoding
