#include "local/LocalResources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "keel/NoteSubscriber.h"
#include "keel/UserSettings.h"
#include "support/FakeBundles.h"
#include "support/IsolatedSettings.h"

namespace quillfen {
namespace {

using testing::makeBundle;
using testsupport::writeFile;
namespace fs = std::filesystem;

std::string infoWithIdentifier(const std::string& identifier) {
    return testing::xmlPlist("<key>CFBundleIdentifier</key><string>" + identifier + "</string>\n");
}

class LocalResourcesTest : public ::testing::Test {
protected:
    testing::IsolatedSettings settings;
    testsupport::TemporaryDirectory folder;
    fs::path applications = folder / "Applications";

    void SetUp() override { fs::create_directories(applications); }

    static std::vector<std::string> sortedNames(const LocalResources& resources) {
        std::vector<std::string> names = resources.appNames();
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(LocalResourcesTest, FindsApplicationsInOrdinaryFoldersOnly) {
    makeBundle(applications / "Safari.app", infoWithIdentifier("com.apple.Safari"));
    makeBundle(applications / "Utilities" / "Terminal.app",
               infoWithIdentifier("com.apple.Terminal"));
    makeBundle(applications / "Deep" / "Er" / "Buried.app");
    makeBundle(applications / "Shouting.APP");
    // Nested in bundles of any kind, whatever the case of their extension.
    makeBundle(applications / "Xcode.app" / "Contents" / "Applications" / "Instruments.app");
    makeBundle(applications / "Tools.bundle" / "Inner.app");
    makeBundle(applications / "Audio.Component" / "Contents" / "Helper.app");
    // Hidden entries and what lies in them; links to folders.
    makeBundle(applications / ".Ghost.app");
    makeBundle(applications / ".hidden" / "Secret.app");
    makeBundle(folder / "Elsewhere" / "Remote.app");
    fs::create_directory_symlink(folder / "Elsewhere", applications / "Linked");
    writeFile(applications / "Readme.txt", "read me");

    LocalResources resources(applications);

    EXPECT_EQ(sortedNames(resources),
              (std::vector<std::string>{"Buried", "Safari", "Shouting", "Terminal", "Xcode"}));
    EXPECT_EQ(resources.appItems().size(), 5u);
    ASSERT_TRUE(resources.appItem("Terminal"));
    EXPECT_EQ(resources.appItem("Terminal")->bundleURL,
              applications / "Utilities" / "Terminal.app");
    EXPECT_EQ(resources.appItem("Terminal")->identifier, "com.apple.Terminal");
    EXPECT_EQ(resources.appItem("Safari.app"), std::nullopt);

    EXPECT_TRUE(LocalResources(folder / "NoSuchFolder").appItems().empty());
    EXPECT_TRUE(LocalResources(applications / "Readme.txt").appItems().empty());
}

TEST_F(LocalResourcesTest, OfTwoBundlesWithOneNameTheOneEnumeratedLastWins) {
    // Byte order of the names at each level, each folder before its contents:
    // "Dup.app" < "Zeta" < "alpha".
    makeBundle(applications / "Dup.app", infoWithIdentifier("root"));
    makeBundle(applications / "alpha" / "Dup.app", infoWithIdentifier("alpha"));
    makeBundle(applications / "Zeta" / "Dup.app", infoWithIdentifier("zeta"));

    LocalResources resources(applications);

    ASSERT_EQ(resources.appItems().size(), 1u);
    EXPECT_EQ(resources.appItem("Dup")->identifier, "alpha");
}

TEST_F(LocalResourcesTest, ReloadingKeepsKnownItemsAndFollowsTheDisk) {
    makeBundle(applications / "Kept.app", infoWithIdentifier("com.example.old"));
    makeBundle(applications / "Removed.app");
    LocalResources resources(applications);
    EXPECT_EQ(resources.appNamesInFinderOrder(), (std::vector<std::string>{"Kept", "Removed"}));

    makeBundle(applications / "Kept.app", infoWithIdentifier("com.example.new"));
    fs::remove_all(applications / "Removed.app");
    makeBundle(applications / "Added.app", infoWithIdentifier("com.example.added"));
    resources.loadAppItems();

    EXPECT_EQ(sortedNames(resources), (std::vector<std::string>{"Added", "Kept"}));
    // The names kept in Finder order follow the new scan too.
    EXPECT_EQ(resources.appNamesInFinderOrder(), (std::vector<std::string>{"Added", "Kept"}));
    EXPECT_EQ(resources.appItem("Kept")->identifier, "com.example.old");
    EXPECT_EQ(resources.appItem("Added")->identifier, "com.example.added");
}

TEST_F(LocalResourcesTest, EveryAssignmentIsAnnouncedOnceBeforeAndOnceAfter) {
    // Each notification with its sender and the list stored when it was posted.
    std::vector<std::tuple<std::string, const void*, std::vector<fs::path>>> seen;
    LocalResources* observed = nullptr;
    keel::NoteSubscriber subscriber;
    subscriber.subscribe(
        {LocalResources::willUpdateListNotification, LocalResources::didUpdateListNotification},
        nullptr, [&](const keel::Notification& note) {
            seen.emplace_back(note.name, note.object,
                              observed ? observed->excludedFileURLs() : std::vector<fs::path>{});
        });
    const auto& will = LocalResources::willUpdateListNotification;
    const auto& did = LocalResources::didUpdateListNotification;
    auto names = [&] {
        std::vector<std::string> result;
        for (const auto& entry : seen)
            result.push_back(std::get<0>(entry));
        return result;
    };

    LocalResources resources(applications);
    EXPECT_EQ(names(), (std::vector<std::string>{will, did}));  // the stored list, at creation
    for (const auto& entry : seen)
        EXPECT_EQ(std::get<1>(entry), &resources);

    seen.clear();
    observed = &resources;
    const std::vector<fs::path> list = {"/home/me/Documents", "/home/me/Music"};
    resources.setExcludedFileURLs(list);
    ASSERT_EQ(names(), (std::vector<std::string>{will, did}));
    EXPECT_TRUE(std::get<2>(seen[0]).empty());  // not stored yet
    EXPECT_EQ(std::get<2>(seen[1]), list);      // stored

    seen.clear();
    resources.setExcludedFileURLs(list);  // the same list again is still an assignment
    resources.sortExcludedFileURLs();
    resources.saveExcludedFileURLs();  // saving assigns nothing
    EXPECT_EQ(names(), (std::vector<std::string>{will, did, will, did}));
}

TEST_F(LocalResourcesTest, IsExcludedMeansInsideAnExcludedLocation) {
    LocalResources resources(applications);
    for (const fs::path probe : {"/", "/a", "/a/b", "/home/me/Documents/x.txt"}) {
        EXPECT_FALSE(resources.isExcluded(probe)) << probe;
    }
    resources.setExcludedFileURLs({"/a", "/home/me/Documents/", ""});
    const std::vector<std::pair<fs::path, bool>> cases = {
        {"/a/b/c.txt", true},
        {"/a", true},
        {"/ab", false},
        {"/", false},
        {"/home/me/Documents/Letters/x.txt", true},
        {"/home/me/DocumentsOld/x.txt", false},
        {fs::current_path() / "file", false},  // the empty entry names no location
    };
    for (const auto& [url, expected] : cases)
        EXPECT_EQ(resources.isExcluded(url), expected) << url;
}

TEST_F(LocalResourcesTest, TheListIsSortedAndKeptInTheSettingsOnlyWhenSaved) {
    {
        LocalResources resources(applications);
        EXPECT_TRUE(resources.excludedFileURLs().empty());
        // Adding the same location twice keeps both entries.
        resources.setExcludedFileURLs({"/me/file10", "/me/file2", "/me/b", "/me/a/z", "/me/b"});
        resources.sortExcludedFileURLs();
        resources.saveExcludedFileURLs();
        resources.setExcludedFileURLs({"/not/saved"});
    }
    keel::UserSettings::standard().setFileURL(settings.settingsFileURL());  // re-read from disk
    EXPECT_EQ(LocalResources(applications).excludedFileURLs(),
              (std::vector<fs::path>{"/me/a/z", "/me/b", "/me/b", "/me/file2", "/me/file10"}));
}

TEST_F(LocalResourcesTest, ASaveThatCannotBeWrittenIsReported) {
    writeFile(folder / "blocker", "a file where a folder should be");
    keel::UserSettings::standard().setFileURL(folder / "blocker" / "settings.json");
    LocalResources resources(applications);
    resources.setExcludedFileURLs({"/home/me/Documents"});
    EXPECT_THROW(resources.saveExcludedFileURLs(), std::filesystem::filesystem_error);
}

}  // namespace
}  // namespace quillfen
