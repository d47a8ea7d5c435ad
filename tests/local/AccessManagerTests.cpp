#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "keel/UserSettings.h"
#include "local/AccessManager.h"
#include "local/SecurityScopedBookmark.h"
#include "support/IsolatedSettings.h"
#include "support/TestSupport.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class AccessManagerTest : public ::testing::Test {
protected:
    AccessManagerTest() { fs::create_directories(temp_ / "granted"); }

    static std::optional<keel::Data> storedValue() {
        return keel::UserSettings::standard().get(AccessManager::accessBookmarksDataKey);
    }
    static void store(const std::string& text) {
        keel::UserSettings::standard().set(AccessManager::accessBookmarksDataKey,
                                           std::optional(keel::Data(text.begin(), text.end())));
    }
    // The granted paths of the stored value.
    static std::set<std::string> storedPaths() {
        std::set<std::string> paths;
        const auto stored = storedValue();
        if (!stored) return paths;
        const json object = json::parse(stored->begin(), stored->end());
        EXPECT_TRUE(object.is_object());
        for (const auto& [key, value] : object.items())
            paths.insert(key);
        return paths;
    }
    // Replaces the folder at `url` by a new, empty one: the new one is made
    // before the old one goes, so the two can never share an inode.
    static void replaceFolder(const fs::path& url) {
        const fs::path replacement = url.string() + ".new";
        fs::create_directory(replacement);
        fs::remove_all(url);
        fs::rename(replacement, url);
    }

    testing::IsolatedSettings temp_;
};

TEST_F(AccessManagerTest, FirstLaunchGrantsNothing) {
    AccessManager manager;
    EXPECT_FALSE(manager.hasAccess("/"));
    EXPECT_FALSE(manager.hasAccess(temp_.path()));
    EXPECT_TRUE(manager.bookmarksDict().empty());
    EXPECT_TRUE(storedPaths().empty());
}

TEST_F(AccessManagerTest, GrantingRootCoversReadableLocationsBelowIt) {
    testsupport::writeFile(temp_ / "granted" / "file.txt", "x");
    AccessManager manager;
    manager.addAccess("/");
    EXPECT_TRUE(manager.hasAccess("/"));
    EXPECT_TRUE(manager.hasAccess(temp_ / "granted" / "file.txt"));
    EXPECT_TRUE(manager.hasAccess(temp_.path()));
    EXPECT_EQ(storedPaths(), std::set<std::string>{"/"});
}

TEST_F(AccessManagerTest, GrantCoversOnlyItsOwnFolder) {
    const fs::path granted = temp_ / "granted";
    testsupport::writeFile(granted / "inner" / "file.txt", "x");
    testsupport::writeFile(temp_ / "grantedSibling" / "file.txt", "x");
    testsupport::writeFile(temp_ / "outside.txt", "x");
    fs::create_symlink(temp_ / "outside.txt", granted / "escape");

    AccessManager manager;
    manager.addAccess(granted);
    EXPECT_TRUE(manager.hasAccess(granted));
    EXPECT_TRUE(manager.hasAccess(granted / "inner" / "file.txt"));
    EXPECT_FALSE(manager.hasAccess(temp_.path()));
    EXPECT_FALSE(manager.hasAccess(temp_ / "grantedSibling" / "file.txt"));
    EXPECT_FALSE(manager.hasAccess(granted / ".." / "outside.txt"));
    // A link inside the grant leads to a location outside it.
    EXPECT_FALSE(manager.hasAccess(granted / "escape"));
    // Nothing there: nothing readable.
    EXPECT_FALSE(manager.hasAccess(granted / "missing"));
}

TEST_F(AccessManagerTest, GrantingTheSameFolderTwiceKeepsOneBookmark) {
    const fs::path granted = temp_ / "granted";
    AccessManager manager;
    manager.addAccess(granted);
    const auto first = manager.bookmarksDict();
    manager.addAccess(granted);
    manager.addAccess(granted.string() + "/");
    manager.addAccess(temp_ / "granted" / "." / "");
    const auto after = manager.bookmarksDict();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after.begin()->second.data, first.begin()->second.data);
    EXPECT_EQ(storedPaths(), std::set<std::string>{granted.string()});
}

TEST_F(AccessManagerTest, GrantOfMissingFolderChangesNothing) {
    AccessManager manager;
    manager.addAccess(temp_ / "missing");
    EXPECT_TRUE(manager.bookmarksDict().empty());
    EXPECT_TRUE(storedPaths().empty());
}

TEST_F(AccessManagerTest, GrantsSurviveARestart) {
    const fs::path granted = temp_ / "granted";
    testsupport::writeFile(granted / "file.txt", "x");
    fs::create_directories(temp_ / "other");
    {
        AccessManager manager;
        manager.addAccess(granted);
        manager.addAccess(temp_ / "other");
    }
    AccessManager restarted;
    EXPECT_TRUE(restarted.hasAccess(granted / "file.txt"));
    EXPECT_TRUE(restarted.hasAccess(temp_ / "other"));
    EXPECT_EQ(restarted.bookmarksDict().size(), 2u);
    EXPECT_EQ(storedPaths(), (std::set<std::string>{granted.string(), (temp_ / "other").string()}));
}

TEST_F(AccessManagerTest, GrantsThatNoLongerHoldAreDroppedAtLoad) {
    const fs::path replaced = temp_ / "granted";
    const fs::path removed = temp_ / "removed";
    const fs::path kept = temp_ / "kept";
    fs::create_directories(removed);
    fs::create_directories(kept);
    {
        AccessManager manager;
        manager.addAccess(replaced);
        manager.addAccess(removed);
        manager.addAccess(kept);
    }
    replaceFolder(replaced);
    fs::remove_all(removed);

    AccessManager restarted;
    EXPECT_FALSE(restarted.hasAccess(replaced));
    EXPECT_TRUE(restarted.hasAccess(kept));
    EXPECT_EQ(storedPaths(), std::set<std::string>{kept.string()});
    // Once the folder is granted again it holds again.
    restarted.addAccess(replaced);
    EXPECT_TRUE(restarted.hasAccess(replaced));
}

TEST_F(AccessManagerTest, BookmarkOfAnotherLocationIsDroppedAtLoad) {
    fs::create_directories(temp_ / "elsewhere");
    const auto bookmark = createBookmark(temp_ / "elsewhere");
    const json object = {
        {(temp_ / "granted").string(), keel::UserSettingValue<keel::Data>::encode(bookmark)}};
    store(object.dump());

    AccessManager manager;
    EXPECT_FALSE(manager.hasAccess(temp_ / "granted"));
    EXPECT_FALSE(manager.hasAccess(temp_ / "elsewhere"));
    EXPECT_TRUE(storedPaths().empty());
}

TEST_F(AccessManagerTest, UndecodableStoredValueCountsAsNoGrants) {
    for (const std::string text : {"not json at all", "[1, 2]", "\"/\"", "{\"/\": 12}",
                                   "{\"/\": \"***\"}", "{\"relative\": \"e30=\"}"}) {
        SCOPED_TRACE(text);
        store(text);
        AccessManager manager;
        EXPECT_FALSE(manager.hasAccess("/"));
        EXPECT_TRUE(manager.bookmarksDict().empty());
    }
}

TEST_F(AccessManagerTest, BadStoredEntryDoesNotCostTheGoodOnes) {
    const fs::path granted = temp_ / "granted";
    json object = {
        {"/", "not base64!"},
        {granted.string(), keel::UserSettingValue<keel::Data>::encode(createBookmark(granted))}};
    store(object.dump());
    AccessManager manager;
    EXPECT_TRUE(manager.hasAccess(granted));
    EXPECT_EQ(storedPaths(), std::set<std::string>{granted.string()});
}

TEST_F(AccessManagerTest, UnreadableLocationIsNotCovered) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser can read everything";
    const fs::path secret = temp_ / "granted" / "secret.txt";
    testsupport::writeFile(secret, "x");
    fs::permissions(secret, fs::perms::none);
    AccessManager manager;
    manager.addAccess("/");
    EXPECT_FALSE(manager.hasAccess(secret));
    EXPECT_TRUE(manager.hasAccess(temp_ / "granted"));
}

TEST_F(AccessManagerTest, UnwritableSettingsKeepTheGrantForThisRunAndSaySo) {
    const fs::path granted = temp_ / "granted";
    testsupport::writeFile(temp_ / "blocker", "a file where a folder should be");
    keel::UserSettings::standard().setFileURL(temp_ / "blocker" / "settings.json");
    AccessManager manager;
    EXPECT_THROW(manager.addAccess(granted), fs::filesystem_error);
    EXPECT_TRUE(manager.hasAccess(granted));
}

TEST(SecurityScopedBookmarkTest, ResolvesOnlyTheSameItem) {
    testsupport::TemporaryDirectory temp;
    const fs::path folder = temp / "folder";
    fs::create_directories(folder);
    EXPECT_THROW(createBookmark(temp / "missing"), fs::filesystem_error);

    const auto bookmark = createBookmark(folder);
    const ResolvedBookmark resolved = resolveBookmark(bookmark);
    EXPECT_EQ(resolved.url, folder);
    EXPECT_FALSE(resolved.isStale);

    fs::create_directory(temp / "replacement");
    fs::remove(folder);
    fs::rename(temp / "replacement", folder);
    EXPECT_TRUE(resolveBookmark(bookmark).isStale);

    fs::remove(folder);
    EXPECT_THROW(resolveBookmark(bookmark), fs::filesystem_error);

    for (const std::string text :
         {"", "{}", "[]", "{\"path\": \"relative\", \"device\": 1, \"inode\": 2}",
          "{\"path\": \"/\", \"device\": -1, \"inode\": 2}"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(resolveBookmark(keel::Data(text.begin(), text.end())), fs::filesystem_error);
    }
}

class AccessManagerConcurrencyTest : public AccessManagerTest {};

TEST_F(AccessManagerConcurrencyTest, ReadersSeeGrantsArriveAndNeverVanish) {
    constexpr int kFolders = 24;
    std::vector<fs::path> folders;
    for (int i = 0; i < kFolders; ++i) {
        folders.push_back(temp_ / ("folder" + std::to_string(i)));
        testsupport::writeFile(folders.back() / "file.txt", "x");
    }
    AccessManager manager;
    std::atomic<bool> done = false;
    std::atomic<int> regressions = 0;
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            std::vector<bool> seen(kFolders, false);
            while (!done.load()) {
                for (int i = 0; i < kFolders; ++i) {
                    const bool access = manager.hasAccess(folders[i] / "file.txt");
                    if (seen[i] && !access) ++regressions;
                    seen[i] = seen[i] || access;
                }
            }
        });
    }
    std::thread writer([&] {
        for (const auto& folder : folders)
            manager.addAccess(folder);
    });
    writer.join();
    done = true;
    for (auto& reader : readers)
        reader.join();

    EXPECT_EQ(regressions.load(), 0);
    for (const auto& folder : folders)
        EXPECT_TRUE(manager.hasAccess(folder / "file.txt"));
    EXPECT_EQ(storedPaths().size(), static_cast<std::size_t>(kFolders));
}

TEST_F(AccessManagerConcurrencyTest, ConcurrentGrantsAreAllStored) {
    constexpr int kPerThread = 10;
    std::vector<std::vector<fs::path>> folders(3);
    for (std::size_t t = 0; t < folders.size(); ++t) {
        for (int i = 0; i < kPerThread; ++i) {
            folders[t].push_back(temp_ / ("t" + std::to_string(t) + "-" + std::to_string(i)));
            fs::create_directories(folders[t].back());
        }
    }
    AccessManager manager;
    std::vector<std::thread> writers;
    for (const auto& own : folders) {
        writers.emplace_back([&manager, &own] {
            for (const auto& folder : own)
                manager.addAccess(folder);
        });
    }
    for (auto& writer : writers)
        writer.join();
    EXPECT_EQ(storedPaths().size(), folders.size() * kPerThread);
    AccessManager restarted;
    EXPECT_EQ(restarted.bookmarksDict().size(), folders.size() * kPerThread);
}

}  // namespace
}  // namespace quillfen
