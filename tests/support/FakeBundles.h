// Fake application bundles for tests: folders with "Contents/Info.plist"
// holding a property list in either form.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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

}  // namespace quillfen::testing
