// SystemSources: where the system profile reads its facts. The defaults read
// the running system; tests point `root` at a folder holding a fake /proc,
// /sys and /etc, and replace the other sources with their own.
//
// Thread safety: a plain value; its functions are called on the thread that
// asks the profile.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "keel/Date.h"

namespace outfitter {

// A screen as the window system describes it, in device-independent pixels.
struct ScreenInfo {
    double width = 0;
    double height = 0;
    double scale = 1;
};

// One message of this program in the system log.
struct ConsoleMessage {
    keel::Date time;
    std::string sender;
    std::string text;
};

struct SystemSources {
    // /proc, /sys, /etc/os-release, /.flatpak-info and the PCI name lists
    // (/usr/share/misc/pci.ids, /usr/share/hwdata/pci.ids) are read under it.
    std::filesystem::path root = "/";
    // The folder whose volume's size is reported; empty: the user's home.
    std::filesystem::path home;
    // The process environment; empty: the real one.
    std::function<std::optional<std::string>(const std::string& name)> environment;
    // The screens; installed by the window layer, empty where there is none.
    std::function<std::vector<ScreenInfo>()> screens;
    // This user's messages of this program since `since`, oldest first. When
    // `lengthHint` is positive, the source may leave out older messages once
    // the newer ones hold more than that many characters. Empty: the journal.
    std::function<std::vector<ConsoleMessage>(keel::Date since, std::int64_t lengthHint)>
        consoleMessages;
    // The settings file whose content is the preferences; empty: the
    // application's settings store's file.
    std::filesystem::path preferencesFile;

    // The value of an environment variable through `environment`.
    std::optional<std::string> variable(const std::string& name) const;
};

}  // namespace outfitter
