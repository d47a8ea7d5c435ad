#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <QRegularExpression>

#include "OutfitterTestSupport.h"
#include "outfitter/JournalReader.h"
#include "outfitter/SystemProfile.h"

using namespace outfitter;
using outfittertest::writeFile;
namespace fs = std::filesystem;

namespace {

class OutfitterSystemProfileTest : public ::testing::Test {
protected:
    fs::path root() const { return fs::path(folder.path().toStdString()) / "root"; }
    void put(const std::string& absolute, std::string_view content) {
        writeFile(root() / fs::path(absolute).relative_path(), content);
    }
    SystemSources sources(std::map<std::string, std::string> environment = {}) const {
        SystemSources made;
        made.root = root();
        made.home = folder.path().toStdString();
        made.environment = [environment](const std::string& name) -> std::optional<std::string> {
            if (auto it = environment.find(name); it != environment.end()) return it->second;
            return std::nullopt;
        };
        return made;
    }

    QTemporaryDir folder;
};

TEST_F(OutfitterSystemProfileTest, ReadsEveryFactFromTheSystemFilesInTheFixedOrder) {
    put("/etc/os-release",
        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
        "VERSION_ID=\"12\"\nID=debian\n");
    put("/proc/sys/kernel/ostype", "Linux\n");
    put("/proc/sys/kernel/osrelease", "6.1.0-18-amd64\n");
    put("/proc/cpuinfo",
        "processor\t: 0\nmodel name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n"
        "cpu MHz\t\t: 800.000\nflags\t\t: fpu vme lm sse\n\n"
        "processor\t: 1\nmodel name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n"
        "cpu MHz\t\t: 801.000\nflags\t\t: fpu vme lm sse\n\n");
    put("/proc/meminfo", "MemTotal:       16250000 kB\nMemFree:         1000000 kB\n");
    put("/sys/devices/system/cpu/present", "0-1\n");
    put("/sys/devices/system/cpu/online", "0\n");
    put("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "4600000\n");
    put("/sys/class/dmi/id/sys_vendor", "LENOVO\n");
    put("/sys/class/dmi/id/product_name", "20XW\n");
    put("/sys/bus/pci/devices/0000:00:02.0/class", "0x030000\n");
    put("/sys/bus/pci/devices/0000:00:02.0/vendor", "0x8086\n");
    put("/sys/bus/pci/devices/0000:00:02.0/device", "0x3E9B\n");
    put("/sys/bus/pci/devices/0000:00:1f.3/class", "0x040300\n");  // sound, not graphics
    put("/sys/bus/pci/devices/0000:00:1f.3/vendor", "0x8086\n");
    put("/sys/bus/pci/devices/0000:00:1f.3/device", "0xa348\n");
    put("/sys/bus/pci/devices/0000:01:00.0/class", "0x030200\n");
    put("/sys/bus/pci/devices/0000:01:00.0/vendor", "0x10de\n");
    put("/sys/bus/pci/devices/0000:01:00.0/device", "0x1f91\n");
    put("/usr/share/misc/pci.ids",
        "# comment\n10de  NVIDIA Corporation\n\t1f90  TU117M\n"
        "8086  Intel Corporation\n\t3e9a  Other\n\t3e9b  CoffeeLake-H GT2 [UHD Graphics 630]\n"
        "\t\t1028 0916  Subsystem\n8087  Intel Corporation\n");

    SystemSources systemSources = sources({{"LANG", "de_CH.UTF-8"}});
    systemSources.screens = [] {
        return std::vector<ScreenInfo>{{2560, 1440, 2}, {1920, 1080, 1}};
    };
    SystemProfile profile(systemSources);

    const SystemProfile::Features& features = profile.features();
    std::vector<std::string> keys;
    for (const auto& [key, value] : features)
        keys.push_back(key);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"System Version", "Total Memory", "Hardware Model",
                                        "CPU Model", "CPU is 64 bits", "CPU Count", "CPU Frequency",
                                        "Bus Frequency", "GPU models", "Total Disk Space",
                                        "Free Disk Space", "Screens", "Langage"}));
    auto value = [&](const std::string& key) {
        for (const auto& [k, v] : features)
            if (k == key) return v;
        return std::string("(missing)");
    };
    EXPECT_EQ(value("System Version"), "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64");
    EXPECT_EQ(value("Total Memory"), "15869 mb");
    EXPECT_EQ(value("Hardware Model"), "LENOVO 20XW");
    EXPECT_EQ(value("CPU Model"), "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    EXPECT_EQ(value("CPU is 64 bits"), "YES");
    EXPECT_EQ(value("CPU Count"), "2");
    EXPECT_EQ(value("CPU Frequency"), "4600 MHz");
    EXPECT_EQ(value("Bus Frequency"), "Unknown");
    EXPECT_EQ(value("GPU models"),
              "Intel Corporation CoffeeLake-H GT2 [UHD Graphics 630]/"
              "NVIDIA Corporation [10de:1f91]");
    const QRegularExpression size(QStringLiteral(R"(\A\d+(\.\d+)? (bytes|KB|MB|GB|TB|PB)\z)"));
    EXPECT_TRUE(size.match(QString::fromStdString(value("Total Disk Space"))).hasMatch())
        << value("Total Disk Space");
    EXPECT_TRUE(size.match(QString::fromStdString(value("Free Disk Space"))).hasMatch());
    EXPECT_EQ(value("Screens"), "2560x1440:@2/1920x1080:@1");
    EXPECT_EQ(value("Langage"), "de-CH");
    EXPECT_EQ(profile.totalProcessors(), "2");
    EXPECT_EQ(profile.activeProcessors(), "1");
    EXPECT_EQ(profile.featuresDescription().substr(0, 70),
              "System Version: Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64;\n");

    const SystemProfile::OperatingSystem system = SystemProfile::operatingSystem(systemSources);
    EXPECT_EQ(system.id, "debian");
    EXPECT_EQ(system.versionID, "12");
}

TEST_F(OutfitterSystemProfileTest, AnEmptySystemGivesUnknownFactsInsteadOfFailing) {
    SystemProfile profile(sources());
    EXPECT_EQ(profile.features().size(), 13u);
    EXPECT_EQ(profile.CPUModel(), "Unknown");
    EXPECT_EQ(profile.totalMemory(), "Unknown");
    EXPECT_EQ(profile.hardwareModel(), "Unknown");
    EXPECT_EQ(profile.CPUis64bits(), "NO");
    EXPECT_EQ(profile.langage(), "Unknown");
    EXPECT_TRUE(profile.GPUModels().empty());
    EXPECT_TRUE(profile.screens().empty());
}

TEST_F(OutfitterSystemProfileTest, ArmBoardsAreNamedByTheirDeviceTreeAndArchitecture) {
    put("/proc/cpuinfo",
        "processor\t: 0\nCPU architecture: 8\n\nprocessor\t: 1\nCPU architecture: 8\n"
        "\nHardware\t: BCM2835\nModel\t\t: Raspberry Pi 4 Model B Rev 1.4\n");
    put("/sys/firmware/devicetree/base/model", std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31));
    SystemProfile profile(sources());
    EXPECT_EQ(profile.hardwareModel(), "Raspberry Pi 4 Model B Rev 1.4");
    EXPECT_EQ(profile.CPUModel(), "Raspberry Pi 4 Model B Rev 1.4");
    EXPECT_EQ(profile.CPUis64bits(), "YES");
    EXPECT_EQ(profile.CPUCount(), "2");
}

TEST_F(OutfitterSystemProfileTest, The64BitAnswerFallsBackFromFlagsToArchitectureToMachine) {
    struct Case {
        const char* cpuinfo;
        const char* arch;
        const char* expected;
    };
    for (const Case& c :
         {Case{"flags\t: fpu sse\n", "x86_64\n", "NO"},
          Case{"CPU architecture: 7\n", "aarch64\n", "NO"},
          Case{"processor\t: 0\n", "x86_64\n", "YES"}, Case{"processor\t: 0\n", "i686\n", "NO"}}) {
        put("/proc/cpuinfo", c.cpuinfo);
        put("/proc/sys/kernel/arch", c.arch);
        SystemProfile profile(sources());
        EXPECT_EQ(profile.CPUis64bits(), c.expected) << c.cpuinfo << c.arch;
    }
}

TEST_F(OutfitterSystemProfileTest, TheLanguageComesFromTheFirstVariableThatIsSet) {
    EXPECT_EQ(SystemProfile::preferredLanguage(
                  sources({{"LANGUAGE", "fr_CA:fr"}, {"LANG", "de_DE.UTF-8"}})),
              "fr-CA");
    EXPECT_EQ(SystemProfile::preferredLanguage(sources({{"LC_ALL", "sr_RS.UTF-8@latin"}})),
              "sr-RS");
    EXPECT_EQ(SystemProfile::preferredLanguage(sources({{"LANG", "C.UTF-8"}})), std::nullopt);
    EXPECT_EQ(SystemProfile::preferredLanguage(sources()), std::nullopt);
}

TEST_F(OutfitterSystemProfileTest, SandboxesAreFlatpakAndSnap) {
    EXPECT_FALSE(SystemProfile::isSandboxingEnabled(sources()));
    EXPECT_TRUE(
        SystemProfile::isSandboxingEnabled(sources({{"FLATPAK_ID", "org.quillfen.Quillfen"}})));
    EXPECT_TRUE(SystemProfile::isSandboxingEnabled(sources({{"SNAP", "/snap/quillfen/1"}})));
    put("/.flatpak-info", "[Application]\n");
    EXPECT_TRUE(SystemProfile::isSandboxingEnabled(sources()));
}

TEST_F(OutfitterSystemProfileTest, TheConsoleLogKeepsTheNewestMessagesUpToTheLength) {
    const keel::Date start = keel::Date::now();
    std::vector<ConsoleMessage> messages;
    messages.push_back(
        {keel::Date{start.timeIntervalSinceReferenceDate - 3 * 86400}, "quillfen", "too old"});
    for (int i = 0; i < 100; ++i)
        messages.push_back({keel::Date{start.timeIntervalSinceReferenceDate - 100 + i}, "quillfen",
                            "message " + std::to_string(i) + std::string(30, '.')});
    SystemSources systemSources = sources();
    systemSources.consoleMessages = [&](keel::Date, std::int64_t) { return messages; };
    SystemProfile profile(systemSources);

    profile.consoleLogLength = 0;
    const std::string everything = profile.retrieveConsoleLog();
    EXPECT_EQ(std::count(everything.begin(), everything.end(), '\n'), 100);
    EXPECT_EQ(everything.find("too old"), std::string::npos);
    EXPECT_NE(everything.find(" quillfen: message 0."), std::string::npos);

    profile.consoleLogLength = 2000;
    const std::string newest = profile.retrieveConsoleLog();
    EXPECT_GT(newest.size(), 2000u);
    const std::size_t firstLineEnd = newest.find('\n');
    EXPECT_LE(newest.size() - firstLineEnd - 1, 2000u);  // all but the line that crossed
    EXPECT_NE(newest.find("message 99."), std::string::npos);
    EXPECT_EQ(newest.rfind('\n'), newest.size() - 1);
    EXPECT_LT(newest.find("message 98."), newest.find("message 99."));
}

TEST_F(OutfitterSystemProfileTest, PreferencesLeaveOutTheExcludedKeys) {
    SystemSources systemSources = sources();
    systemSources.preferencesFile = root() / "settings.json";
    SystemProfile profile(systemSources);
    EXPECT_EQ(profile.retrievePreferences(), "");  // no settings file

    writeFile(
        systemSources.preferencesFile,
        R"({"EnableNoteAfterProcessing": true, "NotewellUserEmail": "a@b.org", "NotewellUserName": "A"})");
    profile.excludedPreferencesKeys = {"NotewellUserEmail", "NotewellUserName"};
    const std::string text = profile.retrievePreferences();
    EXPECT_NE(text.find("\"EnableNoteAfterProcessing\": true"), std::string::npos) << text;
    EXPECT_EQ(text.find("Notewell"), std::string::npos) << text;

    writeFile(systemSources.preferencesFile, "not JSON");
    EXPECT_EQ(profile.retrievePreferences(), "");
}

TEST_F(OutfitterSystemProfileTest, TheRunningSystemGivesEveryFactAndAnOrderedJournal) {
    SystemProfile profile;
    EXPECT_EQ(profile.features().size(), 13u);
    EXPECT_NE(profile.systemVersion(), "Unknown");
    EXPECT_NE(profile.CPUCount(), "Unknown");

    const keel::Date since{keel::Date::now().timeIntervalSinceReferenceDate - 3600};
    const auto messages = JournalReader::messages(since, 2000);  // empty without a journal
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_GE(messages[i].time, since);
        if (i > 0) {
            EXPECT_LE(messages[i - 1].time, messages[i].time);
        }
    }
}

}  // namespace
