// Notification: a named announcement with an optional sender and a payload.
// The user info maps fixed keys to values of any copyable type; readers take
// them out with `userInfoValue<T>(key)`.
#pragma once

#include <any>
#include <map>
#include <optional>
#include <string>

namespace keel {

struct Notification {
    std::string name;
    // The announcing object, compared by identity only; may be null.
    const void* object = nullptr;
    std::map<std::string, std::any> userInfo;

    // The value stored under `key` when it is there and of type T.
    template <class T>
    std::optional<T> userInfoValue(const std::string& key) const {
        auto it = userInfo.find(key);
        if (it == userInfo.end()) return std::nullopt;
        if (const T* value = std::any_cast<T>(&it->second)) return *value;
        return std::nullopt;
    }
};

}  // namespace keel
