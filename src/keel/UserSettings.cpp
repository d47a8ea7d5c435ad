#include "keel/UserSettings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "keel/FileManager.h"
#include "keel/JSON.h"
#include "keel/JSONLimits.h"
#include "keel/NotificationCenter.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace keel {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const Data& data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (size_t i = 0; i < data.size(); i += 3) {
        const unsigned b0 = data[i];
        const unsigned b1 = i + 1 < data.size() ? data[i + 1] : 0;
        const unsigned b2 = i + 2 < data.size() ? data[i + 2] : 0;
        out.push_back(kBase64[b0 >> 2]);
        out.push_back(kBase64[((b0 & 3) << 4) | (b1 >> 4)]);
        out.push_back(i + 1 < data.size() ? kBase64[((b1 & 15) << 2) | (b2 >> 6)] : '=');
        out.push_back(i + 2 < data.size() ? kBase64[b2 & 63] : '=');
    }
    return out;
}

std::optional<Data> base64Decode(const std::string& text) {
    if (text.size() % 4 != 0) return std::nullopt;
    Data out;
    out.reserve(text.size() / 4 * 3);
    unsigned buffer = 0;
    int bits = 0;
    size_t padding = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=') {
            if (i + 2 < text.size()) return std::nullopt;
            ++padding;
            continue;
        }
        if (padding) return std::nullopt;
        const char* at = std::char_traits<char>::find(kBase64, 64, c);
        if (!at) return std::nullopt;
        buffer = (buffer << 6) | static_cast<unsigned>(at - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

}  // namespace

json UserSettingValue<bool>::encode(const bool& value) {
    return value;
}
std::optional<bool> UserSettingValue<bool>::decode(const json& j) {
    if (j.is_boolean()) return j.get<bool>();
    return std::nullopt;
}

json UserSettingValue<std::int64_t>::encode(const std::int64_t& value) {
    return value;
}
std::optional<std::int64_t> UserSettingValue<std::int64_t>::decode(const json& j) {
    if (j.is_number_integer()) return j.get<std::int64_t>();
    return std::nullopt;
}

json UserSettingValue<std::string>::encode(const std::string& value) {
    return value;
}
std::optional<std::string> UserSettingValue<std::string>::decode(const json& j) {
    if (j.is_string()) return j.get<std::string>();
    return std::nullopt;
}

json UserSettingValue<Date>::encode(const Date& value) {
    return value.timeIntervalSinceReferenceDate;
}
std::optional<Date> UserSettingValue<Date>::decode(const json& j) {
    if (j.is_number()) return Date{j.get<double>()};
    return std::nullopt;
}

json UserSettingValue<fs::path>::encode(const fs::path& value) {
    return value.string();
}
std::optional<fs::path> UserSettingValue<fs::path>::decode(const json& j) {
    if (j.is_string()) return fs::path(j.get<std::string>());
    return std::nullopt;
}

json UserSettingValue<Data>::encode(const Data& value) {
    return base64Encode(value);
}
std::optional<Data> UserSettingValue<Data>::decode(const json& j) {
    if (j.is_string()) return base64Decode(j.get<std::string>());
    return std::nullopt;
}

json UserSettingValue<std::vector<fs::path>>::encode(const std::vector<fs::path>& value) {
    json array = json::array();
    for (const auto& url : value)
        array.push_back(url.string());
    return array;
}
std::optional<std::vector<fs::path>> UserSettingValue<std::vector<fs::path>>::decode(
    const json& j) {
    if (!j.is_array()) return std::nullopt;
    std::vector<fs::path> urls;
    for (const auto& element : j) {
        if (!element.is_string()) return std::nullopt;
        urls.emplace_back(element.get<std::string>());
    }
    return urls;
}

UserSettings& UserSettings::standard() {
    // Never destroyed: other process-wide objects may still use it while the
    // program exits, whatever the order of their destruction.
    static UserSettings* settings = new UserSettings();
    return *settings;
}

UserSettings::UserSettings() : fileURL_(defaultFileURL()) {}

fs::path UserSettings::defaultFileURL() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return fs::path(config) / "Quillfen" / "settings.json";
    return FileManager::noSandboxHomeURL() / ".config" / "Quillfen" / "settings.json";
}

void UserSettings::setFileURL(fs::path url) {
    std::lock_guard lock(mutex_);
    fileURL_ = std::move(url);
    loaded_ = false;
    setAside_.reset();
    setAsideError_ = 0;
    values_ = json::object();
}

fs::path UserSettings::fileURL() const {
    std::lock_guard lock(mutex_);
    return fileURL_;
}

namespace {

enum class FileState { missing, readable, unreadable };

FileState readSettingsFile(const fs::path& url, json& into) {
    if (!FileManager::contentExists(url).exists) return FileState::missing;
    try {
        // Bounded in size and depth: another program, or a broken copy, may
        // have put anything here, and a pipe under the name must not block.
        json parsed = parseBoundedJSON(readBoundedFile(url));
        if (!parsed.is_object()) return FileState::unreadable;
        into = std::move(parsed);
        return FileState::readable;
    } catch (const std::exception&) {
        return FileState::unreadable;
    }
}

}  // namespace

void UserSettings::loadIfNeeded() {
    if (loaded_) return;
    loaded_ = true;
    json parsed = json::object();
    const FileState state = readSettingsFile(fileURL_, parsed);
    if (state == FileState::readable) {
        values_ = std::move(parsed);
    } else if (state == FileState::unreadable) {
        setAside();
    }
}

namespace {

// Renames `from` to `to` unless something is at `to`; errno EEXIST then.
int renameWithoutReplacing(const fs::path& from, const fs::path& to) {
#ifdef __linux__
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
#else
    if (::link(from.c_str(), to.c_str()) != 0) return -1;
    return ::unlink(from.c_str());
#endif
}

}  // namespace

void UserSettings::setAside() {
    setAsideError_ = 0;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        fs::path keptAs = fileURL_.string() + ".unreadable";
        if (attempt > 1) keptAs += "-" + std::to_string(attempt);
        // Never over a file set aside before: that one may be the only copy
        // of what an earlier version held.
        if (renameWithoutReplacing(fileURL_, keptAs) == 0) {
            setAside_ = SetAsideFile{fileURL_, keptAs};
            return;
        }
        if (errno != EEXIST) break;
    }
    setAsideError_ = errno;
}

std::optional<UserSettings::SetAsideFile> UserSettings::takeSetAsideFile() {
    std::lock_guard lock(mutex_);
    loadIfNeeded();
    return std::exchange(setAside_, std::nullopt);
}

std::optional<json> UserSettings::lookupJSON(const std::string& name) {
    std::lock_guard lock(mutex_);
    loadIfNeeded();
    if (auto it = values_.find(name); it != values_.end() && !it->is_null()) return *it;
    if (auto it = defaults_.find(name); it != defaults_.end()) return *it;
    return std::nullopt;
}

void UserSettings::registerDefaultJSON(const std::string& name, json value) {
    std::lock_guard lock(mutex_);
    defaults_[name] = std::move(value);
}

void UserSettings::storeJSON(const std::string& name, std::optional<json> value) {
    {
        std::lock_guard lock(mutex_);
        loadIfNeeded();
        // Start from what is on disk now, so that keys written by another
        // process since we read the file are kept.
        json current = json::object();
        const FileState state = readSettingsFile(fileURL_, current);
        if (state == FileState::unreadable) {
            setAside();
            if (setAsideError_ != 0)
                throw fs::filesystem_error(
                    "cannot move the unreadable settings file aside, so it is not written over",
                    fileURL_, std::error_code(setAsideError_, std::generic_category()));
            current = values_;
        } else if (state == FileState::missing) {
            current = values_;
        }
        // Every command and window stores some values at start; rewriting the
        // file with what it holds would cost a synchronous write each time.
        const auto stored = current.find(name);
        const bool unchanged =
            state == FileState::readable &&
            (value ? stored != current.end() && *stored == *value : stored == current.end());
        if (value) {
            current[name] = *value;
        } else {
            current.erase(name);
        }
        values_ = current;
        if (!unchanged) {
            const std::string text = prettyJSON(current);
            try {
                // Never write a file that the next read would refuse.
                checkJSONLimits(text);
            } catch (const JSONLimitError& error) {
                throw fs::filesystem_error(
                    "cannot write the settings, " + std::string(error.what()), fileURL_,
                    std::make_error_code(std::errc::file_too_large));
            }
            std::error_code error;
            fs::create_directories(fileURL_.parent_path(), error);
            FileManager::writeAtomically(fileURL_, text);
        }
    }
    NotificationCenter::defaultCenter().post(didEditKeyNotification, this,
                                             {{editedKeyNameKey, name}});
}

std::string UserSettings::editedKeyName(const Notification& notification) {
    return notification.userInfoValue<std::string>(editedKeyNameKey).value_or("");
}

}  // namespace keel
