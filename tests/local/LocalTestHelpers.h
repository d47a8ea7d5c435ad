// Helpers of the local-resources tests: fake application bundles with property
// lists in either form, and settings kept away from the real home folder.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "keel/UserSettings.h"
#include "support/TestSupport.h"

namespace quillfen::testing {

namespace fs = std::filesystem;

// An XML property list whose root dictionary holds `body` (already XML).
inline std::string xmlPlist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           body + "</dict>\n</plist>\n";
}

// The binary form of `root`, which it frees.
inline std::string binaryFrom(plist_t root) {
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    std::string result(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(root);
    return result;
}

// An application's dictionary with iCloud containers, in binary form.
inline std::string binaryPlist(const std::string& identifier, const std::string& version,
                               const std::vector<std::string>& containers) {
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "CFBundleIdentifier", plist_new_string(identifier.c_str()));
    plist_dict_set_item(root, "CFBundleShortVersionString", plist_new_string(version.c_str()));
    plist_t ubiquitous = plist_new_dict();
    for (const auto& container : containers) {
        plist_dict_set_item(ubiquitous, container.c_str(), plist_new_dict());
    }
    plist_dict_set_item(root, "NSUbiquitousContainers", ubiquitous);
    return binaryFrom(root);
}

// A bundle folder at `url`, with "Contents/Info.plist" holding `info` when given.
inline void makeBundle(const fs::path& url, const std::optional<std::string>& info = std::nullopt) {
    fs::create_directories(url / "Contents");
    if (info) testsupport::writeFile(url / "Contents" / "Info.plist", *info);
}

// Points HOME, the XDG folders and the user settings at a temporary folder, so
// that no test reads or writes the real settings.
class IsolatedSettings {
public:
    IsolatedSettings()
        : home_("HOME", (folder_ / "home").string()),
          config_("XDG_CONFIG_HOME", (folder_ / "config").string()),
          data_("XDG_DATA_HOME", (folder_ / "data").string()) {
        fs::create_directories(folder_ / "home");
        keel::UserSettings::standard().setFileURL(settingsFileURL());
    }
    fs::path settingsFileURL() const { return folder_ / "config" / "settings.json"; }

private:
    testsupport::TemporaryDirectory folder_;
    testsupport::ScopedEnv home_;
    testsupport::ScopedEnv config_;
    testsupport::ScopedEnv data_;
};

}  // namespace quillfen::testing
