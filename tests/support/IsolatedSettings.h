// Keeps a test away from the real home folder and settings: a fresh folder
// holding "home", "config" and "data", with HOME, XDG_CONFIG_HOME and
// XDG_DATA_HOME pointing into it and the user settings stored in
// "config/settings.json". Everything is put back when the object goes away.
#pragma once

#include <filesystem>

#include "keel/UserSettings.h"
#include "support/TestSupport.h"

namespace quillfen::testing {

namespace fs = std::filesystem;

class IsolatedSettings {
public:
    IsolatedSettings()
        : folder_(fs::canonical(temporary_.path())),
          home_("HOME", (folder_ / "home").string()),
          config_("XDG_CONFIG_HOME", (folder_ / "config").string()),
          data_("XDG_DATA_HOME", (folder_ / "data").string()) {
        fs::create_directories(folder_ / "home");
        keel::UserSettings::standard().setFileURL(settingsFileURL());
    }
    ~IsolatedSettings() {
        keel::UserSettings::standard().setFileURL(keel::UserSettings::defaultFileURL());
    }
    IsolatedSettings(const IsolatedSettings&) = delete;
    IsolatedSettings& operator=(const IsolatedSettings&) = delete;

    // The folder that holds everything, with links resolved.
    const fs::path& path() const { return folder_; }
    fs::path operator/(const fs::path& relative) const { return folder_ / relative; }
    fs::path home() const { return folder_ / "home"; }
    fs::path settingsFileURL() const { return folder_ / "config" / "settings.json"; }

private:
    testsupport::TemporaryDirectory temporary_;
    fs::path folder_;
    testsupport::ScopedEnv home_;
    testsupport::ScopedEnv config_;
    testsupport::ScopedEnv data_;
};

}  // namespace quillfen::testing
