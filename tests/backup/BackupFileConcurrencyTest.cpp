#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/BackupFileTestHelpers.h"
#include "support/TestSupport.h"

namespace quillfen::testing {
namespace {

class BackupFileConcurrencyTest : public BackupFileFixture {};

// Several threads edit and read one file at once; every call is serialised on
// the file's queue, so no edit is lost and every announcement arrives, on the
// main thread, while the test thread drives the main queue.
TEST_F(BackupFileConcurrencyTest, EditsFromSeveralThreadsAreSerialised) {
    constexpr int threads = 4;
    constexpr int rounds = 40;
    for (int t = 0; t < threads; ++t)
        writeLocal("local/" + std::to_string(t), "content " + std::to_string(t));

    std::atomic<int> finished{0};
    std::atomic<bool> readsAgreed{true};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            const std::string prefix = "T" + std::to_string(t) + " ";
            const std::string local = "local/" + std::to_string(t);
            for (int i = 0; i < rounds; ++i) {
                const std::string name = prefix + std::to_string(i);
                file->setAppItems({{name, true, {}}});
                file->setFileItems({{name, i % 2 == 0, {}}});
                if (!file->appItem(name)) readsAgreed = false;
                if (i % 2 == 1) file->removeAppItems({name});
                if (i % 10 == 0) file->backUpData(local);
                if (i % 10 == 0) file->addEvent(SyncAction::backUp);
                file->appItems();
                file->appNames();
            }
            ++finished;
        });
    }
    // Per thread and round: two sets, a removal every other round, and every
    // tenth round a back-up (an add the first time, a remove and an add after)
    // and an event.
    const std::size_t backUps = rounds / 10;
    const std::size_t perThread = 2 * rounds + rounds / 2 + backUps + (backUps - 1) + backUps;
    const std::size_t expected = threads * perThread;
    const bool done = keel::DispatchQueue::runMainUntil(
        [&] { return finished == threads && recorder->announcements.size() >= expected; });
    for (auto& worker : workers)
        worker.join();
    ASSERT_TRUE(done);

    EXPECT_TRUE(readsAgreed);
    const auto seen = recorder->take();
    EXPECT_EQ(seen.size(), expected);
    for (const auto& announcement : seen)
        EXPECT_TRUE(announcement.onMainThread);
    EXPECT_EQ(file->appItems().size(), static_cast<std::size_t>(threads * rounds / 2));
    EXPECT_EQ(file->fileItems().size(), static_cast<std::size_t>(threads * rounds));
    EXPECT_EQ(file->eventItems().size(), 10u);
    for (int t = 0; t < threads; ++t)
        EXPECT_TRUE(file->dataItem("local/" + std::to_string(t)));
    // One copy per path once saved: every replaced copy was deleted.
    file->save();
    std::size_t copies = 0;
    for ([[maybe_unused]] const auto& item : fs::directory_iterator(packageURL() / "Data"))
        ++copies;
    EXPECT_EQ(copies, static_cast<std::size_t>(threads));

    const auto reopened = BackupFile::open(packageURL());
    EXPECT_EQ(reopened->appItems(), file->appItems());
    EXPECT_EQ(reopened->fileItems(), file->fileItems());
}

// Observers may call back into the file while other threads keep editing it:
// the queue is never held while an observer runs.
TEST_F(BackupFileConcurrencyTest, ObserversMayUseTheFileWhileOthersEditIt) {
    std::atomic<bool> stop{false};
    std::size_t observed = 0;
    recorder->probe = [&](const Announcement&) {
        file->appItems();
        file->note();
        ++observed;
    };
    std::thread writer([&] {
        for (int i = 0; i < 200 && !stop; ++i)
            file->setNote("note " + std::to_string(i));
    });
    const bool done = keel::DispatchQueue::runMainUntil([&] { return observed >= 200; });
    stop = true;
    writer.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(file->note(), BackupNoteItem{"note 199"});
}

}  // namespace
}  // namespace quillfen::testing
