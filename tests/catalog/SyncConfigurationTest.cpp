#include "catalog/SyncConfiguration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <latch>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "catalog/BackupDecodingError.h"
#include "catalog/CatalogTables.h"
#include "local/LocalResources.h"
#include "support/FakeBundles.h"
#include "support/IsolatedSettings.h"
#include "support/TestSupport.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

const SyncConfiguration& entryAt(std::size_t position) {
    return SyncConfiguration::catalog().at(position - 1);
}

std::string infoWithIdentifier(const std::string& identifier) {
    return testing::xmlPlist("<key>CFBundleIdentifier</key><string>" + identifier + "</string>\n");
}

// A folder of installed applications of our own, read by a LocalResources of
// our own, so that no test depends on what this computer has installed.
class SyncConfigurationTest : public ::testing::Test {
protected:
    testing::IsolatedSettings settings;
    testsupport::TemporaryDirectory folder;

    LocalResources installed(
        const std::vector<std::pair<std::string, std::optional<std::string>>>& apps) {
        const fs::path applications = folder / "Applications";
        fs::create_directories(applications);
        for (const auto& [name, identifier] : apps) {
            testing::makeBundle(applications / (name + ".app"),
                                identifier ? std::optional(infoWithIdentifier(*identifier))
                                           : std::optional(testing::xmlPlist("")));
        }
        return LocalResources(applications);
    }
};

// The names themselves are data; what must hold of them is checked here, and
// single entries at their places below.
TEST_F(SyncConfigurationTest, CatalogListsEveryEntryOnceInCatalogOrder) {
    const auto& catalog = SyncConfiguration::catalog();
    ASSERT_EQ(catalog.size(), 489u);
    EXPECT_EQ(catalog.front().name, "Robomongo");
    EXPECT_EQ(catalog.back().name, "TablePlus");
    std::map<std::string, int> occurrences;
    for (const SyncConfiguration& entry : catalog) {
        SCOPED_TRACE(entry.name);
        EXPECT_FALSE(entry.name.empty());
        EXPECT_FALSE(entry.name.starts_with(' ') || entry.name.ends_with(' '));
        EXPECT_TRUE(std::none_of(entry.name.begin(), entry.name.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == '/';
        }));
        ++occurrences[entry.name];
    }
    // One name is listed twice (see IndexKeepsTheLaterOfTwoEntriesWithOneName).
    std::vector<std::string> repeated;
    for (const auto& [name, count] : occurrences)
        if (count > 1) repeated.push_back(name);
    EXPECT_EQ(repeated, std::vector<std::string>{"iStat Menus"});
    EXPECT_EQ(occurrences["iStat Menus"], 2);
}

TEST_F(SyncConfigurationTest, TellingRowsHoldTheirPathsAsWritten) {
    const std::map<std::size_t, std::pair<std::string, Paths>> rows = {
        {1, {"Robomongo", {".config/robomongo"}}},
        {2, {"t", {".trc"}}},
        {3,
         {"Hazel",
          {"Library/Application Support/Hazel", "Library/Preferences/com.noodlesoft.Hazel.plist"}}},
        {21,
         {"Vim",
          {".gvimrc", ".gvimrc.after", ".gvimrc.before", ".vim/autoload", ".vim/after",
           ".vim/colors", ".vim/doc", ".vim/ftdetect", ".vim/ftplugin", ".vim/indent", ".vim/pack",
           ".vim/plugin/settings", ".vim/spell", ".vim/syntax", ".vim/vimrc", ".vimrc",
           ".vimrc.after", ".vimrc.before"}}},
        {24, {"SSH", {".ssh/config", ".ssh/authorized_keys"}}},
        {93, {"macOS Finder", {"Library/Preferences/com.apple.finder.plist"}}},
        {142, {"macOS General", {"Library/Preferences/.GlobalPreferences.plist"}}},
        {267,
         {"Visual Studio Code",
          {"Library/Application Support/Code/User/snippets",
           "Library/Application Support/Code/User/keybindings.json",
           "Library/Application Support/Code/User/settings.json", ".config/Code/User/snippets",
           ".config/Code/User/keybindings.json", ".config/Code/User/settings.json"}}},
        {292,
         {"iStat Menus",
          {"Library/Preferences/com.bjango.istatmenus.plist",
           "Library/Preferences/com.bjango.istatmenus5.extras.plist"}}},
        {317,
         {"iStat Menus",
          {"Library/Preferences/com.bjango.istatmenus.plist",
           "Library/Preferences/com.bjango.istatmenus.status.plist",
           "Library/Preferences/com.bjango.istatmenus5.extras.plist",
           "Library/Preferences/com.bjango.istatmenus6.extras.plist"}}},
        {318,
         {"Fantastical",
          {"Library/Preferences/com.flexibits.fantastical.plist",
           "Library/Containers/com.flexibits.fantastical2.mac/Container.plist"}}},
        {333,
         {"Adobe Photoshop",
          {"Library/Application Support/Adobe/Adobe Photoshop CC 2013/Presets",
           "Library/Application Support/Adobe/Adobe Photoshop CC 2014/Presets",
           "Library/Application Support/Adobe/Adobe Photoshop CC 2015/Presets",
           "Library/Application Support/Adobe/Adobe Photoshop CC 2015.5/Presets",
           "Library/Application Support/Adobe/Adobe Photoshop CC 2017/Presets",
           "Library/Application Support/Adobe/Adobe Photoshop CC 2018/Presets",
           "Library/Application Support/Adobe/Adobe Photoshop CC 2019/Presets",
           "Library/Application Support/Adobe/Adobe Photoshop 2020/Presets",
           "Library/Application Support/Adobe/Adobe Photoshop CC/Presets",
           "Library/Preferences/Adobe Photoshop CC 2013 Settings",
           "Library/Preferences/Adobe Photoshop CC 2014 Settings",
           "Library/Preferences/Adobe Photoshop CC 2015 Settings",
           "Library/Preferences/Adobe Photoshop CC 2015.5 Settings",
           "Library/Preferences/Adobe Photoshop CC 2017 Settings",
           "Library/Preferences/Adobe Photoshop CC 2018 Settings",
           "Library/Preferences/Adobe Photoshop CC 2019 Settings",
           "Library/Preferences/Adobe Photoshop 2020 Settings",
           "Library/Preferences/Adobe Photoshop CC Settings",
           "Library/Preferences/com.adobe.Photoshop.plist"}}},
        {420,
         {"Boxer", {"Library/Preferences/net.washboardabs.boxer.plist", "Applications/DOS Games"}}},
        {452, {"Git", {".gitconfig", "git/config", "git/ignore", "git/attributes"}}},
        {460,
         {"Xcode",
          {"Library/Preferences/com.apple.dt.Xcode.plist",
           "Library/Application Support/Developer/Shared/Xcode/Plug-ins",
           "Library/Developer/Xcode/UserData/CodeSnippets",
           "Library/Developer/Xcode/UserData/FontAndColorThemes",
           "Library/Developer/Xcode/UserData/KeyBindings",
           "Library/Developer/Xcode/UserData/Debugger",
           "Library/Developer/Xcode/UserData/xcdebugger",
           "Library/Developer/Xcode/UserData/SearchScopes.xcsclist",
           "Library/Developer/Xcode/Templates"}}},
        {487, {"Zsh", {".zshenv", ".zprofile", ".zshrc", ".zlogin", ".zlogout"}}},
    };
    for (const auto& [position, row] : rows) {
        SCOPED_TRACE("row " + std::to_string(position));
        // The paths as the catalog writes them; the Linux data is apart.
        EXPECT_EQ(entryAt(position).name, row.first);
        EXPECT_EQ(entryAt(position).paths, SyncConfiguration(row.first, row.second).paths);
    }
}

TEST_F(SyncConfigurationTest, IntelliJHasOneGroupPerProductVersion) {
    const SyncConfiguration& idea = entryAt(156);
    ASSERT_EQ(idea.name, "IntelliJ IDEA");

    Paths expected;
    for (const std::string version :
         {"12", "13", "14", "15", "2016.1", "2016.2", "2016.3", "2017.1", "2017.2", "2017.3",
          "2018.1", "2018.2", "2018.3", "2019.1", "2019.2", "2019.3"}) {
        expected.push_back(".IntelliJIdea" + version + "/config");
        expected.push_back("Library/Application Support/IntelliJIdea" + version);
        expected.push_back("Library/Preferences/IntelliJIdea" + version);
    }
    expected.push_back(".config/JetBrains/IntelliJIdea2020.1");
    expected.push_back(".local/share/JetBrains/IntelliJIdea2020.1");
    expected.push_back("Library/Application Support/JetBrains/IntelliJIdea2020.1");
    EXPECT_EQ(idea.paths, expected);
}

TEST_F(SyncConfigurationTest, NotesAmongPathsAreKeptInTheDataButDroppedFromEntries) {
    // The compiled data holds Fantastical's strings as written, notes included.
    const auto written = CatalogTables::entries()[317];
    ASSERT_EQ(written.name, "Fantastical");
    const auto strings = CatalogTables::paths().subspan(written.firstPath, written.pathCount);
    EXPECT_EQ(Paths(strings.begin(), strings.end()),
              (Paths{"# Used by Fantastical 1 only.",
                     "Library/Preferences/com.flexibits.fantastical.plist",
                     "# Used by Fantastical 2 only.",
                     "Library/Containers/com.flexibits.fantastical2.mac/Container.plist"}));

    EXPECT_EQ(SyncConfiguration::configuration("Fantastical", installed({})).paths,
              (Paths{"Library/Preferences/com.flexibits.fantastical.plist",
                     "Library/Containers/com.flexibits.fantastical2.mac/Container.plist"}));
    // Only a leading "#" makes a note.
    EXPECT_EQ(SyncConfiguration("X", {"#", "# note", "a#b", " #c", "#d"}).paths,
              (Paths{"a#b", " #c"}));
}

TEST_F(SyncConfigurationTest, IndexKeepsTheLaterOfTwoEntriesWithOneName) {
    const auto& index = SyncConfiguration::catalogByName();
    EXPECT_EQ(index.size(), 488u);
    EXPECT_EQ(index.at("iStat Menus"), entryAt(317));
    for (const SyncConfiguration& entry : SyncConfiguration::catalog()) {
        if (entry.name != "iStat Menus") {
            EXPECT_EQ(index.at(entry.name), entry);
        }
    }
}

TEST_F(SyncConfigurationTest, AliasesLeadInstalledNamesToTheirCatalogEntry) {
    const std::unordered_map<std::string, std::string> expected = {
        {"Adobe Photoshop CC 2014", "Adobe Photoshop"},
        {"Adobe Photoshop CC 2015", "Adobe Photoshop"},
        {"Adobe Photoshop CC 2016", "Adobe Photoshop"},
        {"Adobe Photoshop CC 2017", "Adobe Photoshop"},
        {"Adobe Photoshop CC 2018", "Adobe Photoshop"},
        {"Adobe Photoshop CC 2019", "Adobe Photoshop"},
        {"Adobe Photoshop CC", "Adobe Photoshop"},
        {"Adobe Illustrator CC 2014", "Adobe Illustrator"},
        {"Adobe Illustrator CC 2015", "Adobe Illustrator"},
        {"Adobe Illustrator CC 2016", "Adobe Illustrator"},
        {"Adobe Illustrator CC 2017", "Adobe Illustrator"},
        {"Adobe Illustrator CC 2018", "Adobe Illustrator"},
        {"Adobe Illustrator CC 2019", "Adobe Illustrator"},
        {"Adobe Illustrator CC", "Adobe Illustrator"},
    };
    EXPECT_EQ(SyncConfiguration::nameAliases(), expected);

    // An installed alias name still gets the catalog entry, not its own
    // preferences file.
    const LocalResources apps = installed({{"Adobe Photoshop CC 2018", "com.adobe.Photoshop"}});
    for (const auto& [alias, catalogName] : expected) {
        SCOPED_TRACE(alias);
        EXPECT_EQ(SyncConfiguration::configuration(alias, apps),
                  SyncConfiguration::catalogByName().at(catalogName));
    }
    EXPECT_EQ(SyncConfiguration::configuration("Adobe Photoshop CC 2018", apps).paths.size(), 19u);
}

TEST_F(SyncConfigurationTest, EveryExecutableNameFindsItsOwnEntry) {
    const auto& names = SyncConfiguration::execNames();
    EXPECT_EQ(names.size(), 75u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size())
        << "an executable is listed twice";
    EXPECT_EQ(names.front(), "Zabbix CLI");

    const LocalResources apps = installed({});
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const SyncConfiguration entry = SyncConfiguration::configuration(name, apps);
        EXPECT_EQ(entry.name, name);
        EXPECT_FALSE(entry.paths.empty());
        EXPECT_EQ(entry, SyncConfiguration::catalogByName().at(name));
    }
}

TEST_F(SyncConfigurationTest, FallsBackToTheInstalledApplicationsPreferencesFile) {
    struct Case {
        std::string name;
        Paths expected;
    };
    const LocalResources apps = installed({
        {"Unlisted", "com.example.Unlisted"},
        {"No Identifier", std::nullopt},
        // Hazel is in the catalog: its bundle is not consulted.
        {"Hazel", "com.example.NotHazel"},
        // Identifiers that would lead out of the preferences folder.
        {"Climber", "../../.ssh/authorized_keys"},
        {"Slasher", "com.example/../../../etc/passwd"},
        {"Breaker", "com.example.\nline"},
        {"Blank", ""},
        // Odd but harmless: it stays a file of the preferences folder.
        {"Dotted", "..com.example"},
    });
    const std::vector<Case> cases = {
        {"Unlisted", {"Library/Preferences/com.example.Unlisted.plist"}},
        {"Hazel", entryAt(3).paths},
        {"No Identifier", {}},
        {"Not Installed Anywhere", {}},
        {"Climber", {}},
        {"Slasher", {}},
        {"Breaker", {}},
        {"Blank", {}},
        {"Dotted", {"Library/Preferences/..com.example.plist"}},
        // Lookups are exact: neither the catalog nor the bundles match these.
        {"hazel", {}},
        {"Hazel ", {}},
        {" Hazel", {}},
        {"unlisted", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.name + "\"");
        EXPECT_EQ(SyncConfiguration::configuration(c.name, apps),
                  SyncConfiguration(c.name, c.expected));
    }
}

TEST_F(SyncConfigurationTest, SharedLocalResourcesServeTheFallback) {
    const fs::path applications = folder / "Shared";
    testing::makeBundle(applications / "Quillfen Probe.app",
                        infoWithIdentifier("com.example.QuillfenProbe"));
    LocalResources::setApplicationsDirectory(applications);
    LocalResources::setDesktopEntryFolders({});
    ASSERT_TRUE(LocalResources::shared().appItem("Quillfen Probe"))
        << "another test of this program created the shared instance first";

    EXPECT_EQ(SyncConfiguration::configuration("Quillfen Probe"),
              SyncConfiguration("Quillfen Probe",
                                {"Library/Preferences/com.example.QuillfenProbe.plist"}));
    EXPECT_EQ(SyncConfiguration::configuration("Hazel"), entryAt(3));
}

TEST_F(SyncConfigurationTest, CatalogPathsAreCleanSettingsPaths) {
    for (const SyncConfiguration& entry : SyncConfiguration::catalog()) {
        SCOPED_TRACE(entry.name);
        EXPECT_FALSE(entry.paths.empty());
        EXPECT_EQ(std::set<std::string>(entry.paths.begin(), entry.paths.end()).size(),
                  entry.paths.size())
            << "a path is listed twice";
        for (const std::string& path : entry.paths) {
            EXPECT_FALSE(path.empty());
            EXPECT_FALSE(path.starts_with('/')) << path;
            EXPECT_FALSE(path.ends_with('/')) << path;
            EXPECT_EQ(path.find("//"), std::string::npos) << path;
            EXPECT_EQ(path.find(".."), std::string::npos) << path;
            EXPECT_FALSE(path.starts_with(' ') || path.ends_with(' ')) << path;
        }
    }
}

TEST_F(SyncConfigurationTest, JSONRoundTripsAndDropsNotes) {
    const SyncConfiguration hazel = entryAt(3);
    const nlohmann::json json = hazel;
    EXPECT_EQ(json, nlohmann::json::parse(
                        R"({"name": "Hazel", "paths": ["Library/Application Support/Hazel",
                            "Library/Preferences/com.noodlesoft.Hazel.plist"]})"));
    EXPECT_EQ(json.get<SyncConfiguration>(), hazel);

    const auto decoded = nlohmann::json::parse(R"({"name": "N", "paths": ["# note", "a", "b"]})")
                             .get<SyncConfiguration>();
    EXPECT_EQ(decoded, SyncConfiguration("N", {"a", "b"}));
    EXPECT_EQ(nlohmann::json::parse(R"({"name": "N", "paths": []})").get<SyncConfiguration>(),
              SyncConfiguration("N", {}));
}

TEST_F(SyncConfigurationTest, JSONDecodingRefusesOtherShapes) {
    for (const char* text :
         {R"([])", R"("Hazel")", R"({"paths": []})", R"({"name": 1, "paths": []})",
          R"({"name": "N"})", R"({"name": "N", "paths": "a"})",
          R"({"name": "N", "paths": ["a", 2]})", R"({"name": "N", "paths": null})"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(nlohmann::json::parse(text).get<SyncConfiguration>(), BackupDecodingError);
    }
}

// Runs under ThreadSanitizer too: the tables are first used by several threads
// at once, each of which must see the same, complete tables.
TEST(SyncConfigurationConcurrencyTest, FirstUseFromManyThreadsBuildsEachTableOnce) {
    testing::IsolatedSettings settings;
    testsupport::TemporaryDirectory folder;
    fs::create_directories(folder / "Applications");
    const LocalResources apps(folder / "Applications");

    constexpr int kThreads = 8;
    struct Seen {
        const void* catalog = nullptr;
        const void* index = nullptr;
        const void* aliases = nullptr;
        const void* execs = nullptr;
        std::size_t entries = 0;
        SyncConfiguration photoshop;
        SyncConfiguration zsh;
    };
    std::vector<Seen> seen(kThreads);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            Seen& mine = seen[i];
            // Each thread reaches the tables in another order.
            if (i % 2 == 0) {
                mine.photoshop = SyncConfiguration::configuration("Adobe Photoshop CC", apps);
                mine.catalog = &SyncConfiguration::catalog();
            } else {
                mine.catalog = &SyncConfiguration::catalog();
                mine.photoshop = SyncConfiguration::configuration("Adobe Photoshop CC", apps);
            }
            mine.index = &SyncConfiguration::catalogByName();
            mine.aliases = &SyncConfiguration::nameAliases();
            mine.execs = &SyncConfiguration::execNames();
            mine.entries = SyncConfiguration::catalog().size();
            mine.zsh = SyncConfiguration::configuration("Zsh", apps);
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    for (const Seen& mine : seen) {
        EXPECT_EQ(mine.catalog, seen.front().catalog);
        EXPECT_EQ(mine.index, seen.front().index);
        EXPECT_EQ(mine.aliases, seen.front().aliases);
        EXPECT_EQ(mine.execs, seen.front().execs);
        EXPECT_EQ(mine.entries, 489u);
        EXPECT_EQ(mine.photoshop, entryAt(333));
        EXPECT_EQ(mine.zsh, entryAt(487));
    }
}

}  // namespace
}  // namespace quillfen
