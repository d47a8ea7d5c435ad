// Keeps a test away from the real home folder and settings.
#pragma once

#include <filesystem>

#include "keel/UserSettings.h"
#include "support/TestSupport.h"

namespace quillfen::testing {

namespace fs = std::filesystem;

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
