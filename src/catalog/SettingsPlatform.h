// SettingsPlatform: the kinds of computer whose settings paths the catalog
// tells apart. A Mac uses an entry's catalog paths, a Linux computer its
// Linux paths where the catalog has them; one package serves both, each
// platform's copies under their own settings paths.
//
// Constant; callable from any thread.
#pragma once

#include <string_view>

namespace quillfen {

// (Not `linux`: GCC predefines that name as a macro in its GNU dialects.)
enum class SettingsPlatform { macOS, linuxOS };

// The platform this program was built for.
constexpr SettingsPlatform thisPlatform() {
#ifdef __APPLE__
    return SettingsPlatform::macOS;
#else
    return SettingsPlatform::linuxOS;
#endif
}

// "macOS" or "Linux", for people to read.
constexpr std::string_view platformTitle(SettingsPlatform platform) {
    return platform == SettingsPlatform::macOS ? "macOS" : "Linux";
}

}  // namespace quillfen
