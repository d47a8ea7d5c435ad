// UserSettings: the application's settings, read and written through typed
// keys. `EvaluedUserSettingKey<T>` always has a value (its default when nothing
// is stored); `OptionalUserSettingKey<T>` may be absent.
//
// Storage: one JSON object in "$XDG_CONFIG_HOME/Quillfen/settings.json"
// (default "~/.config/Quillfen/settings.json"), read at first use. Every write
// re-reads the file, applies the one change and replaces the file atomically,
// so that keys written by another process in the meantime are kept. A missing
// file reads as empty. A file that cannot be read or parsed reads as empty too
// (so does one that is not a regular file, is larger than 64 MiB or nests
// deeper than 64 levels; see JSONLimits.h). Such a file is moved aside when it
// is first read, to "settings.json.unreadable" (or "settings.json.unreadable-2"
// and so on, never over an earlier one), so it is never overwritten with less
// than it held; `takeSetAsideFile` tells a front end once. When it cannot be
// moved, writes fail instead of replacing it.
//
// Every write posts `didEditKeyNotification` on the default center, on the
// writing thread; `editedKeyName(of:)` gives the key's name.
//
// Value types: bool, std::int64_t, std::string, Date, std::filesystem::path
// (a URL), Data (bytes), and std::vector<std::filesystem::path>.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "keel/Date.h"
#include "keel/Notification.h"

namespace keel {

using Data = std::vector<std::uint8_t>;

template <class T>
struct UserSettingValue;  // JSON form of each supported type; see the .cpp.

#define KEEL_USER_SETTING_VALUE(T)                                  \
    template <>                                                     \
    struct UserSettingValue<T> {                                    \
        static nlohmann::json encode(const T& value);               \
        static std::optional<T> decode(const nlohmann::json& json); \
    };
KEEL_USER_SETTING_VALUE(bool)
KEEL_USER_SETTING_VALUE(std::int64_t)
KEEL_USER_SETTING_VALUE(std::string)
KEEL_USER_SETTING_VALUE(Date)
KEEL_USER_SETTING_VALUE(std::filesystem::path)
KEEL_USER_SETTING_VALUE(Data)
KEEL_USER_SETTING_VALUE(std::vector<std::filesystem::path>)
#undef KEEL_USER_SETTING_VALUE

template <class T>
struct EvaluedUserSettingKey {
    std::string name;
    T value;  // the default
};

template <class T>
struct OptionalUserSettingKey {
    OptionalUserSettingKey(std::string keyName, std::optional<T> defaultValue = std::nullopt)
        : name(std::move(keyName)), value(std::move(defaultValue)) {}

    std::string name;
    std::optional<T> value;  // the default, usually absent
};

class UserSettings {
public:
    static inline const std::string didEditKeyNotification = "UserSettingsDidEditKeyNotification";
    static inline const std::string editedKeyNameKey = "UserSettingsEditedKeyName";

    static UserSettings& standard();

    // The default location of the settings file.
    static std::filesystem::path defaultFileURL();

    // Points the store at another file and forgets what was read; for tests
    // and for running several configurations side by side.
    void setFileURL(std::filesystem::path url);
    std::filesystem::path fileURL() const;

    // Registers defaults that every reader gets while no value is stored;
    // they take precedence over the defaults written into the keys.
    template <class T>
    void registerDefault(const EvaluedUserSettingKey<T>& key) {
        registerDefaultJSON(key.name, UserSettingValue<T>::encode(key.value));
    }
    template <class T>
    void registerDefault(const OptionalUserSettingKey<T>& key) {
        if (key.value) registerDefaultJSON(key.name, UserSettingValue<T>::encode(*key.value));
    }

    template <class T>
    T get(const EvaluedUserSettingKey<T>& key) {
        if (auto json = lookupJSON(key.name)) {
            if (auto value = UserSettingValue<T>::decode(*json)) return std::move(*value);
        }
        return key.value;
    }
    template <class T>
    std::optional<T> get(const OptionalUserSettingKey<T>& key) {
        if (auto json = lookupJSON(key.name)) return UserSettingValue<T>::decode(*json);
        return key.value;
    }

    // Writes a value. Throws std::filesystem::filesystem_error when the file
    // cannot be written, also when it would grow past what is read back
    // (file_too_large); the value is then kept for this process anyway. When
    // the file already holds that value (or, for a removal, lacks the key),
    // nothing is written; the edit is announced all the same.
    template <class T>
    void set(const EvaluedUserSettingKey<T>& key, const T& value) {
        storeJSON(key.name, UserSettingValue<T>::encode(value));
    }
    // Writes a value, or removes the key when `value` is empty.
    template <class T>
    void set(const OptionalUserSettingKey<T>& key, const std::optional<T>& value) {
        storeJSON(key.name,
                  value ? std::optional(UserSettingValue<T>::encode(*value)) : std::nullopt);
    }

    static std::string editedKeyName(const Notification& notification);

    // A settings file this process found unreadable and moved aside.
    struct SetAsideFile {
        std::filesystem::path original;
        std::filesystem::path keptAs;
    };
    // Reads the file if it was not read yet, and returns the file moved aside
    // since the last call, if any: each set-aside is told once.
    std::optional<SetAsideFile> takeSetAsideFile();

private:
    UserSettings();
    void loadIfNeeded();
    // Moves the unreadable file aside; remembers the failure when it cannot.
    void setAside();
    std::optional<nlohmann::json> lookupJSON(const std::string& name);
    void registerDefaultJSON(const std::string& name, nlohmann::json value);
    void storeJSON(const std::string& name, std::optional<nlohmann::json> value);

    mutable std::mutex mutex_;
    std::filesystem::path fileURL_;
    bool loaded_ = false;
    std::optional<SetAsideFile> setAside_;
    // Why the unreadable file could not be moved aside (an errno), 0 when
    // it could: writing would destroy it.
    int setAsideError_ = 0;
    nlohmann::json values_ = nlohmann::json::object();
    nlohmann::json defaults_ = nlohmann::json::object();
};

}  // namespace keel
