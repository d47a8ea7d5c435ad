#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "local/DesktopEntryCache.h"
#include "local/DesktopEntryScanner.h"
#include "local/LocalResources.h"
#include "support/FakeBundles.h"
#include "support/FakeDesktopEntries.h"
#include "support/IsolatedSettings.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

class LocalResourcesConcurrencyTest : public ::testing::Test {
protected:
    testing::IsolatedSettings settings;
    testsupport::TemporaryDirectory folder;
};

// The desktop entries read ahead on a thread of their own are what a scan
// would find, and only for the folders they were read for.
TEST_F(LocalResourcesConcurrencyTest, PrefetchedApplicationsAreTakenOnlyForTheirFolders) {
    const auto before = LocalResources::desktopEntryFolders();
    const fs::path first = folder / "first", second = folder / "second";
    testing::writeDesktopEntry(first / "org.example.Notes.desktop", "Notes");
    testing::writeDesktopEntry(first / "org.example.Paint.desktop", "Paint");
    testing::writeDesktopEntry(second / "org.example.Mail.desktop", "Mail");
    const fs::path noBundles = folder / "none";

    LocalResources::setDesktopEntryFolders({first});
    LocalResources::prefetchApplications();
    const LocalResources taken(noBundles, {first});
    EXPECT_EQ(taken.appNames().size(), 2u);
    EXPECT_TRUE(taken.appItem("Notes") && taken.appItem("Paint"));

    // Read ahead for the first folder, asked for the second: scanned afresh.
    LocalResources::prefetchApplications();
    const LocalResources other(noBundles, {second});
    EXPECT_EQ(other.appNames(), std::vector<std::string>{"Mail"});
    // Nothing is left over for a later instance of the first folder, which
    // then sees the folder as it is now.
    fs::remove(first / "org.example.Paint.desktop");
    const LocalResources later(noBundles, {first});
    EXPECT_EQ(later.appNames(), std::vector<std::string>{"Notes"});

    // A read ahead that nobody takes is waited for.
    LocalResources::prefetchApplications();
    LocalResources::finishPrefetch();
    LocalResources::setDesktopEntryFolders(before);
}

// The entries are read on several threads; which file of an ID counts and
// the order of what is found are still those of one reader going in order.
TEST_F(LocalResourcesConcurrencyTest, EntriesReadOnManyThreadsKeepPrecedenceAndOrder) {
    const fs::path user = folder / "user", system = folder / "system";
    std::vector<std::string> expected;
    for (int i = 0; i < 400; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "App %03d", i);
        const std::string id = "org.example.app" + std::to_string(1000 + i);
        testing::writeDesktopEntry(system / (id + ".desktop"), name);
        if (i % 7 == 0) {
            // The user's copy deletes the system's entry.
            testing::writeDesktopEntry(user / (id + ".desktop"), name, "Hidden=true\n");
        } else if (i % 11 == 0) {
            // A broken user copy claims nothing: the system's entry stays.
            testsupport::writeFile(user / (id + ".desktop"), "garbage");
            expected.push_back(name);
        } else if (i % 13 == 0) {
            // The user's own copy, renamed, comes first, from its folder.
            testing::writeDesktopEntry(user / (id + ".desktop"), std::string("Mine ") + name);
        } else {
            expected.push_back(name);
        }
    }
    std::vector<std::string> mine;
    for (int i = 0; i < 400; ++i)
        if (i % 7 != 0 && i % 11 != 0 && i % 13 == 0) {
            char name[32];
            std::snprintf(name, sizeof name, "Mine App %03d", i);
            mine.push_back(name);
        }
    expected.insert(expected.begin(), mine.begin(), mine.end());

    for (int round = 0; round < 3; ++round) {
        std::vector<std::string> names;
        for (const LocalAppItem& item : DesktopEntryScanner::applications({user, system}, {}))
            names.push_back(item.name);
        EXPECT_EQ(names, expected) << "round " << round;
    }
    // Through a cache: filled by every thread at once, then read by them.
    for (int round = 0; round < 2; ++round) {
        DesktopEntryCache cache(folder / "cache");
        std::vector<std::string> names;
        for (const LocalAppItem& item :
             DesktopEntryScanner::applications({user, system}, {}, &cache))
            names.push_back(item.name);
        EXPECT_EQ(names, expected) << "cached round " << round;
    }
}

// List k holds k + 1 copies of "/list/k": a reader that saw a list replaced
// half-way would find a mixture or a wrong length.
std::vector<fs::path> numberedList(int k) {
    return std::vector<fs::path>(static_cast<std::size_t>(k) + 1, "/list/" + std::to_string(k));
}

TEST_F(LocalResourcesConcurrencyTest, ReadersAlwaysSeeWholeLists) {
    LocalResources resources(folder.path());
    std::atomic<bool> done = false;
    std::atomic<int> tornLists = 0;
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&] {
            for (int round = 0; !done.load() || round < 50; ++round) {
                const std::vector<fs::path> list = resources.excludedFileURLs();
                if (list.empty()) continue;  // the list stored at creation
                const int k = std::stoi(list.front().filename().string());
                if (list != numberedList(k)) tornLists.fetch_add(1);
                (void)resources.isExcluded(list.front() / "file");
            }
        });
    }
    for (int k = 0; k < 2000; ++k)
        resources.setExcludedFileURLs(numberedList(k % 64));
    done.store(true);
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(tornLists.load(), 0);
}

TEST_F(LocalResourcesConcurrencyTest, SharedInstanceIsCreatedOnceForAllThreads) {
    testing::makeBundle(folder / "Utilities" / "Console.app",
                        testing::xmlPlist("<key>CFBundleIdentifier</key>"
                                          "<string>com.example.Console</string>\n"));
    // The only test of this program that touches the shared instance.
    LocalResources::setApplicationsDirectory(folder.path());
    LocalResources::setDesktopEntryFolders({});
    std::vector<LocalResources*> seen(4, nullptr);
    std::vector<std::thread> threads;
    for (auto& instance : seen) {
        threads.emplace_back([&instance] { instance = &LocalResources::shared(); });
    }
    for (auto& thread : threads)
        thread.join();

    for (LocalResources* instance : seen)
        EXPECT_EQ(instance, &LocalResources::shared());
    ASSERT_TRUE(LocalResources::shared().appItem("Console"));
    EXPECT_EQ(LocalResources::shared().appItem("Console")->identifier, "com.example.Console");
}

}  // namespace
}  // namespace quillfen
