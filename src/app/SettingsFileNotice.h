// SettingsFileNotice: what a front end tells the user when the settings file
// could not be read and was moved aside: where it is now, and which of the
// settings it seems to have held are lost for this computer (the package
// location, the exclusions, the access grant), so the user can set them again
// or mend the file.
//
// Call on the main thread, before the settings are used; never throws.
#pragma once

#include <optional>
#include <string>

namespace quillfen {

class SettingsFileNotice {
public:
    SettingsFileNotice() = delete;

    // The notice for a settings file moved aside since the last call, once;
    // nothing when the settings file was read, or was missing.
    static std::optional<std::string> take();
};

}  // namespace quillfen
