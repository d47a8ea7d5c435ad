#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "LocalTestHelpers.h"
#include "local/LocalResources.h"

namespace quillfen {
namespace {

using testing::makeBundle;
using testing::xmlPlist;
using testsupport::TemporaryDirectory;
namespace fs = std::filesystem;

class LocalResourcesConcurrencyTest : public ::testing::Test {
protected:
    testing::IsolatedSettings settings;
    TemporaryDirectory folder;
};

// List number k holds k + 1 copies of "/list/k": a reader that saw a list
// being replaced half-way would find a mixture or a wrong length.
std::vector<fs::path> numberedList(int k) {
    return std::vector<fs::path>(static_cast<std::size_t>(k) + 1, "/list/" + std::to_string(k));
}

TEST_F(LocalResourcesConcurrencyTest, ReadersAlwaysSeeWholeLists) {
    LocalResources resources(folder.path());
    constexpr int kAssignments = 2000;
    std::atomic<bool> done = false;
    std::atomic<int> tornLists = 0;
    std::atomic<long> reads = 0;

    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&] {
            // Read at least a few times even if the writer is already through.
            for (int round = 0; !done.load() || round < 50; ++round) {
                const std::vector<fs::path> list = resources.excludedFileURLs();
                reads.fetch_add(1);
                if (list.empty()) continue;  // the list stored at creation
                const std::string first = list.front().string();
                const int k = std::stoi(first.substr(std::string("/list/").size()));
                if (list != numberedList(k)) tornLists.fetch_add(1);
                (void)resources.isExcluded("/list/" + std::to_string(k) + "/file");
            }
        });
    }
    std::thread writer([&] {
        for (int k = 0; k < kAssignments; ++k)
            resources.setExcludedFileURLs(numberedList(k % 64));
        done.store(true);
    });
    writer.join();
    for (auto& reader : readers)
        reader.join();

    EXPECT_EQ(tornLists.load(), 0);
    EXPECT_GE(reads.load(), 4 * 50);
    EXPECT_EQ(resources.excludedFileURLs(), numberedList((kAssignments - 1) % 64));
}

TEST_F(LocalResourcesConcurrencyTest, SharedInstanceIsCreatedOnceForAllThreads) {
    makeBundle(folder.path() / "Utilities" / "Console.app",
               xmlPlist("<key>CFBundleIdentifier</key><string>com.example.Console</string>\n"));
    // The only test of this program that touches the shared instance.
    LocalResources::setApplicationsDirectory(folder.path());

    std::vector<LocalResources*> seen(4, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = &LocalResources::shared(); });
    }
    for (auto& thread : threads)
        thread.join();

    for (LocalResources* instance : seen)
        EXPECT_EQ(instance, seen.front());
    ASSERT_TRUE(LocalResources::shared().appItem("Console"));
    EXPECT_EQ(LocalResources::shared().appItem("Console")->identifier, "com.example.Console");
}

}  // namespace
}  // namespace quillfen
