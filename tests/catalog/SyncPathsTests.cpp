#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "catalog/SyncConfiguration.h"
#include "catalog/SyncPathsFinder.h"
#include "keel/UserSettings.h"
#include "local/LocalResources.h"
#include "local/PathConverter.h"
#include "support/IsolatedSettings.h"
#include "support/TestSupport.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

// An application bundle whose Info.plist declares `identifier` (when not
// empty) and the iCloud containers `containers`.
void makeApp(const fs::path& url, const std::string& identifier, const Paths& containers) {
    std::string body;
    if (!identifier.empty())
        body += "<key>CFBundleIdentifier</key><string>" + identifier + "</string>\n";
    body += "<key>NSUbiquitousContainers</key><dict>\n";
    for (const auto& container : containers)
        body += "<key>" + container + "</key><dict><key>NSUbiquitousContainerName</key>" +
                "<string>x</string></dict>\n";
    body += "</dict>\n";
    testsupport::writeFile(url / "Contents" / "Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                           "<plist version=\"1.0\"><dict>\n" +
                               body + "</dict></plist>\n");
}

class SyncPathsTest : public ::testing::Test {
protected:
    SyncPathsTest() : base(temp_.path()), home(temp_.home()) {
        fs::create_directories(temp_ / "Applications");
    }

    fs::path applications() const { return temp_ / "Applications"; }
    static Paths catalogPaths(const std::string& name) {
        const auto& byName = SyncConfiguration::catalogByName();
        const auto entry = byName.find(name);
        return entry == byName.end() ? Paths{} : entry->second.paths;
    }

    testing::IsolatedSettings temp_;
    // The temporary folder as the system names it, links resolved.
    const fs::path base;
    const fs::path home;

private:
};

TEST_F(SyncPathsTest, SettingsPathsRoundTripWhateverTheHomeFolderLooksLike) {
    const Paths paths = {
        "",
        ".trc",
        ".config/robomongo",
        "Library/Application Support/Hazel",
        "Library/Containers/com.example/Data/.config/x",
        "dir with spaces/caf\xC3\xA9.plist",
        "folder/",
        "a//b",
        "./a",
        "../sibling/file",
        "/",
        "/etc/hosts",
        "/tmp/elsewhere/",
        // Shares the home folder's name as a prefix, yet lies outside it.
        home.string() + "Other/file",
    };
    for (const std::string& spelling : {home.string(), home.string() + "/", home.string() + "//"}) {
        testsupport::ScopedEnv homeSpelling("HOME", spelling);
        for (const auto& path : paths) {
            SCOPED_TRACE("HOME=" + spelling + " path=" + path);
            EXPECT_EQ(PathConverter::path(PathConverter::url(path)), path);
        }
        EXPECT_EQ(PathConverter::url(".config/robomongo"), home / ".config" / "robomongo");
        EXPECT_EQ(PathConverter::url("/etc/hosts"), fs::path("/etc/hosts"));
        EXPECT_EQ(PathConverter::path(home), "");
        EXPECT_EQ(PathConverter::path(home.string() + "/"), "");
        EXPECT_EQ(PathConverter::path(home / "Library" / "Preferences"), "Library/Preferences");
        EXPECT_EQ(PathConverter::path("/etc/hosts"), "/etc/hosts");
    }
}

TEST_F(SyncPathsTest, ResolvedURLFollowsLinksAtTheLastComponent) {
    testsupport::writeFile(home / "real" / "settings.conf", "x");
    testsupport::writeFile(base / "outside" / "deep" / "file", "x");
    fs::create_directories(home / "sub");
    fs::create_directories(base / "outside" / "deep" / "dir");

    fs::create_symlink(home / "real", home / "absolute");
    // A chain of relative links, each relative to its own folder.
    fs::create_symlink("sub/hop", home / "first");
    fs::create_symlink("../real/", home / "sub" / "hop");
    fs::create_symlink(base / "outside" / "deep" / "dir", home / "linkedDir");
    // ".." after a linked folder: the system reads it in the linked-to folder.
    fs::create_symlink("../file", base / "outside" / "deep" / "dir" / "up");
    // The same, where the folder ".." names by hand holds a decoy of that name.
    testsupport::writeFile(base / "outside" / "deep" / "decoy", "real");
    testsupport::writeFile(home / "decoy", "decoy");
    fs::create_symlink("../decoy", base / "outside" / "deep" / "dir" / "upToDecoy");
    fs::create_symlink(home / "missing", home / "dangling");
    fs::create_symlink("loopB", home / "loopA");
    fs::create_symlink("loopA", home / "loopB");

    struct Case {
        fs::path url;
        fs::path expected;
    };
    const std::vector<Case> cases = {
        {home / "real", home / "real"},
        {home / "real" / "settings.conf", home / "real" / "settings.conf"},
        {home / "nothing", home / "nothing"},
        {home / "absolute", home / "real"},
        {home / "first", home / "real"},
        {home / "linkedDir" / "up", base / "outside" / "deep" / "file"},
        {home / "linkedDir" / "upToDecoy", base / "outside" / "deep" / "decoy"},
        // Only the last component counts: a file inside a linked folder stays.
        {home / "absolute" / "settings.conf", home / "absolute" / "settings.conf"},
        {home / "dangling", home / "dangling"},
        {home / "loopA", home / "loopA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url.string());
        EXPECT_EQ(PathConverter::resolvedURL(c.url), c.expected);
    }

    EXPECT_EQ(PathConverter::normalizedPaths(
                  {"real", "absolute", "first", "dangling", "nothing", "linkedDir/up"}),
              (std::set<std::string>{"real", "dangling", "nothing",
                                     (base / "outside" / "deep" / "file").string()}));
}

TEST_F(SyncPathsTest, InstalledAppGetsContainerPathsSorted) {
    makeApp(applications() / "Hazel.app", "com.noodlesoft.Hazel", {"group.z", "group.a"});
    const LocalResources installed(applications());
    const Paths catalog = catalogPaths("Hazel");
    ASSERT_FALSE(catalog.empty());

    Paths expected = catalog;
    for (const auto& path : catalog)
        expected.push_back("Library/Containers/com.noodlesoft.Hazel/Data/" + path);
    expected.push_back("Library/Group Containers/group.a");
    expected.push_back("Library/Group Containers/group.z");
    std::sort(expected.begin(), expected.end());

    const SyncPathsFinder finder = SyncPathsFinder::forApp("Hazel", installed);
    EXPECT_EQ(finder.identifier, "Hazel");
    EXPECT_EQ(finder.paths, expected);

    const LocalResources none(temp_ / "NoApplications");
    Paths sortedCatalog = catalog;
    std::sort(sortedCatalog.begin(), sortedCatalog.end());
    EXPECT_EQ(SyncPathsFinder::forApp("Hazel", none).paths, sortedCatalog);
}

TEST_F(SyncPathsTest, AppPathsAreSortedByCodePointAndWithoutDuplicates) {
    // Upper case before lower case, "." before letters, and a link to another
    // catalog path collapses into it.
    makeApp(applications() / "Hazel.app", "", {"b", "B", ".hidden", "b"});
    const LocalResources installed(applications());
    testsupport::writeFile(home / "Library" / "Preferences" / "com.noodlesoft.Hazel.plist", "x");
    fs::create_directories(home / "Library" / "Application Support");
    fs::create_symlink(home / "Library" / "Preferences" / "com.noodlesoft.Hazel.plist",
                       home / "Library" / "Application Support" / "Hazel");

    EXPECT_EQ(
        SyncPathsFinder::forApp("Hazel", installed).paths,
        (Paths{"Library/Group Containers/.hidden", "Library/Group Containers/B",
               "Library/Group Containers/b", "Library/Preferences/com.noodlesoft.Hazel.plist"}));
}

TEST_F(SyncPathsTest, LinkedCatalogPathIsReplacedByItsTarget) {
    fs::create_directories(home / "Dropbox" / "Hazel");
    fs::create_directories(home / "Library" / "Application Support");
    fs::create_symlink("../../Dropbox/Hazel", home / "Library" / "Application Support" / "Hazel");
    testsupport::writeFile(base / "external" / "com.noodlesoft.Hazel.plist", "x");
    fs::create_directories(home / "Library" / "Preferences");
    fs::create_symlink(base / "external" / "com.noodlesoft.Hazel.plist",
                       home / "Library" / "Preferences" / "com.noodlesoft.Hazel.plist");

    const LocalResources none(temp_ / "NoApplications");
    EXPECT_EQ(
        SyncPathsFinder::forApp("Hazel", none).paths,
        (Paths{(base / "external" / "com.noodlesoft.Hazel.plist").string(), "Dropbox/Hazel"}));
}

TEST_F(SyncPathsTest, ContainerNamesThatLeaveTheirFolderAreIgnored) {
    makeApp(applications() / "Hazel.app", "..", {"..", ".", "good"});
    makeApp(applications() / "Robomongo.app", "a/../../..", {});
    const LocalResources installed(applications());
    Paths hazel = catalogPaths("Hazel");
    hazel.push_back("Library/Group Containers/good");
    std::sort(hazel.begin(), hazel.end());
    EXPECT_EQ(SyncPathsFinder::forApp("Hazel", installed).paths, hazel);
    EXPECT_EQ(SyncPathsFinder::forApp("Robomongo", installed).paths, catalogPaths("Robomongo"));
}

TEST_F(SyncPathsTest, AliasNamesKeepTheirOwnIdentifier) {
    const LocalResources none(temp_ / "NoApplications");
    Paths photoshop = catalogPaths("Adobe Photoshop");
    ASSERT_FALSE(photoshop.empty());
    std::sort(photoshop.begin(), photoshop.end());
    const SyncPathsFinder finder = SyncPathsFinder::forApp("Adobe Photoshop CC 2018", none);
    EXPECT_EQ(finder.identifier, "Adobe Photoshop CC 2018");
    EXPECT_EQ(finder.paths, photoshop);

    EXPECT_EQ(SyncPathsFinder::forApp("Not In The Catalog", none),
              (SyncPathsFinder{"Not In The Catalog", {}}));
}

TEST_F(SyncPathsTest, ExecutableKeepsCatalogPathsAsListed) {
    // A link among them is not followed either.
    fs::create_directories(home / "elsewhere");
    fs::create_symlink(home / "elsewhere", home / ".emacs.d");
    const LocalResources none(temp_ / "NoApplications");
    const Paths emacs = catalogPaths("emacs");
    ASSERT_FALSE(std::is_sorted(emacs.begin(), emacs.end()));
    EXPECT_EQ(SyncPathsFinder::forExec("emacs", none), (SyncPathsFinder{"emacs", emacs}));
}

TEST_F(SyncPathsTest, CustomFileIsItsOwnPath) {
    for (const std::string path : {"/etc/hosts", ".bashrc", "Library/Link To Somewhere"}) {
        EXPECT_EQ(SyncPathsFinder::forFile(path), (SyncPathsFinder{path, {path}}));
    }
}

}  // namespace
}  // namespace quillfen
