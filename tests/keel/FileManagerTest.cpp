#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "keel/FileManager.h"
#include "keel/JSON.h"
#include "support/TestSupport.h"

using keel::FileManager;
using namespace testsupport;

namespace {

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(FileManagerTest, ContentExistsTellsFilesFoldersLinksAndNothing) {
    TemporaryDirectory dir;
    writeFile(dir / "file", "x");
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "folder", dir / "link-to-folder");
    fs::create_symlink(dir / "missing", dir / "dangling");
    struct Case {
        const char* name;
        bool exists, isDirectory;
    } cases[] = {{"file", true, false},
                 {"folder", true, true},
                 {"link-to-folder", true, false},
                 {"dangling", true, false},
                 {"nothing", false, false}};
    for (const auto& c : cases) {
        auto result = FileManager::contentExists(dir / c.name);
        EXPECT_EQ(result.exists, c.exists) << c.name;
        EXPECT_EQ(result.isDirectory, c.isDirectory) << c.name;
    }
}

TEST(FileManagerTest, OverwritingCopyOfAFolderKeepsContentsModesDatesAndLinks) {
    TemporaryDirectory dir;
    const fs::path source = dir / "source";
    writeFile(source / "a.txt", "alpha");
    writeFile(source / "sub" / "b.txt", "beta");
    fs::create_symlink("a.txt", source / "link");
    fs::permissions(source / "a.txt", fs::perms(0640));
    fs::permissions(source / "sub", fs::perms(0750));
    setModifyDate(source / "a.txt", 1600000000, 123456789);
    setModifyDate(source / "sub" / "b.txt", 1500000000, 5);
    setModifyDate(source / "sub", 1400000000, 0);
    // The destination holds something else, which must be replaced whole.
    writeFile(dir / "dest" / "stale.txt", "old");

    FileManager::overwritingCopy(source, dir / "dest");

    EXPECT_EQ(namesIn(dir / "dest"), (std::vector<std::string>{"a.txt", "link", "sub"}));
    EXPECT_EQ(readFile(dir / "dest" / "a.txt"), "alpha");
    EXPECT_EQ(readFile(dir / "dest" / "sub" / "b.txt"), "beta");
    EXPECT_EQ(modeOf(dir / "dest" / "a.txt"), 0640u);
    EXPECT_EQ(modeOf(dir / "dest" / "sub"), 0750u);
    EXPECT_TRUE(fs::is_symlink(dir / "dest" / "link"));
    EXPECT_EQ(fs::read_symlink(dir / "dest" / "link"), "a.txt");
    for (const char* item : {"a.txt", "sub/b.txt", "sub"})
        EXPECT_EQ(FileManager::modifyDateForFile(dir / "dest" / item),
                  FileManager::modifyDateForFile(source / item))
            << item;
    // No temporary sibling is left behind.
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"dest", "source"}));
}

// A folder's age is its newest entry's: an edit in place deep inside leaves
// the folder's own date alone. What the user excludes counts for nothing.
TEST(FileManagerTest, NewestModifyDateLooksEverywhereButWhereItIsTold) {
    TemporaryDirectory dir;
    const fs::path folder = dir / "folder";
    writeFile(folder / "a", "a");
    writeFile(folder / "sub" / "deep" / "b", "b");
    writeFile(folder / "secret" / "token", "t");
    fs::create_symlink(dir / "elsewhere", folder / "link");
    setModifyDate(folder / "a", 1'600'000'100);
    setModifyDate(folder / "sub" / "deep" / "b", 1'600'000'300);
    setModifyDate(folder / "secret" / "token", 1'600'000'900);
    setModifyDate(folder / "link", 1'600'000'050);
    for (const char* inner : {"sub/deep", "sub", "secret", ""})
        setModifyDate(folder / inner, 1'600'000'000);
    const auto at = [](time_t seconds) { return keel::Date::fromTimespec({seconds, 0}); };

    EXPECT_EQ(FileManager::newestModifyDate(folder), at(1'600'000'900));
    EXPECT_EQ(FileManager::newestModifyDate(folder, {"secret"}), at(1'600'000'300));
    EXPECT_EQ(FileManager::newestModifyDate(folder, {"secret/", "sub/deep/b"}), at(1'600'000'100));
    EXPECT_EQ(FileManager::newestModifyDate(folder / "a"), at(1'600'000'100));
    EXPECT_EQ(FileManager::newestModifyDate(dir / "missing"), std::nullopt);

    // A copy finds the same date, and can carry it on the folder itself.
    keel::CopyOptions options;
    options.leftOut = {"secret"};
    options.datesFolderByNewest = true;
    EXPECT_EQ(FileManager::overwritingCopy(folder, dir / "copy", options), at(1'600'000'300));
    EXPECT_FALSE(fs::exists(dir / "copy" / "secret"));
    EXPECT_EQ(FileManager::modifyDateForFile(dir / "copy"), at(1'600'000'300));
    EXPECT_EQ(FileManager::modifyDateForFile(dir / "copy" / "sub"), at(1'600'000'000));
}

// An install keeps what the user excluded inside a folder: the local version
// goes into the new one (sharing its files), the copy's version of it does
// not, and no folder of the new version changes its date for it.
TEST(FileManagerTest, OverwritingCopyKeepsTheDestinationsExcludedEntries) {
    TemporaryDirectory dir;
    writeFile(dir / "source" / "a", "new a");
    writeFile(dir / "source" / "secret" / "theirs", "from the copy");
    writeFile(dir / "source" / "sub" / "b", "new b");
    setModifyDate(dir / "source" / "sub", 1'600'000'000);
    writeFile(dir / "dest" / "a", "old a");
    writeFile(dir / "dest" / "secret" / "token", "mine");
    writeFile(dir / "dest" / "sub" / "deep" / "key", "mine too");
    fs::permissions(dir / "dest" / "sub" / "deep", fs::perms(0700));
    writeFile(dir / "dest" / "gone" / "x", "x");

    keel::CopyOptions options;
    options.keptInDestination = {"secret", "sub/deep/key", "missing", "gone/x/y"};
    FileManager::overwritingCopy(dir / "source", dir / "dest", options);
    EXPECT_EQ(readFile(dir / "dest" / "a"), "new a");
    EXPECT_EQ(namesIn(dir / "dest" / "secret"), std::vector<std::string>{"token"});
    EXPECT_EQ(readFile(dir / "dest" / "secret" / "token"), "mine");
    EXPECT_EQ(readFile(dir / "dest" / "sub" / "deep" / "key"), "mine too");
    EXPECT_EQ(modeOf(dir / "dest" / "sub" / "deep"), 0700u);
    EXPECT_EQ(readFile(dir / "dest" / "sub" / "b"), "new b");
    EXPECT_EQ(FileManager::modifyDateForFile(dir / "dest" / "sub"),
              keel::Date::fromTimespec({1'600'000'000, 0}));
    EXPECT_FALSE(fs::exists(dir / "dest" / "gone"));
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"dest", "source"}));

    // Where nothing was, the copy's version of an excluded entry is dropped.
    options.keptInDestination = {"secret"};
    FileManager::overwritingCopy(dir / "source", dir / "fresh", options);
    EXPECT_FALSE(fs::exists(dir / "fresh" / "secret"));
    EXPECT_EQ(readFile(dir / "fresh" / "a"), "new a");
}

TEST(FileManagerTest, OverwritingCopyReplacesAFileByAFolderAndBack) {
    TemporaryDirectory dir;
    writeFile(dir / "file", "content");
    writeFile(dir / "folder" / "inside", "in");
    FileManager::overwritingCopy(dir / "folder", dir / "target");
    writeFile(dir / "target2", "old");
    FileManager::overwritingCopy(dir / "folder", dir / "target2");
    EXPECT_EQ(readFile(dir / "target2" / "inside"), "in");
    FileManager::overwritingCopy(dir / "file", dir / "target2");
    EXPECT_EQ(readFile(dir / "target2"), "content");
}

TEST(FileManagerTest, FailedCopyLeavesTheOldDestinationAndNoLeftovers) {
    TemporaryDirectory dir;
    // A source tree whose deepest path fits the system's limit only under the
    // short source name: copying it under the temporary name (47 bytes)
    // fails part-way, whoever runs the test.
    const std::string longName(200, 'd');
    fs::path deepest = dir / "s";
    constexpr std::size_t kDeepestLength = 4070;  // the limit is 4095
    // Components of 200 bytes, then one of what is left (never over 255).
    std::size_t left = kDeepestLength - deepest.string().size() - 2;
    for (; left > 256; left -= 201)
        deepest /= std::string(200, 'n');
    deepest /= std::string(left - 1, 'n');
    ASSERT_EQ((deepest / "f").string().size(), kDeepestLength);
    writeFile(dir / "s" / "first", "new");
    writeFile(deepest / "f", "deep");
    writeFile(dir / longName / "old", "old");

    EXPECT_THROW(FileManager::overwritingCopy(dir / "s", dir / longName), fs::filesystem_error);
    EXPECT_EQ(namesIn(dir / longName), (std::vector<std::string>{"old"}));
    EXPECT_EQ(readFile(dir / longName / "old"), "old");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{longName, "s"}));
}

TEST(FileManagerTest, FailedCopyIntoAMissingFolderThrowsAndWritesNothing) {
    TemporaryDirectory dir;
    writeFile(dir / "file", "x");
    EXPECT_THROW(FileManager::overwritingCopy(dir / "file", dir / "no" / "such" / "file"),
                 fs::filesystem_error);
    EXPECT_THROW(FileManager::overwritingCopy(dir / "missing", dir / "copy"), fs::filesystem_error);
    EXPECT_FALSE(fs::exists(dir / "copy"));
}

TEST(FileManagerTest, WriteAtomicallyReplacesContentAndKeepsTheMode) {
    TemporaryDirectory dir;
    const fs::path file = dir / "settings.json";
    keel::FileManager::writeAtomically(file, "one");
    fs::permissions(file, fs::perms(0600));
    keel::FileManager::writeAtomically(file, "two");
    EXPECT_EQ(readFile(file), "two");
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"settings.json"}));
    EXPECT_THROW(keel::FileManager::writeAtomically(dir / "missing" / "f", "x"),
                 fs::filesystem_error);
}

TEST(FileManagerTest, ModifyDateSurvivesAJSONRoundTripExactly) {
    TemporaryDirectory dir;
    // Dates with sub-second parts that have no short decimal form.
    const std::pair<time_t, long> stamps[] = {{1733560000, 123456789},
                                              {1733560000, 999999999},
                                              {978307200, 1},
                                              {2000000000, 500000000},
                                              {1, 0}};
    for (const auto& [seconds, nanos] : stamps) {
        writeFile(dir / "f", "x");
        setModifyDate(dir / "f", seconds, nanos);
        const auto date = FileManager::modifyDateForFile(dir / "f");
        ASSERT_TRUE(date);
        const auto text =
            keel::prettyJSON(nlohmann::json{{"d", date->timeIntervalSinceReferenceDate}});
        const keel::Date back{nlohmann::json::parse(text)["d"].get<double>()};
        EXPECT_EQ(back, *FileManager::modifyDateForFile(dir / "f")) << seconds << "." << nanos;
    }
    EXPECT_FALSE(FileManager::modifyDateForFile(dir / "missing"));
}

TEST(FileManagerTest, HomeAndSupportFolderFollowTheEnvironment) {
    {
        ScopedEnv home("HOME", "/tmp/some-home");
        ScopedEnv data("XDG_DATA_HOME", std::nullopt);
        EXPECT_EQ(FileManager::noSandboxHomeURL(), "/tmp/some-home");
        EXPECT_EQ(FileManager::noSandboxBundleSupportDirectoryURL(),
                  fs::path("/tmp/some-home/.local/share/Quillfen"));
    }
    {
        ScopedEnv home("HOME", "relative/home");  // not absolute: the password entry answers
        ScopedEnv data("XDG_DATA_HOME", "/tmp/data");
        EXPECT_TRUE(FileManager::noSandboxHomeURL().is_absolute());
        EXPECT_EQ(FileManager::noSandboxBundleSupportDirectoryURL(),
                  fs::path("/tmp/data/Quillfen"));
    }
}
