#include "local/LocalResources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "LocalTestHelpers.h"
#include "keel/NoteSubscriber.h"
#include "keel/UserSettings.h"

namespace quillfen {
namespace {

using testing::makeBundle;
using testing::xmlPlist;
using testsupport::TemporaryDirectory;
using testsupport::writeFile;
namespace fs = std::filesystem;

std::string infoWithIdentifier(const std::string& identifier) {
    return xmlPlist("<key>CFBundleIdentifier</key><string>" + identifier + "</string>\n");
}

class LocalResourcesTest : public ::testing::Test {
protected:
    testing::IsolatedSettings settings;
    TemporaryDirectory folder;
    fs::path applications = folder.path() / "Applications";

    void SetUp() override { fs::create_directories(applications); }

    std::vector<std::string> sortedNames(const LocalResources& resources) {
        std::vector<std::string> names = resources.appNames();
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(LocalResourcesTest, FindsApplicationsInOrdinaryFoldersOnly) {
    makeBundle(applications / "Safari.app", infoWithIdentifier("com.apple.Safari"));
    makeBundle(applications / "Utilities" / "Terminal.app",
               infoWithIdentifier("com.apple.Terminal"));
    makeBundle(applications / "Deep" / "Er" / "Est" / "Buried.app");
    makeBundle(applications / "Shouting.APP", infoWithIdentifier("com.example.Shouting"));
    makeBundle(applications / "Camel.App");
    // Nested in bundles of any kind, whatever the case of their extension.
    makeBundle(applications / "Xcode.app" / "Contents" / "Applications" / "Instruments.app");
    makeBundle(applications / "Tools.bundle" / "Inner.app");
    makeBundle(applications / "Audio.Component" / "Contents" / "Helper.app");
    // Hidden entries and what lies in them.
    makeBundle(applications / ".Ghost.app");
    makeBundle(applications / ".hidden" / "Secret.app");
    // Links to folders are not followed.
    makeBundle(folder.path() / "Elsewhere" / "Remote.app");
    fs::create_directory_symlink(folder.path() / "Elsewhere", applications / "Linked");
    // Files that are not bundles.
    writeFile(applications / "Readme.txt", "read me");
    writeFile(applications / "Utilities" / "app", "no extension");

    LocalResources resources(applications);

    EXPECT_EQ(sortedNames(resources), (std::vector<std::string>{"Buried", "Camel", "Safari",
                                                                "Shouting", "Terminal", "Xcode"}));
    EXPECT_EQ(resources.appItems().size(), 6u);
    ASSERT_TRUE(resources.appItem("Terminal"));
    EXPECT_EQ(resources.appItem("Terminal")->bundleURL,
              applications / "Utilities" / "Terminal.app");
    EXPECT_EQ(resources.appItem("Terminal")->identifier, "com.apple.Terminal");
    EXPECT_EQ(resources.appItem("Shouting")->identifier, "com.example.Shouting");
    EXPECT_EQ(resources.appItem("Instruments"), std::nullopt);
    EXPECT_EQ(resources.appItem("Safari.app"), std::nullopt);
}

TEST_F(LocalResourcesTest, OfTwoBundlesWithOneNameTheOneEnumeratedLastWins) {
    // Entries are enumerated in byte order of their names at each level, each
    // folder before its contents: "Dup.app" < "Zeta" < "alpha".
    makeBundle(applications / "Dup.app", infoWithIdentifier("root"));
    makeBundle(applications / "alpha" / "Dup.app", infoWithIdentifier("alpha"));
    makeBundle(applications / "Zeta" / "Dup.app", infoWithIdentifier("zeta"));

    LocalResources resources(applications);

    ASSERT_EQ(resources.appItems().size(), 1u);
    EXPECT_EQ(resources.appItem("Dup")->bundleURL, applications / "alpha" / "Dup.app");
    EXPECT_EQ(resources.appItem("Dup")->identifier, "alpha");
}

TEST_F(LocalResourcesTest, AFolderThatCannotBeListedYieldsNoApplications) {
    LocalResources missing(folder.path() / "NoSuchFolder");
    EXPECT_TRUE(missing.appItems().empty());
    EXPECT_TRUE(missing.appNames().empty());

    writeFile(folder.path() / "AFile", "x");
    LocalResources notAFolder(folder.path() / "AFile");
    EXPECT_TRUE(notAFolder.appItems().empty());
}

TEST_F(LocalResourcesTest, ReloadingKeepsKnownItemsAndFollowsTheDisk) {
    makeBundle(applications / "Kept.app", infoWithIdentifier("com.example.old"));
    makeBundle(applications / "Removed.app");
    LocalResources resources(applications);

    makeBundle(applications / "Kept.app", infoWithIdentifier("com.example.new"));
    fs::remove_all(applications / "Removed.app");
    makeBundle(applications / "Added.app", infoWithIdentifier("com.example.added"));
    resources.loadAppItems();

    EXPECT_EQ(sortedNames(resources), (std::vector<std::string>{"Added", "Kept"}));
    EXPECT_EQ(resources.appItem("Kept")->identifier, "com.example.old");
    EXPECT_EQ(resources.appItem("Added")->identifier, "com.example.added");
}

// Records the list notifications in the order they arrive, with the list as
// it stood when each was posted.
struct ListNotifications {
    struct Entry {
        std::string name;
        const void* object;
        std::vector<fs::path> listSeen;
    };
    std::vector<Entry> entries;
    keel::NoteSubscriber subscriber;
    LocalResources* resources = nullptr;

    ListNotifications() {
        subscriber.subscribe(
            {LocalResources::willUpdateListNotification, LocalResources::didUpdateListNotification},
            nullptr, [this](const keel::Notification& note) {
                std::vector<fs::path> list;
                if (resources) list = resources->excludedFileURLs();
                entries.push_back({note.name, note.object, std::move(list)});
            });
    }
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& entry : entries)
            result.push_back(entry.name);
        return result;
    }
};

TEST_F(LocalResourcesTest, EveryAssignmentIsAnnouncedOnceBeforeAndOnceAfter) {
    const std::vector<std::string> onePair = {LocalResources::willUpdateListNotification,
                                              LocalResources::didUpdateListNotification};
    ListNotifications notifications;
    LocalResources resources(applications);
    EXPECT_EQ(notifications.names(), onePair);  // the stored list, read at creation
    for (const auto& entry : notifications.entries)
        EXPECT_EQ(entry.object, &resources);

    notifications.entries.clear();
    notifications.resources = &resources;
    const std::vector<fs::path> list = {"/home/me/Documents", "/home/me/Music"};
    resources.setExcludedFileURLs(list);
    EXPECT_EQ(notifications.names(), onePair);
    EXPECT_TRUE(notifications.entries.at(0).listSeen.empty());  // not stored yet
    EXPECT_EQ(notifications.entries.at(1).listSeen, list);      // stored
    EXPECT_EQ(notifications.entries.at(1).object, &resources);

    notifications.entries.clear();
    resources.setExcludedFileURLs(list);  // the same list again is still an assignment
    resources.sortExcludedFileURLs();
    resources.saveExcludedFileURLs();  // saving assigns nothing
    EXPECT_EQ(notifications.names(),
              (std::vector<std::string>{onePair[0], onePair[1], onePair[0], onePair[1]}));
}

TEST_F(LocalResourcesTest, IsExcludedMeansInsideAnExcludedLocation) {
    LocalResources resources(applications);
    const std::vector<fs::path> probes = {"/", "/a", "/a/b", "/ab", "/home/me/Documents/x.txt"};
    for (const auto& probe : probes)
        EXPECT_FALSE(resources.isExcluded(probe)) << probe;

    resources.setExcludedFileURLs({"/a", "/home/me/Documents/", ""});
    const std::vector<std::pair<fs::path, bool>> cases = {
        {"/a/b", true},
        {"/a/b/c.txt", true},
        {"/a", true},
        {"/ab", false},
        {"/b/a", false},
        {"/", false},
        {"/home/me/Documents/Letters/x.txt", true},
        {"/home/me/Documents", true},
        {"/home/me/DocumentsOld/x.txt", false},
        {fs::current_path() / "file", false},  // the empty entry names no location
    };
    for (const auto& [url, expected] : cases) {
        EXPECT_EQ(resources.isExcluded(url), expected) << url;
    }
}

TEST_F(LocalResourcesTest, TheListIsKeptThroughTheSettingsOnlyWhenSaved) {
    {
        LocalResources resources(applications);
        EXPECT_TRUE(resources.excludedFileURLs().empty());
        // Adding the same location twice keeps both entries.
        resources.setExcludedFileURLs({"/home/me/b", "/home/me/a", "/home/me/b"});
        resources.saveExcludedFileURLs();
        resources.setExcludedFileURLs({"/not/saved"});
    }
    keel::UserSettings::standard().setFileURL(settings.settingsFileURL());  // re-read from disk
    LocalResources reloaded(applications);
    EXPECT_EQ(reloaded.excludedFileURLs(),
              (std::vector<fs::path>{"/home/me/b", "/home/me/a", "/home/me/b"}));
    EXPECT_EQ(keel::UserSettings::standard().get(LocalResources::localExcludeFileURLsKey),
              reloaded.excludedFileURLs());
}

TEST_F(LocalResourcesTest, SortingPutsThePathsInFinderOrder) {
    LocalResources resources(applications);
    resources.setExcludedFileURLs(
        {"/home/me/file10", "/home/me/file2", "/home/me/b", "/home/me/a/z", "/home/me/file10"});
    resources.sortExcludedFileURLs();
    EXPECT_EQ(resources.excludedFileURLs(),
              (std::vector<fs::path>{"/home/me/a/z", "/home/me/b", "/home/me/file2",
                                     "/home/me/file10", "/home/me/file10"}));
}

TEST_F(LocalResourcesTest, ASaveThatCannotBeWrittenIsReported) {
    writeFile(folder.path() / "blocker", "a file where a folder should be");
    keel::UserSettings::standard().setFileURL(folder.path() / "blocker" / "settings.json");
    LocalResources resources(applications);
    resources.setExcludedFileURLs({"/home/me/Documents"});
    EXPECT_THROW(resources.saveExcludedFileURLs(), std::filesystem::filesystem_error);
}

}  // namespace
}  // namespace quillfen
