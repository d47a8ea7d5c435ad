// SystemProfile: what a support request needs to know about this computer and
// the application: hardware, operating system, screens, disk, language, the
// application's recent log messages and its settings.
//
// Facts are read from Linux's own sources (/etc/os-release, /proc, /sys,
// statvfs, the journal) through SystemSources, each computed on first request
// and then kept. Where a fact cannot be learnt it reads "Unknown".
// `features` lists them under fixed keys in a fixed order, which the feedback
// service reads as they stand (including the spellings "Langage" and
// "GPU models").
//
// Thread safety: none; use an instance on one thread at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "keel/Date.h"
#include "outfitter/BundleInfo.h"
#include "outfitter/SystemSources.h"

namespace outfitter {

class SystemProfile {
public:
    using Features = std::vector<std::pair<std::string, std::string>>;

    explicit SystemProfile(SystemSources sources = {}, BundleInfo bundle = BundleInfo::main());

    // The oldest log message to include; 24 hours before the profile was made.
    keel::Date consoleLogDate;
    // About how many characters of log to include; 0 or less: no limit.
    std::int64_t consoleLogLength = 2000;
    // Settings keys left out of `retrievePreferences`.
    std::vector<std::string> excludedPreferencesKeys;

    const std::string& processName();
    const std::string& systemVersion();  // "Debian GNU/Linux 12 (bookworm), Linux 6.1.0"
    const std::string& langage();        // a language tag such as "de-CH"
    const std::string& hardwareModel();
    const std::string& totalProcessors();
    const std::string& activeProcessors();
    const std::string& totalMemory();  // "15869 mb"
    const std::string& CPUis64bits();  // "YES" or "NO"
    const std::string& CPUModel();
    const std::string& CPUCount();
    const std::string& CPUFrequency();  // "3400 MHz"
    const std::string& busFrequency();  // Linux does not tell it: "Unknown"
    const std::vector<std::string>& GPUModels();
    const std::string& totalDiskSpace();  // "499.96 GB"
    const std::string& freeDiskSpace();
    const std::vector<std::string>& screens();  // "2560x1440:@2" each

    // The thirteen facts under their keys, in this order: "System Version",
    // "Total Memory", "Hardware Model", "CPU Model", "CPU is 64 bits",
    // "CPU Count", "CPU Frequency", "Bus Frequency", "GPU models" (joined with
    // "/"), "Total Disk Space", "Free Disk Space", "Screens" (joined with
    // "/"), "Langage".
    const Features& features();
    // One line "key: value;" per feature, in the same order.
    const std::string& featuresDescription();

    // This program's log messages since `consoleLogDate`, one per line,
    // oldest first: "<time> <sender>: <text>". With a positive
    // `consoleLogLength`, the newest messages whose lines first exceed that
    // length (the line that crosses it included). Read anew at every call;
    // empty where there is no log.
    std::string retrieveConsoleLog() const;
    // The application's settings without `excludedPreferencesKeys`, as
    // indented JSON; empty when there is no settings file or it cannot be read.
    std::string retrievePreferences() const;

    const BundleInfo& bundle() const { return bundle_; }
    const SystemSources& sources() const { return sources_; }

    // Whether the application runs in a sandbox: inside Flatpak (FLATPAK_ID,
    // or a /.flatpak-info file) or Snap (SNAP).
    static bool isSandboxingEnabled(const SystemSources& sources = {});
    // The user's first preferred language as a tag ("de-CH"), from LANGUAGE,
    // LC_ALL, LC_MESSAGES or LANG; nothing for the C locale or when unset.
    static std::optional<std::string> preferredLanguage(const SystemSources& sources = {});

    // The fields of os-release that name the system.
    struct OperatingSystem {
        std::string id;          // "debian"
        std::string versionID;   // "12"
        std::string prettyName;  // "Debian GNU/Linux 12 (bookworm)"
    };
    static OperatingSystem operatingSystem(const SystemSources& sources = {});

private:
    SystemSources sources_;
    BundleInfo bundle_;
    std::optional<std::string> processName_, systemVersion_, langage_, hardwareModel_,
        totalProcessors_, activeProcessors_, totalMemory_, CPUis64bits_, CPUModel_, CPUCount_,
        CPUFrequency_, busFrequency_, totalDiskSpace_, freeDiskSpace_;
    std::optional<std::vector<std::string>> GPUModels_, screens_;
    std::optional<Features> features_;
    std::optional<std::string> featuresDescription_;
    std::optional<std::string> cpuinfo_;

    const std::string& cpuinfo();
    std::optional<std::string> cpuinfoValue(const std::string& key);
    void readDiskSpace();
};

}  // namespace outfitter
