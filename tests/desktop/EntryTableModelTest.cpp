#include <QAbstractItemModelTester>

#include <random>

#include "app/BackupViewer.h"
#include "desktop/DesktopFixture.h"
#include "desktop/EntryTableModel.h"
#include "keel/DispatchQueue.h"
#include "keel/NoteSubscriber.h"

using namespace desktop;
using namespace desktop::testing;
using quillfen::BackupEdition;
using quillfen::BackupFileEntry;

namespace {

class EntryTableModelTest : public DesktopTest {
protected:
    EntryTableModelTest() {
        file = quillfen::BackupFile::open(settings.home() / "Models.qfbackup");
        viewer->setBackupFile(file);
        viewer->reload(true);
        drain();
        model.reload();
        subscriber.subscribe({quillfen::BackupViewer::didReloadNotification}, viewer.get(),
                             [this](const keel::Notification& note) {
                                 auto edition = note.userInfoValue<BackupEdition>(
                                     quillfen::BackupViewer::editionKey);
                                 if (!edition) return;
                                 if (edition->category == BackupEdition::Category::all)
                                     model.reload();
                                 else if (edition->category == BackupEdition::Category::files)
                                     model.apply(*edition);
                             });
        // The keys as the model's signals describe them, kept apart from the
        // model: they prove that the signals say what changed.
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [this](const QModelIndex&, int first, int last) {
                             for (int row = first; row <= last; ++row)
                                 mirror.insert(mirror.begin() + row, model.entry(row)->path);
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                         [this](const QModelIndex&, int first, int last) {
                             mirror.erase(mirror.begin() + first, mirror.begin() + last + 1);
                         });
        QObject::connect(&model, &QAbstractItemModel::modelReset, [this] {
            mirror.clear();
            for (const auto& entry : model.entries())
                mirror.push_back(entry.path);
        });
        for (const auto& entry : model.entries())
            mirror.push_back(entry.path);
    }

    // Lets every edit reach the viewer and every announcement the model.
    void drain() {
        for (int round = 0; round < 3; ++round) {
            viewer->serialQueue().sync([] {});
            bool reached = false;
            keel::DispatchQueue::main().async([&] { reached = true; });
            ASSERT_TRUE(waitUntil([&] { return reached; }));
        }
    }

    std::shared_ptr<quillfen::BackupFile> file;
    std::shared_ptr<quillfen::BackupViewer> viewer = quillfen::BackupViewer::create();
    EntryTableModel<BackupFileEntry> model{
        [this] { return viewer->backupFileEntries(); },
        {{"FilePathColumn",
          "Path",
          [](const BackupFileEntry& entry, int role) {
              return role == Qt::DisplayRole ? QVariant(QString::fromStdString(entry.path))
                                             : QVariant();
          },
          {}}}};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
    keel::NoteSubscriber subscriber;
    std::vector<std::string> mirror;
};

TEST_F(EntryTableModelTest, FollowsTwoHundredRandomEditionsRowByRow) {
    std::mt19937 random(20);
    auto pick = [&](int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random); };
    // Names whose Finder order differs from byte order (numbers, case).
    std::vector<std::string> pool;
    for (int i = 0; i < 24; ++i)
        pool.push_back((i % 3 == 0   ? "Notes/"
                        : i % 3 == 1 ? ".config/app"
                                     : "doc ") +
                       std::to_string(i * 7 % 25));
    for (int i = 0; i < 24; i += 4)
        testsupport::writeFile(settings.home() / pool[i], "x");
    auto somePaths = [&] {
        std::vector<std::string> paths;
        for (int n = 1 + pick(3); n > 0; --n)
            paths.push_back(pool[std::size_t(pick(24))]);
        return paths;
    };

    int resets = 0, insertions = 0, removals = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++insertions; });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [&] { ++removals; });
    for (int step = 0; step < 200; ++step) {
        // Often two edits before the announcements arrive, so that the viewer
        // is ahead of the announcement the model handles.
        for (int burst = pick(3) == 0 ? 2 : 1; burst > 0; --burst) {
            switch (pick(8)) {
                case 0:
                case 1:
                case 2: {
                    std::vector<quillfen::BackupFileItem> items;
                    for (auto& path : somePaths())
                        items.push_back({path, pick(2) == 0, {}});
                    file->setFileItems(items);
                    break;
                }
                case 3:
                case 4:
                    file->removeFileItems(somePaths());
                    break;
                case 5: {
                    // Editions that do not match the list: a repeated add,
                    // an update or remove of a row that is not there.
                    std::vector<BackupEdition::Entry> entries;
                    for (auto& path : somePaths())
                        entries.push_back({-1, path, BackupEdition::Action(pick(3))});
                    viewer->update({BackupEdition::Category::files, entries});
                    break;
                }
                case 6:
                    viewer->update({BackupEdition::Category::files, std::nullopt});
                    break;
                case 7:
                    viewer->update(
                        {BackupEdition::Category::files, std::vector<BackupEdition::Entry>{}});
                    break;
            }
        }
        drain();
        const auto fresh = viewer->backupFileEntries();
        ASSERT_EQ(model.entries(), fresh) << "step " << step;
        std::vector<std::string> keys;
        for (const auto& entry : fresh)
            keys.push_back(entry.path);
        ASSERT_EQ(mirror, keys) << "step " << step;
    }
    // Most editions are followed row by row, not by resetting.
    EXPECT_LT(resets, 120);
    EXPECT_GT(insertions, 50);
    EXPECT_GT(removals, 50);
}

TEST_F(EntryTableModelTest, AnAddedRowIsOneInsertionAtItsFinderPlace) {
    file->setFileItems({{"file10", true, {}}, {"file2", true, {}}});
    drain();
    ASSERT_EQ(mirror, (std::vector<std::string>{"file2", "file10"}));
    int inserted = -1, resets = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int) { inserted = first; });
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    file->setFileItems({{"file3", false, {}}});
    drain();
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(resets, 0);
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), "file3");
    EXPECT_FALSE(model.data(model.index(3, 0), Qt::DisplayRole).isValid());
}

}  // namespace
