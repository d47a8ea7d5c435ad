#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include <cerrno>

#include "app/ItemEditor.h"
#include "desktop/DesktopFixture.h"
#include "desktop/HistoryPopoverController.h"
#include "desktop/LogsWindowController.h"
#include "keel/DateFormatter.h"
#include "keel/DispatchQueue.h"
#include "keel/FileSystemFaults.h"
#include "keel/LocalizedString.h"
#include "local/LocalResources.h"

using namespace desktop;
using namespace desktop::testing;

namespace {

class HistoryAndLogsTest : public DesktopTest {
protected:
    void launchWithVim() {
        grantRoot();
        storeLocation(packageURL());
        markTipsShown();
        testsupport::writeFile(settings.home() / ".vimrc", "set number\n");
        {
            auto file = quillfen::BackupFile::open(packageURL());
            quillfen::ItemEditor(file).add(quillfen::ItemKind::exec, {"Vim"});
            file->save();
        }
        launch();
        ASSERT_TRUE(waitForIdle());
    }
    void settle() {
        for (int round = 0; round < 2; ++round) {
            bool reached = false;
            keel::DispatchQueue::main().async([&] { reached = true; });
            ASSERT_TRUE(waitUntil([&] { return reached; }));
            ASSERT_TRUE(waitForIdle());
        }
    }
};

TEST_F(HistoryAndLogsTest, ThePopoverListsTheEventsAndClearingEmptiesTheStoredHistory) {
    launchWithVim();
    auto& history = main().historyPopoverController();
    EXPECT_FALSE(history.placeholderTextField()->isHidden());
    EXPECT_TRUE(history.historyTableView()->isHidden());

    main().synchronizeButton()->click();
    settle();
    main().backupButton()->click();
    settle();
    ASSERT_TRUE(waitUntil([&] { return history.historyTableView()->count() == 2; }));
    // Newest first, with the date, the time and the computer's name.
    const QString newest = history.historyTableView()->item(0)->text();
    EXPECT_TRUE(newest.startsWith(
        QString::fromStdString(quillfen::localizedTitle(quillfen::SyncAction::backUp))));
    EXPECT_TRUE(history.historyTableView()->item(1)->text().startsWith(
        QString::fromStdString(quillfen::localizedTitle(quillfen::SyncAction::synchronize))));
    const auto events = manager.file()->eventItems();
    ASSERT_TRUE(events.front().comment.has_value());
    EXPECT_TRUE(newest.endsWith(QString::fromStdString(" - " + *events.front().comment)));
    const keel::DateFormatter shortDate(keel::DateFormatter::Style::shortStyle,
                                        keel::DateFormatter::Style::none);
    EXPECT_EQ(main().historyButton()->text().toStdString(), shortDate.string(keel::Date::now()));
    EXPECT_TRUE(history.placeholderTextField()->isHidden());

    main().toggleHistoryPopover();
    EXPECT_TRUE(history.popoverIsShown());
    // Cancel keeps the history.
    history.clearButton()->click();
    ASSERT_TRUE(alerts->answer(0));
    settle();
    EXPECT_EQ(quillfen::BackupFile::open(packageURL())->eventItems().size(), 2u);

    history.clearButton()->click();
    ASSERT_EQ(alerts->shown("ClearHistoryAlert").size(), 2u);
    ASSERT_TRUE(alerts->answer(1));
    settle();
    EXPECT_TRUE(quillfen::BackupFile::open(packageURL())->eventItems().empty());
    ASSERT_TRUE(waitUntil([&] { return history.historyTableView()->count() == 0; }));
    EXPECT_FALSE(history.placeholderTextField()->isHidden());
    EXPECT_EQ(main().historyButton()->text().toStdString(),
              keel::TL("HistoryButtonEmptyHistoryTitle"));
}

TEST_F(HistoryAndLogsTest, AFailingPathOpensTheLogsSheetWithTheCountAndThePath) {
    launchWithVim();
    // One failing file operation, moved along the run until it hits the copy
    // of a settings path rather than the package's lock or its lists.
    for (std::uint64_t n = 1; n <= 60 && !main().sheetWindowController(); ++n) {
        keel::FileSystemFaults::Scope fault(n, EIO);
        main().backupButton()->click();
        ASSERT_TRUE(waitForIdle());
        settle();
    }
    ASSERT_NE(main().sheetWindowController(), nullptr);
    auto* logs = qobject_cast<LogsWindowController*>(main().sheetWindowController());
    ASSERT_NE(logs, nullptr);
    EXPECT_TRUE(logs->isSheetShown());
    QTreeWidget* table = logs->resultTableView();
    ASSERT_EQ(table->topLevelItemCount(), 1);
    QTreeWidgetItem* vim = table->topLevelItem(0);
    EXPECT_EQ(vim->text(0), "Vim");
    EXPECT_EQ(vim->text(1).toStdString(), keel::TL("SyncResultErrorsCount", std::size_t(1)));
    ASSERT_EQ(vim->childCount(), 1);
    EXPECT_EQ(vim->child(0)->text(0), ".vimrc");
    EXPECT_FALSE(vim->child(0)->text(1).isEmpty()) << "the reason is shown";

    logs->continueButton()->click();
    ASSERT_TRUE(waitUntil([&] { return main().sheetWindowController() == nullptr; }));
}

}  // namespace
