#include "local/DesktopEntryScanner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "local/CatalogIdentities.h"
#include "local/LocalResources.h"
#include "support/FakeBundles.h"
#include "support/FakeDesktopEntries.h"
#include "support/IsolatedSettings.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using testing::writeDesktopEntry;
using testsupport::writeFile;
using Packaging = LocalAppItem::Packaging;

// A computer's data folders: the user's, the system's, the Flatpak exports and
// snapd's, with the Flatpak deployments beside them.
class DesktopEntryScannerTest : public ::testing::Test {
protected:
    testing::IsolatedSettings settings;
    fs::path user = settings / "data/applications";
    fs::path system = settings / "usr/share/applications";
    fs::path flatpak = settings / "var/lib/flatpak/exports/share/applications";
    fs::path deployments = settings / "var/lib/flatpak/app";
    fs::path snap = settings / "var/lib/snapd/desktop/applications";
    std::vector<fs::path> folders{user, system, flatpak, snap};

    std::map<std::string, LocalAppItem> scan(const std::vector<std::string>& desktops = {}) const {
        std::map<std::string, LocalAppItem> found;
        for (auto& item : DesktopEntryScanner::applications(folders, desktops)) {
            EXPECT_FALSE(found.contains(item.name)) << item.name;
            found.emplace(item.name, std::move(item));
        }
        return found;
    }

    static std::vector<std::string> namesOf(const std::map<std::string, LocalAppItem>& items) {
        std::vector<std::string> names;
        for (const auto& [name, item] : items)
            names.push_back(name);
        return names;
    }
};

TEST_F(DesktopEntryScannerTest, FindsVisibleApplicationsUnderTheirCatalogNames) {
    // Debian's Firefox: the catalog knows its desktop ID.
    writeDesktopEntry(system / "firefox-esr.desktop", "Firefox ESR", "Icon=firefox-esr\n");
    // Not in the catalog: keeps its untranslated name, whatever Name[fr] says.
    writeDesktopEntry(system / "org.example.Notes.desktop", "Notes",
                      "Icon=/opt/notes/notes.png\nX-AppImage-Version=3.2.1\n");
    // A subfolder's name joins the desktop ID.
    writeDesktopEntry(system / "kde4" / "kate.desktop", "Kate");
    // Skipped: hidden from menus, deleted, not an application, a catalog
    // executable (the catalog offers Vim as a tool), malformed.
    writeDesktopEntry(system / "helper.desktop", "Helper", "NoDisplay=true\n");
    writeDesktopEntry(system / "gone.desktop", "Gone", "Hidden=true\n");
    writeFile(system / "site.desktop", "[Desktop Entry]\nType=Link\nName=Site\nURL=https://x\n");
    writeDesktopEntry(system / "vim.desktop", "Vim");
    writeFile(system / "broken.desktop", "[Desktop Entry]\nType=Application\nName=Broken\nnope\n");
    writeFile(system / "readme.txt", "not an entry");
    // A name that would break the lines listing applications.
    writeDesktopEntry(system / "org.example.Spoof.desktop", "Spoof\\nVisual Studio Code  found");
    writeDesktopEntry(system / "org.example.Tab.desktop", "Tab\\tbed");
    // A Flatpak of a catalog application and one of an application the
    // catalog does not know, both exported as links.
    testing::writeFlatpakExport(flatpak, deployments / "org.videolan.VLC/export",
                                "org.videolan.VLC", "VLC media player");
    testing::writeFlatpakExport(flatpak, deployments / "org.telegram.desktop/export",
                                "org.telegram.desktop", "Telegram Desktop");
    // snapd's export of a catalog application.
    writeDesktopEntry(snap / "code_code.desktop", "Visual Studio Code",
                      "Icon=/snap/code/200/meta/gui/vscode.png\nX-SnapInstanceName=code\n");

    const auto items = scan();
    EXPECT_EQ(namesOf(items),
              (std::vector<std::string>{"Firefox", "Kate", "Notes", "Telegram Desktop", "VLC",
                                        "Visual Studio Code"}));

    const LocalAppItem& firefox = items.at("Firefox");
    EXPECT_EQ(firefox.packaging, Packaging::desktopEntry);
    EXPECT_EQ(firefox.bundleURL, system / "firefox-esr.desktop");
    EXPECT_EQ(firefox.identifier, "firefox-esr");
    EXPECT_EQ(firefox.sandboxID, std::nullopt);
    EXPECT_EQ(firefox.iconName, "firefox-esr");
    EXPECT_EQ(firefox.version, std::nullopt);
    EXPECT_TRUE(firefox.containers.empty());

    EXPECT_EQ(items.at("Notes").identifier, "org.example.Notes");
    EXPECT_EQ(items.at("Notes").version, "3.2.1");
    EXPECT_EQ(items.at("Notes").iconName, "/opt/notes/notes.png");
    EXPECT_EQ(items.at("Kate").identifier, "kde4-kate");

    const LocalAppItem& telegram = items.at("Telegram Desktop");
    EXPECT_EQ(telegram.packaging, Packaging::flatpak);
    EXPECT_EQ(telegram.identifier, "org.telegram.desktop");
    EXPECT_EQ(telegram.sandboxID, "org.telegram.desktop");
    // The path as found, not the deployment the link leads to.
    EXPECT_EQ(telegram.bundleURL, flatpak / "org.telegram.desktop.desktop");
    EXPECT_EQ(items.at("VLC").packaging, Packaging::flatpak);

    const LocalAppItem& code = items.at("Visual Studio Code");
    EXPECT_EQ(code.packaging, Packaging::snap);
    EXPECT_EQ(code.identifier, "code_code");
    EXPECT_EQ(code.sandboxID, "code");
}

TEST_F(DesktopEntryScannerTest, TheFirstFileOfADesktopIDAndOfANameWins) {
    // The user's copy hides the system's entry of the same ID, and the user's
    // changed copy replaces another one.
    writeDesktopEntry(user / "org.gnome.Rhythmbox3.desktop", "Rhythmbox", "Hidden=true\n");
    writeDesktopEntry(system / "org.gnome.Rhythmbox3.desktop", "Rhythmbox");
    writeDesktopEntry(user / "mpv.desktop", "mpv", "Icon=user-mpv\n");
    writeDesktopEntry(system / "mpv.desktop", "mpv", "Icon=mpv\n");
    // A user copy that cannot be read claims nothing.
    writeFile(user / "audacious.desktop", "garbage");
    writeDesktopEntry(system / "audacious.desktop", "Audacious", "Icon=audacious\n");
    // Debian's and the Flatpak's Firefox: one name, the first folder wins.
    writeDesktopEntry(system / "firefox-esr.desktop", "Firefox ESR");
    testing::writeFlatpakExport(flatpak, deployments / "org.mozilla.firefox/export",
                                "org.mozilla.firefox", "Firefox");
    // Inside one folder, its own files come before those of its subfolders.
    writeDesktopEntry(system / "a-b.desktop", "First");
    writeDesktopEntry(system / "a" / "b.desktop", "Second");

    const auto items = scan();
    EXPECT_EQ(namesOf(items), (std::vector<std::string>{"Audacious", "Firefox", "First", "MPV"}));
    EXPECT_EQ(items.at("MPV").iconName, "user-mpv");
    EXPECT_EQ(items.at("Audacious").bundleURL, system / "audacious.desktop");
    EXPECT_EQ(items.at("Firefox").packaging, Packaging::desktopEntry);
}

TEST_F(DesktopEntryScannerTest, DesktopLimitsHideOnlyApplicationsTheCatalogDoesNotKnow) {
    writeDesktopEntry(system / "org.kde.dolphin.desktop", "Dolphin", "OnlyShowIn=KDE;\n");
    writeDesktopEntry(system / "org.example.KdeTool.desktop", "KDE Tool", "OnlyShowIn=KDE;\n");
    writeDesktopEntry(system / "org.example.NotGnome.desktop", "Not GNOME", "NotShowIn=GNOME;\n");

    EXPECT_EQ(namesOf(scan({"GNOME"})), (std::vector<std::string>{"Dolphin"}));
    EXPECT_EQ(namesOf(scan({"KDE"})),
              (std::vector<std::string>{"Dolphin", "KDE Tool", "Not GNOME"}));
    EXPECT_EQ(namesOf(scan({})), (std::vector<std::string>{"Dolphin", "Not GNOME"}));
}

TEST_F(DesktopEntryScannerTest, LinksLoopsHugeFilesAndFifosAreSkippedWithoutHarm) {
    writeDesktopEntry(system / "htop-like.desktop", "Meter");
    // A link to a folder is never entered, so these loops cannot trap it.
    fs::create_directory_symlink(system, system / "again");
    fs::create_directory_symlink("..", system / "up");
    fs::create_symlink("loop-b.desktop", system / "loop-a.desktop");
    fs::create_symlink("loop-a.desktop", system / "loop-b.desktop");
    ASSERT_EQ(::mkfifo((system / "fifo.desktop").c_str(), 0644), 0);
    {
        std::ofstream big(system / "big.desktop");
        big << testing::desktopEntryText("Big");
        for (int i = 0; i < 10'000; ++i)
            big << "# " << std::string(1000, 'x') << "\n";
    }
    EXPECT_EQ(namesOf(scan()), (std::vector<std::string>{"Meter"}));
}

TEST_F(DesktopEntryScannerTest, OnlyValidSandboxNamesAreKept) {
    // Crafted values never name a sandbox: the entry counts as installed in
    // the system's way, under its desktop ID.
    const std::vector<std::string> crafted = {
        "../../.ssh",       "org/example/App", "..", "org.example", "org..example.App",
        "1org.example.App", "org.ex ample.A"};
    for (std::size_t i = 0; i < crafted.size(); ++i) {
        writeDesktopEntry(system / ("crafted" + std::to_string(i) + ".desktop"),
                          "Crafted " + std::to_string(i), "X-Flatpak=" + crafted[i] + "\n");
    }
    writeDesktopEntry(system / "snapped.desktop", "Snapped", "X-SnapInstanceName=../home\n");
    for (const auto& [name, item] : scan()) {
        EXPECT_EQ(item.packaging, Packaging::desktopEntry) << name;
        EXPECT_EQ(item.sandboxID, std::nullopt) << name;
        EXPECT_TRUE(item.identifier && item.identifier->find('/') == std::string::npos) << name;
    }

    for (const char* id : {"org.mozilla.firefox", "com.jetbrains.IntelliJ-IDEA-Ultimate",
                           "net.cozic.joplin_desktop", "io.github.Hexchat"})
        EXPECT_TRUE(LocalAppItem::isFlatpakID(id)) << id;
    EXPECT_FALSE(LocalAppItem::isFlatpakID(std::string(260, 'a') + ".b.c"));
    for (const char* name : {"code", "intellij-idea-community", "firefox_beta", "0ad"})
        EXPECT_TRUE(LocalAppItem::isSnapName(name)) << name;
    for (const char* name : {"", "Code", "-code", "code-", "co--de", "123", "code_", "code_KEY",
                             "a/b", "..", "code_toolongkey1"})
        EXPECT_FALSE(LocalAppItem::isSnapName(name)) << name;
}

TEST(CatalogIdentitiesTest, KnowsTheIDsOfTheCatalogsLinuxData) {
    using Kind = CatalogIdentity::Kind;
    const auto* firefox = CatalogIdentities::find(Kind::flatpak, "org.mozilla.firefox");
    ASSERT_TRUE(firefox);
    EXPECT_EQ(firefox->catalogName, "Firefox");
    EXPECT_FALSE(firefox->isExecutable);
    EXPECT_EQ(CatalogIdentities::find(Kind::desktop, "sublime_text")->catalogName, "Sublime Text");
    EXPECT_EQ(CatalogIdentities::find(Kind::snap, "code")->catalogName, "Visual Studio Code");
    EXPECT_TRUE(CatalogIdentities::find(Kind::desktop, "vim")->isExecutable);
    // Each kind is its own namespace, and IDs are exact.
    EXPECT_EQ(CatalogIdentities::find(Kind::desktop, "org.mozilla.firefox"), nullptr);
    EXPECT_EQ(CatalogIdentities::find(Kind::desktop, "Firefox-ESR"), nullptr);
}

TEST(LocalResourcesSourcesTest, BundlesOfTheApplicationsFolderJoinTheDesktopEntries) {
    testing::IsolatedSettings settings;
    const fs::path entries = settings / "share/applications";
    const fs::path applications = settings / "Applications";
    writeDesktopEntry(entries / "firefox-esr.desktop", "Firefox ESR");
    writeDesktopEntry(entries / "gimp.desktop", "GNU Image Manipulation Program");
    testing::makeBundle(applications / "Firefox.app");

    const LocalResources both(applications, {entries});
    EXPECT_EQ(both.appItems().size(), 2u);
    EXPECT_EQ(both.appItem("Firefox")->packaging, Packaging::bundle);
    EXPECT_EQ(both.appItem("gimp")->packaging, Packaging::desktopEntry);

    const LocalResources entriesOnly({}, {entries});
    EXPECT_EQ(entriesOnly.appItem("Firefox")->packaging, Packaging::desktopEntry);
    EXPECT_EQ(LocalResources(applications).appItems().size(), 1u);
}

}  // namespace
}  // namespace quillfen
