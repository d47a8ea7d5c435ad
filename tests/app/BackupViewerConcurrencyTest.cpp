#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/BackupViewer.h"
#include "app/ViewerTestHelpers.h"
#include "keel/FinderOrder.h"

namespace quillfen::testing {
namespace {

using Action = BackupEdition::Action;
using Category = BackupEdition::Category;

class BackupViewerConcurrencyTest : public ViewerFixture {};

// Whether `keys` is in strict Finder order: sorted, and no key twice.
bool isStrictlyOrdered(const std::vector<std::string>& keys) {
    for (std::size_t i = 1; i < keys.size(); ++i) {
        if (keel::finderCompare(keys[i - 1], keys[i]) >= 0) return false;
    }
    return true;
}

std::vector<std::string> recordedPaths(BackupFile& file) {
    std::vector<std::string> paths;
    for (const auto& item : file.fileItems())
        paths.push_back(item.path);
    return paths;
}

TEST_F(BackupViewerConcurrencyTest, ReadersSeeWholeListsWhileEditsAndRebuildsInterleave) {
    reloadAll();
    constexpr int kEdits = 120;
    std::atomic<bool> editsDone = false;
    std::atomic<bool> readersDone = false;
    std::atomic<int> disordered = 0;
    std::atomic<long> reads = 0;

    // Adds and removes applications that are not installed and custom files,
    // leaving every third one in place.
    std::thread editor([&] {
        for (int i = 0; i < kEdits; ++i) {
            const std::string name = "Extra " + std::to_string(i);
            const std::string path = "files/f" + std::to_string(i);
            file->setAppItems({{name, true, {}}});
            file->setFileItems({{path, true, {}}});
            if (i % 3 != 0) {
                file->removeAppItems({name});
                file->removeFileItems({path});
            }
        }
        editsDone.store(true);
    });
    std::thread rebuilder([&] {
        while (!editsDone.load()) {
            viewer->reload(false);
            viewer->reloadAppEntries(true);
        }
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            for (int round = 0; !editsDone.load() || round < 20; ++round) {
                if (!isStrictlyOrdered(namesOf(viewer->backupAppEntries()))) ++disordered;
                if (!isStrictlyOrdered(pathsOf(viewer->backupFileEntries()))) ++disordered;
                if (!isStrictlyOrdered(namesOf(viewer->backupExecEntries()))) ++disordered;
                ++reads;
            }
        });
    }
    std::thread joiner([&] {
        editor.join();
        rebuilder.join();
        for (auto& reader : readers)
            reader.join();
        readersDone.store(true);
    });

    // The test thread is the main thread: it delivers the package's edits to
    // the viewer and the viewer's announcements to the recorder.
    EXPECT_TRUE(keel::DispatchQueue::runMainUntil([&] { return readersDone.load(); },
                                                  std::chrono::minutes(5)));
    joiner.join();
    settle();

    EXPECT_EQ(disordered.load(), 0);
    EXPECT_GE(reads.load(), 2 * 20);
    for (const Reload& reload : recorder->reloads) {
        EXPECT_TRUE(reload.onMainThread);
        EXPECT_TRUE(isStrictlyOrdered(reload.appNames));
        EXPECT_TRUE(isStrictlyOrdered(reload.filePaths));
    }
    // Following every edition leads to the rows a full rebuild gives.
    EXPECT_EQ(namesOf(viewer->backupAppEntries()), file->appNames());
    EXPECT_EQ(pathsOf(viewer->backupFileEntries()), recordedPaths(*file));
    const auto apps = viewer->backupAppEntries();
    for (const auto& entry : apps) {
        EXPECT_EQ(entry.backupItem, file->appItem(entry.name)) << entry.name;
    }
}

TEST_F(BackupViewerConcurrencyTest, EditsOfAReplacedFileNeverReachTheNewOne) {
    reloadAll();
    const auto other = BackupFile::open(home() / "Other.qfbackup");
    other->setAppItems({{"Hazel", true, {}}});

    std::atomic<bool> editsDone = false;
    std::atomic<bool> switched = false;
    std::atomic<int> delivered = 0;
    const auto token = keel::NotificationCenter::defaultCenter().addObserver(
        BackupViewer::didReloadNotification, viewer.get(),
        [&](const keel::Notification&) { ++delivered; });
    std::thread editor([&] {
        for (int i = 0; i < 150; ++i) {
            file->setAppItems({{"Stale " + std::to_string(i), true, {}}});
            file->setFileItems({{"stale/" + std::to_string(i), true, {}}});
        }
        editsDone.store(true);
    });
    // Switches files, as the backup manager does from its worker, while the
    // main thread is still delivering the old file's edits.
    std::thread manager([&] {
        while (delivered.load() < 2 && !editsDone.load()) {
            std::this_thread::yield();
        }
        viewer->setBackupFile(other);
        viewer->reload(true);
        switched.store(true);
    });

    EXPECT_TRUE(keel::DispatchQueue::runMainUntil(
        [&] { return editsDone.load() && switched.load(); }, std::chrono::minutes(5)));
    editor.join();
    manager.join();
    settle();
    keel::NotificationCenter::defaultCenter().removeObserver(token);

    EXPECT_EQ(viewer->backupFile(), other);
    EXPECT_EQ(namesOf(viewer->backupAppEntries()), other->appNames());
    EXPECT_TRUE(viewer->backupFileEntries().empty());
    for (const auto& entry : viewer->backupAppEntries())
        EXPECT_EQ(entry.file, other) << entry.name;
}

TEST_F(BackupViewerConcurrencyTest, ADestroyedViewerAnnouncesNothingAndStopsObserving) {
    recorder.reset();  // it would read from the viewer
    std::atomic<int> announced = 0;
    const BackupViewer* const gone = viewer.get();
    const auto token = keel::NotificationCenter::defaultCenter().addObserver(
        BackupViewer::didReloadNotification, gone, [&](const keel::Notification&) { ++announced; });

    // Work waiting on the viewer's queue and announcements waiting on the
    // main queue when the last owner lets go.
    for (int i = 0; i < 5; ++i) {
        viewer->reload(false);
        viewer->update({Category::data, std::vector{row(-1, "x", Action::add)}});
        viewer->update({Category::apps, std::vector{row(-1, "Kiwi", Action::add)}});
    }
    std::thread releaser([&] { viewer.reset(); });
    releaser.join();

    // Edits of the file after that reach no viewer.
    file->setAppItems({{"Hazel", true, {}}});
    keel::DispatchQueue::drainMain();
    keel::DispatchQueue::drainMain();
    keel::NotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(announced.load(), 0);
}

}  // namespace
}  // namespace quillfen::testing
