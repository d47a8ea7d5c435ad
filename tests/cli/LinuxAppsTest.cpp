// Applications installed the Linux way (desktop entries, Flatpak exports)
// carried between two Linux computers through the command line: what status
// lists, which paths each computer uses, and that a Flatpak on one computer
// and a native install on the other each keep their own files.
#include <set>

#include "cli/CommandLineFixture.h"
#include "support/FakeDesktopEntries.h"

namespace clitest {
namespace {

using nlohmann::json;

std::set<std::string> appNames(const json& status) {
    std::set<std::string> names;
    for (const auto& row : status["apps"])
        names.insert(row["name"].get<std::string>());
    return names;
}

class LinuxAppsTest : public CommandLineTest {
protected:
    void SetUp() override {
        authorize(first);
        authorize(second);
    }

    static fs::path entries(const Computer& computer) {
        return computer.systemData() / "applications";
    }
    // A Flatpak export of the system installation, linked to its deployment.
    static void installFlatpak(const Computer& computer, const std::string& id,
                               const std::string& name) {
        quillfen::testing::writeFlatpakExport(entries(computer),
                                              computer.systemData() / "flatpak" / id, id, name);
    }
};

TEST_F(LinuxAppsTest, DesktopEntriesAreListedAndVisualStudioCodeTravels) {
    for (const Computer* computer : {&first, &second}) {
        quillfen::testing::writeDesktopEntry(entries(*computer) / "code.desktop",
                                             "Visual Studio Code");
    }
    quillfen::testing::writeDesktopEntry(entries(first) / "firefox-esr.desktop", "Firefox ESR");
    installFlatpak(first, "org.telegram.desktop", "Telegram Desktop");

    const std::vector<std::string> files{".config/Code/User/settings.json",
                                         ".config/Code/User/keybindings.json",
                                         ".config/Code/User/snippets/go.json"};
    for (const auto& path : files)
        writeSetting(first, path, "{\"from\": \"" + path + "\"}\n");
    // The Flatpak keeps its settings in its own folder.
    writeSetting(first, ".var/app/org.telegram.desktop/config/telegram.conf", "night=1\n");
    ASSERT_EQ(on(first, {"add", "app", "Visual Studio Code", "Telegram Desktop"}).exitCode, 0);
    EXPECT_EQ(appNames(jsonOn(first, {"status", "--all"})),
              (std::set<std::string>{"Firefox", "Telegram Desktop", "Visual Studio Code"}));
    const auto backedUp = on(first, {"backup"});
    ASSERT_EQ(backedUp.exitCode, 0) << backedUp.err;
    EXPECT_FALSE(dataCopy(".config/Code/User/settings.json").empty());
    EXPECT_FALSE(dataCopy(".config/Code/User/keybindings.json").empty());
    EXPECT_FALSE(dataCopy(".config/Code/User/snippets").empty());
    EXPECT_FALSE(dataCopy(".var/app/org.telegram.desktop/config").empty());
    // Nothing of the Mac's locations was made up.
    EXPECT_TRUE(dataCopy("Library/Application Support/Code/User/settings.json").empty());

    const auto installed = on(second, {"install"});
    EXPECT_EQ(installed.exitCode, 0) << installed.err;
    for (const auto& path : files)
        EXPECT_EQ(contentOf(second.home() / path), contentOf(first.home() / path)) << path;
}

TEST_F(LinuxAppsTest, AFlatpakAndANativeInstallEachKeepTheirOwnFiles) {
    installFlatpak(first, "org.mozilla.firefox", "Firefox");
    quillfen::testing::writeDesktopEntry(entries(second) / "firefox-esr.desktop", "Firefox ESR");
    const std::string inSandbox = ".var/app/org.mozilla.firefox/.mozilla/firefox/profiles.ini";
    const std::string native = ".mozilla/firefox/profiles.ini";
    writeSetting(first, inSandbox, "[Profile0]\nName=sandboxed\n", 1'600'000'000);
    writeSetting(second, native, "[Profile0]\nName=native\n", 1'700'000'000);

    // The command tells which paths this computer uses, and with
    // --all-platforms those of a Mac and of Linux.
    auto catalog = jsonOn(first, {"catalog", "Firefox"});
    EXPECT_EQ(catalog["paths"], json({".var/app/org.mozilla.firefox/.mozilla/firefox",
                                      ".var/app/org.mozilla.firefox/config/mozilla/firefox"}));
    EXPECT_FALSE(catalog.contains("platforms"));
    catalog = jsonOn(second, {"catalog", "Firefox", "--all-platforms"});
    EXPECT_EQ(catalog["paths"], json({".config/mozilla/firefox", ".mozilla/firefox"}));
    EXPECT_EQ(catalog["platforms"]["Linux"], json({".mozilla/firefox", ".config/mozilla/firefox"}));
    ASSERT_TRUE(catalog["platforms"]["macOS"].is_array());
    EXPECT_NE(catalog["platforms"]["macOS"], catalog["platforms"]["Linux"]);

    ASSERT_EQ(on(first, {"add", "app", "Firefox"}).exitCode, 0);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    ASSERT_EQ(on(second, {"backup"}).exitCode, 0);
    EXPECT_EQ(contentOf(dataCopy(".var/app/org.mozilla.firefox/.mozilla/firefox") / "profiles.ini"),
              "[Profile0]\nName=sandboxed\n");
    EXPECT_EQ(contentOf(dataCopy(".mozilla/firefox") / "profiles.ini"),
              "[Profile0]\nName=native\n");

    // Each computer installs its own copy only, into its own location.
    EXPECT_EQ(on(first, {"install"}).exitCode, 0);
    EXPECT_EQ(on(second, {"install"}).exitCode, 0);
    EXPECT_EQ(contentOf(first.home() / inSandbox), "[Profile0]\nName=sandboxed\n");
    EXPECT_EQ(contentOf(second.home() / native), "[Profile0]\nName=native\n");
    EXPECT_FALSE(fs::exists(first.home() / ".mozilla"));
    EXPECT_FALSE(fs::exists(first.home() / ".config"));
    EXPECT_FALSE(fs::exists(second.home() / ".var"));
}

}  // namespace
}  // namespace clitest
