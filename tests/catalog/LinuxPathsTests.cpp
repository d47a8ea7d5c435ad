// Which settings paths a Linux computer uses: the catalog's Linux data, the
// fall-back to the catalog's paths, and the paths of applications installed
// as Flatpaks and snaps, found inside their sandboxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/SyncConfiguration.h"
#include "catalog/SyncPathsFinder.h"
#include "local/LocalResources.h"
#include "support/FakeDesktopEntries.h"
#include "support/IsolatedSettings.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;
using testing::writeDesktopEntry;

Paths sorted(Paths paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

const SyncConfiguration& entry(const std::string& name) {
    return SyncConfiguration::catalogByName().at(name);
}

TEST(LinuxCatalogTest, EntriesWithLinuxDataUseItOnLinuxAndKeepTheirMacPaths) {
    const SyncConfiguration& code = entry("Visual Studio Code");
    EXPECT_EQ(code.pathsOn(SettingsPlatform::linuxOS),
              (Paths{".config/Code/User/settings.json", ".config/Code/User/keybindings.json",
                     ".config/Code/User/snippets"}));
    EXPECT_EQ(code.pathsOn(SettingsPlatform::macOS), code.paths);
    EXPECT_EQ(code.paths.front(), "Library/Application Support/Code/User/snippets");
    EXPECT_EQ(entry("Firefox").linuxPaths, (Paths{".mozilla/firefox", ".config/mozilla/firefox"}));
    // Without Linux data, Linux uses the catalog's paths.
    EXPECT_TRUE(entry("Hazel").linuxPaths.empty());
    EXPECT_EQ(entry("Hazel").pathsOn(SettingsPlatform::linuxOS), entry("Hazel").paths);

    std::size_t withLinuxPaths = 0;
    for (const SyncConfiguration& configuration : SyncConfiguration::catalog()) {
        if (configuration.linuxPaths.empty()) continue;
        ++withLinuxPaths;
        for (const std::string& path : configuration.linuxPaths)
            EXPECT_FALSE(path.starts_with("Library/")) << configuration.name << ": " << path;
    }
    EXPECT_GE(withLinuxPaths, 80u);
}

TEST(LinuxCatalogTest, LinuxPathsSurviveTheJSONCoding) {
    const nlohmann::json json = entry("Firefox");
    EXPECT_EQ(json["linuxPaths"], nlohmann::json({".mozilla/firefox", ".config/mozilla/firefox"}));
    EXPECT_EQ(json.get<SyncConfiguration>(), entry("Firefox"));
    EXPECT_FALSE(nlohmann::json(entry("Hazel")).contains("linuxPaths"));
}

// A Linux computer with its desktop entries in one system folder.
class LinuxPathsTest : public ::testing::Test {
protected:
    testing::IsolatedSettings settings;
    const fs::path home = settings.home();
    const fs::path entries = settings / "share/applications";

    LocalResources installed() const { return LocalResources({}, {entries}); }
    Paths appPaths(const std::string& name) const {
        return SyncPathsFinder::forApp(name, installed()).paths;
    }
    void makeFolder(const std::string& path) const { fs::create_directories(home / path); }
};

TEST_F(LinuxPathsTest, ANativeApplicationUsesTheLinuxPathsAndNoMacContainers) {
    writeDesktopEntry(entries / "code.desktop", "Visual Studio Code");
    writeDesktopEntry(entries / "org.example.Unknown.desktop", "Unknown");
    EXPECT_EQ(appPaths("Visual Studio Code"),
              sorted(entry("Visual Studio Code").pathsOn(SettingsPlatform::linuxOS)));
    // An application the catalog does not know has nothing to carry.
    EXPECT_EQ(appPaths("Unknown"), Paths{});
    EXPECT_EQ(SyncPathsFinder::forExec("Htop", installed()).paths, (Paths{".config/htop/htoprc"}));
}

TEST_F(LinuxPathsTest, AFlatpakFindsItsPathsInItsSandboxOnceThatExists) {
    testing::writeFlatpakExport(entries, settings / "deploy/firefox", "org.mozilla.firefox",
                                "Firefox");
    const Paths native = sorted(entry("Firefox").linuxPaths);
    EXPECT_EQ(appPaths("Firefox"), native);

    makeFolder(".var/app/org.mozilla.firefox");
    EXPECT_EQ(appPaths("Firefox"), (Paths{".var/app/org.mozilla.firefox/.mozilla/firefox",
                                          ".var/app/org.mozilla.firefox/config/mozilla/firefox"}));

    // ".local/share" is the sandbox's "data"; a dotfile lies in the sandbox.
    testing::writeFlatpakExport(entries, settings / "deploy/dolphin", "org.kde.dolphin", "Dolphin");
    makeFolder(".var/app/org.kde.dolphin");
    EXPECT_EQ(appPaths("Dolphin"), (Paths{".var/app/org.kde.dolphin/config/dolphin-emu",
                                          ".var/app/org.kde.dolphin/config/dolphinrc",
                                          ".var/app/org.kde.dolphin/data/kxmlgui5/dolphin"}));
}

TEST_F(LinuxPathsTest, ASnapFindsItsDotfilesInItsCurrentRevision) {
    writeDesktopEntry(entries / "code_code.desktop", "Visual Studio Code",
                      "X-SnapInstanceName=code\n");
    const Paths native = sorted(entry("Visual Studio Code").linuxPaths);
    EXPECT_EQ(appPaths("Visual Studio Code"), native);
    makeFolder("snap/code/42");
    fs::create_directory_symlink("42", home / "snap/code/current");
    Paths inSnap;
    for (const auto& path : native)
        inSnap.push_back("snap/code/current/" + path);
    EXPECT_EQ(appPaths("Visual Studio Code"), inSnap);
}

TEST_F(LinuxPathsTest, AnUnknownSandboxedApplicationKeepsItsSandboxsSettingsFolder) {
    testing::writeFlatpakExport(entries, settings / "deploy/telegram", "org.telegram.desktop",
                                "Telegram Desktop");
    writeDesktopEntry(entries / "notes_notes.desktop", "Notes", "X-SnapInstanceName=notes\n");
    EXPECT_EQ(appPaths("Telegram Desktop"), (Paths{".var/app/org.telegram.desktop/config"}));
    EXPECT_EQ(appPaths("Notes"), (Paths{"snap/notes/current/.config"}));
    EXPECT_EQ(SyncConfiguration::configuration("Telegram Desktop", installed()).paths,
              (Paths{".var/app/org.telegram.desktop/config"}));
}

TEST_F(LinuxPathsTest, ACraftedSandboxNameNeverReachesAPath) {
    // The entry names itself a catalog application by its desktop ID.
    writeDesktopEntry(entries / "code.desktop", "Visual Studio Code", "X-Flatpak=../../..\n");
    writeDesktopEntry(entries / "org.example.Evil.desktop", "Evil",
                      "X-Flatpak=org.example.Evil/../../../../.ssh\n");
    writeDesktopEntry(entries / "evil_evil.desktop", "Evil Snap", "X-SnapInstanceName=..\n");
    makeFolder(".var/app");
    makeFolder("snap");
    for (const char* name : {"Visual Studio Code", "Evil", "Evil Snap"}) {
        for (const std::string& path : appPaths(name)) {
            EXPECT_EQ(path.find(".."), std::string::npos) << name << ": " << path;
            EXPECT_FALSE(path.starts_with(".var") || path.starts_with("snap")) << path;
        }
    }
    EXPECT_EQ(appPaths("Visual Studio Code"), sorted(entry("Visual Studio Code").linuxPaths));
}

}  // namespace
}  // namespace quillfen
