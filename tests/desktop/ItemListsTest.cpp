#include <QIcon>
#include <QImage>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QToolButton>

#include <sys/stat.h>

#include "app/ItemEditor.h"
#include "desktop/AppsListViewController.h"
#include "desktop/DesktopFixture.h"
#include "desktop/ExecsListViewController.h"
#include "desktop/FilesListViewController.h"
#include "desktop/FoundStatusPopoverController.h"
#include "desktop/ItemStatePopoverController.h"
#include "keel/DateFormatter.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/LocalizedString.h"

using namespace desktop;
using namespace desktop::testing;
using quillfen::ItemKind;

namespace {

class ItemListsTest : public DesktopTest {
protected:
    // A package recording `execs` and `files`, open in the window.
    void launchWith(const std::vector<std::string>& execs, const std::vector<std::string>& files) {
        grantRoot();
        storeLocation(packageURL());
        markTipsShown();
        {
            auto file = quillfen::BackupFile::open(packageURL());
            quillfen::ItemEditor editor(file);
            if (!execs.empty()) editor.add(ItemKind::exec, execs);
            if (!files.empty()) editor.add(ItemKind::file, files);
            file->save();
        }
        launch();
        ASSERT_TRUE(waitForIdle());
    }

    AppsListViewController& apps() {
        return *static_cast<AppsListViewController*>(
            main().contentViewControllers()[MainWindowController::appsList]);
    }
    ExecsListViewController& execs() {
        return *static_cast<ExecsListViewController*>(
            main().contentViewControllers()[MainWindowController::execsList]);
    }
    FilesListViewController& files() {
        return *static_cast<FilesListViewController*>(
            main().contentViewControllers()[MainWindowController::filesList]);
    }
    template <class List>
    int rowOf(List& list, const std::string& key) {
        const auto& entries = list.model().entries();
        for (std::size_t row = 0; row < entries.size(); ++row)
            if (entries[row].title() == key) return static_cast<int>(row);
        return -1;
    }
    template <class List>
    QString cell(List& list, int row, const char* column, int role = Qt::DisplayRole) {
        return list.model()
            .data(list.model().index(row, list.model().column(column)), role)
            .toString();
    }
    template <class List>
    void select(List& list, const std::vector<int>& rows) {
        QTableView* table = list.tableView();
        table->clearSelection();
        for (int row : rows)
            table->selectionModel()->select(
                list.model().index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Lets an edit's save start and end, and the lists follow.
    void settle() {
        for (int round = 0; round < 2; ++round) {
            bool reached = false;
            keel::DispatchQueue::main().async([&] { reached = true; });
            ASSERT_TRUE(waitUntil([&] { return reached; }));
            ASSERT_TRUE(waitForIdle());
        }
    }
    std::optional<bool> storedExecEnabled(const std::string& name) {
        auto item = quillfen::BackupFile::open(packageURL())->execItem(name);
        return item ? std::optional(item->isEnabled) : std::nullopt;
    }
};

TEST_F(ItemListsTest, ABackUpShowsUpToDateRowsWithTheirDate) {
    testsupport::writeFile(settings.home() / ".vimrc", "set number\n");
    launchWith({"Vim", "Nano"}, {});
    main().showContent(MainWindowController::execsList);
    const int vim = rowOf(execs(), "Vim");
    ASSERT_GE(vim, 0);
    const QString never =
        QLocale().toUpper(QString::fromStdString(keel::TL("BackupAppEntryNeverSavedDate")));
    EXPECT_EQ(cell(execs(), vim, "ExecBackupDateColumn"), never);
    EXPECT_FALSE(execs().contentView()->isHidden());

    main().backupButton()->click();
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(waitUntil(
        [&] { return cell(execs(), rowOf(execs(), "Vim"), "ExecBackupDateColumn") != never; }));
    const int row = rowOf(execs(), "Vim");
    const keel::DateFormatter shortDate(keel::DateFormatter::Style::shortStyle,
                                        keel::DateFormatter::Style::none);
    EXPECT_TRUE(cell(execs(), row, "ExecBackupDateColumn")
                    .startsWith(QString::fromStdString(shortDate.string(keel::Date::now()))));
    // Nothing is left to do for the copy just made.
    const auto action = execs().model().entry(row)->action();
    EXPECT_TRUE(action == quillfen::SyncAction::doNothing ||
                action == quillfen::SyncAction::upToDate);
    EXPECT_EQ(
        cell(execs(), row, "ExecStateColumn").toStdString(),
        QLocale().toUpper(QString::fromStdString(quillfen::localizedTitle(action))).toStdString());
    EXPECT_EQ(cell(execs(), row, "ExecItemsCountColumn").toStdString(),
              QLocale()
                  .toUpper(QString::fromStdString(keel::TL(
                      "BackupEntryBackupItemsCount", execs().model().entry(row)->itemsCount())))
                  .toStdString());
    // The item-state popover lists each path with its state.
    execs().toggleItemStatePopover(row);
    ItemStatePopoverController* popover = execs().itemStatePopoverController();
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(popover->popoverIsShown());
    EXPECT_EQ(popover->nameTextField()->text(), "Vim");
    const auto& states = execs().model().entry(row)->state.states;
    ASSERT_EQ(popover->tableView()->rowCount(), static_cast<int>(states.size()));
    int vimrc = -1;
    for (int r = 0; r < popover->tableView()->rowCount(); ++r)
        if (popover->tableView()->item(r, 0)->text() == ".vimrc") vimrc = r;
    ASSERT_GE(vimrc, 0);
    EXPECT_EQ(popover->tableView()->item(vimrc, 1)->text().toStdString(),
              quillfen::localizedTitle(states.at(".vimrc").action));
    EXPECT_FALSE(popover->tableView()->cellWidget(vimrc, 2)->findChild<QToolButton*>()->isHidden())
        << "it exists here";
    for (int r = 0; r < popover->tableView()->rowCount(); ++r)
        if (r != vimrc) {
            EXPECT_TRUE(
                popover->tableView()->cellWidget(r, 2)->findChild<QToolButton*>()->isHidden())
                << r;
        }
    execs().toggleItemStatePopover(row);
    EXPECT_FALSE(popover->popoverIsShown());
    EXPECT_TRUE(execs()
                    .model()
                    .data(execs().model().index(row, execs().model().column("ExecFoundColumn")),
                          Qt::UserRole)
                    .toBool());
}

TEST_F(ItemListsTest, TheSwitchAndTheCommandsWriteIsEnabledAndFollowTheSelection) {
    launchWith({"Vim", "Nano"}, {});
    auto& list = execs();
    const int vim = rowOf(list, "Vim"), nano = rowOf(list, "Nano");
    ASSERT_GE(vim, 0);
    const QModelIndex vimSwitch = list.model().index(vim, list.model().column("ExecActionColumn"));
    EXPECT_EQ(list.model().data(vimSwitch, Qt::CheckStateRole).toInt(), Qt::Checked);
    ASSERT_TRUE(list.model().flags(vimSwitch) & Qt::ItemIsUserCheckable);

    // The switch: the package file holds the change once saved.
    list.model().setData(vimSwitch, Qt::Unchecked, Qt::CheckStateRole);
    settle();
    EXPECT_EQ(storedExecEnabled("Vim"), false);
    ASSERT_TRUE(waitUntil([&] {
        return list.model()
                   .data(list.model().index(rowOf(list, "Vim"),
                                            list.model().column("ExecActionColumn")),
                         Qt::CheckStateRole)
                   .toInt() == Qt::Unchecked;
    }));

    QAction* enable = list.action(ListCommand::enableSelectedItems);
    QAction* disable = list.action(ListCommand::disableSelectedItems);
    select(list, {});
    EXPECT_FALSE(enable->isEnabled());
    EXPECT_FALSE(disable->isEnabled());
    select(list, {rowOf(list, "Nano")});
    EXPECT_FALSE(enable->isEnabled()) << "Nano is on already";
    EXPECT_TRUE(disable->isEnabled());
    select(list, {rowOf(list, "Vim"), rowOf(list, "Nano")});
    EXPECT_TRUE(enable->isEnabled());
    EXPECT_TRUE(disable->isEnabled());

    enable->trigger();
    settle();
    EXPECT_EQ(storedExecEnabled("Vim"), true);
    EXPECT_EQ(storedExecEnabled("Nano"), true);
    ASSERT_TRUE(waitUntil([&] { return !enable->isEnabled(); }));

    // Space switches the selected rows: all were on, so all go off.
    list.action(ListCommand::toggleSelectedItems)->trigger();
    settle();
    EXPECT_EQ(storedExecEnabled("Vim"), false);
    EXPECT_EQ(storedExecEnabled("Nano"), false);
    (void)nano;
}

TEST_F(ItemListsTest, DeletingAsksWithTheNameOrTheCountAndCancelKeepsTheItems) {
    for (auto name : {"a.conf", "b.conf", "c.conf"})
        testsupport::writeFile(settings.home() / name, "x");
    launchWith({}, {"a.conf", "b.conf", "c.conf"});
    auto& list = files();
    ASSERT_EQ(list.model().rowCount(), 3);
    QAction* remove = list.action(ListCommand::deleteSelectedItems);
    EXPECT_EQ(remove->shortcut(), QKeySequence(QKeySequence::Delete));

    select(list, {1});
    remove->trigger();
    ASSERT_EQ(alerts->shown("BackupDeleteSingleItemAlert").size(), 1u);
    EXPECT_EQ(alerts->shown("BackupDeleteSingleItemAlert")[0].request.informativeText,
              keel::TL("BackupDeleteSingleItemAlertInformativeText", "b.conf"));
    ASSERT_TRUE(alerts->answer(0));
    settle();
    EXPECT_EQ(list.model().rowCount(), 3);

    select(list, {0, 1, 2});
    remove->trigger();
    ASSERT_EQ(alerts->shown("BackupDeleteSeveralItemsAlert").size(), 1u);
    EXPECT_EQ(alerts->shown("BackupDeleteSeveralItemsAlert")[0].request.informativeText,
              keel::TL("BackupDeleteSeveralItemsAlertInformativeText", std::size_t(3)));
    ASSERT_TRUE(alerts->answer(1));
    settle();
    ASSERT_TRUE(waitUntil([&] { return list.model().rowCount() == 0; }));
    EXPECT_TRUE(quillfen::BackupFile::open(packageURL())->fileItems().empty());
    EXPECT_TRUE(list.contentView()->isHidden());
    EXPECT_FALSE(list.messageView()->isHidden());
    EXPECT_TRUE(fs::exists(settings.home() / "b.conf")) << "only the package's records go";
}

TEST_F(ItemListsTest, AddingFilesKeepsThoseThatCanBeKeptAndSaysWhyOthersWereNot) {
    testsupport::writeFile(settings.home() / ".config/tool/settings.ini", "x");
    launchWith({}, {});
    auto& list = files();
    EXPECT_TRUE(list.contentView()->isHidden()) << "an empty list shows its message";
    panels->script({settings.home() / ".config/tool", settings.home() / "missing.conf"});
    list.action(ListCommand::addCustomFiles)->trigger();
    settle();
    ASSERT_TRUE(waitUntil([&] { return list.model().rowCount() == 1; }));
    EXPECT_EQ(list.model().entry(0)->path, ".config/tool");
    EXPECT_FALSE(list.contentView()->isHidden());
    const auto& request = panels->shown().back().request;
    EXPECT_TRUE(request.canChooseFiles && request.canChooseDirectories &&
                request.allowsMultipleSelection);
    ASSERT_EQ(alerts->shown("SomeFilesNotOnMainDiskAlert").size(), 1u);
    EXPECT_NE(alerts->shown("SomeFilesNotOnMainDiskAlert")[0].request.informativeText.find(
                  "missing.conf"),
              std::string::npos);
    EXPECT_EQ(quillfen::BackupFile::open(packageURL())->fileItems().size(), 1u);

    // Reveal selects what exists.
    select(list, {0});
    list.action(ListCommand::showItemsInFinder)->trigger();
    ASSERT_EQ(workspace->revealed.size(), 1u);
    EXPECT_EQ(workspace->revealed[0], std::vector<fs::path>{settings.home() / ".config/tool"});
}

// The colour in the middle of an icon drawn at the lists' size.
QColor centreOf(const QIcon& icon) {
    return icon.pixmap(QSize(24, 24)).toImage().pixelColor(12, 12);
}

void writePicture(const fs::path& file, const QColor& color) {
    fs::create_directories(file.parent_path());
    QImage picture(24, 24, QImage::Format_ARGB32);
    picture.fill(color);
    ASSERT_TRUE(picture.save(QString::fromStdString(file.string())));
}

TEST_F(ItemListsTest, AnApplicationShowsTheIconItsDesktopEntryNamesAndFallsBackSafely) {
    testsupport::TemporaryDirectory place;
    const fs::path icons = place.path() / "icons";
    testsupport::writeFile(icons / "QuillfenTest/index.theme",
                           "[Icon Theme]\nName=QuillfenTest\nDirectories=24x24/apps\n\n"
                           "[24x24/apps]\nSize=24\nType=Fixed\n");
    writePicture(icons / "QuillfenTest/24x24/apps/quillfen-test-editor.png", Qt::red);
    writePicture(place.path() / "pictures/viewer.png", Qt::blue);
    const fs::path pipe = place.path() / "pictures/pipe.png";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::pair<const char*, std::string> entries[] = {
        {"Quillfen Test Editor", "quillfen-test-editor"},
        {"Quillfen Test Legacy", "quillfen-test-editor.png"},
        {"Quillfen Test Viewer", (place.path() / "pictures/viewer.png").string()},
        {"Quillfen Test Piped", pipe.string()},
        {"Quillfen Test Unknown", "quillfen-test-no-such-icon"},
    };
    int number = 0;
    for (const auto& [name, icon] : entries)
        testsupport::writeFile(place.path() / "applications" /
                                   ("quillfen-test-" + std::to_string(++number) + ".desktop"),
                               "[Desktop Entry]\nType=Application\nName=" + std::string(name) +
                                   "\nExec=true\nIcon=" + icon + "\n");
    const ScopedIconTheme theme(icons, "QuillfenTest");
    quillfen::LocalResources::setDesktopEntryFolders({place.path() / "applications"});
    launchWith({}, {});
    auto& list = apps();
    if (rowOf(list, "Quillfen Test Editor") < 0)
        GTEST_SKIP() << "this process read the installed applications earlier";

    auto icon = [&](const char* name) {
        const int row = rowOf(list, name);
        EXPECT_GE(row, 0) << name;
        return qvariant_cast<QIcon>(list.model().data(
            list.model().index(row, list.model().column("AppIconColumn")), Qt::DecorationRole));
    };
    EXPECT_EQ(icon("Quillfen Test Editor").name(), "quillfen-test-editor");
    EXPECT_EQ(centreOf(icon("Quillfen Test Editor")), QColor(Qt::red));
    EXPECT_EQ(centreOf(icon("Quillfen Test Legacy")), QColor(Qt::red))
        << "the extension is dropped";
    EXPECT_EQ(centreOf(icon("Quillfen Test Viewer")), QColor(Qt::blue)) << "an absolute path";
    // A pipe is never opened (reading it would hang the window), nor is a
    // name the theme lacks an empty picture: both show the generic icon.
    for (const char* fallback : {"Quillfen Test Piped", "Quillfen Test Unknown"}) {
        const QIcon generic = icon(fallback);
        EXPECT_FALSE(generic.pixmap(QSize(24, 24)).isNull()) << fallback;
        EXPECT_NE(centreOf(generic), QColor(Qt::red)) << fallback;
        EXPECT_NE(centreOf(generic), QColor(Qt::blue)) << fallback;
    }
}

TEST_F(ItemListsTest, TheFoundMarkerExplainsInAPopoverWhetherAndWhereTheItemIsFound) {
    testsupport::writeFile(settings.home() / ".vimrc", "set number\n");
    launchWith({"Vim", "Nano"}, {});
    main().showContent(MainWindowController::execsList);
    main().window()->resize(920, 600);
    main().window()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main().window()));
    auto& list = execs();
    QTableView* table = list.tableView();
    auto clickMarker = [&](const char* name) {
        const QModelIndex marker =
            list.model().index(rowOf(list, name), list.model().column("ExecFoundColumn"));
        table->scrollTo(marker);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(marker).center());
    };
    const QModelIndex vimMarker =
        list.model().index(rowOf(list, "Vim"), list.model().column("ExecFoundColumn"));
    EXPECT_FALSE(list.model().data(vimMarker, Qt::ToolTipRole).isValid())
        << "the popover replaces the tooltip";

    clickMarker("Vim");
    FoundStatusPopoverController* popover = list.foundStatusPopoverController();
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(popover->popoverIsShown());
    EXPECT_TRUE(popover->statusIsFound());
    EXPECT_EQ(popover->tipTextField()->text().toStdString(), keel::TL("ItemsStatusFoundToolTip"));
    EXPECT_FALSE(popover->locationsTextField()->isHidden());
    EXPECT_TRUE(popover->locationsTextField()->text().contains("~/.vimrc"))
        << popover->locationsTextField()->text().toStdString();
    clickMarker("Vim");
    EXPECT_FALSE(popover->popoverIsShown());

    clickMarker("Nano");
    EXPECT_TRUE(popover->popoverIsShown());
    EXPECT_FALSE(popover->statusIsFound());
    EXPECT_EQ(popover->tipTextField()->text().toStdString(),
              keel::TL("ItemsStatusNotFoundToolTip"));
    EXPECT_TRUE(popover->locationsTextField()->isHidden());
    popover->closePopover();
}

TEST_F(ItemListsTest, TheItemsMenuFollowsTheShownListItsSelectionAndTheManager) {
    testsupport::writeFile(settings.home() / ".vimrc", "set number\n");
    launchWith({"Vim", "Nano"}, {});
    auto* menu = main().window()->menuBar()->findChild<QMenu*>("itemsMenu");
    ASSERT_NE(menu, nullptr);
    auto item = [&](const char* name) -> QAction* {
        for (QAction* action : menu->actions())
            if (action->objectName() == name) return action;
        ADD_FAILURE() << name;
        return new QAction(menu);
    };
    main().showContent(MainWindowController::execsList);
    auto& list = execs();
    select(list, {});
    for (const char* name : {"enableSelectedItems", "disableSelectedItems", "toggleSelectedItems",
                             "deleteSelectedItems", "showItemsInFinder", "addCustomFiles"})
        EXPECT_FALSE(item(name)->isEnabled()) << name;
    EXPECT_TRUE(item("toggleSelectedItems")->text().endsWith("\tSpace"))
        << "the shortcut is shown, and stays the list's";
    EXPECT_TRUE(item("toggleSelectedItems")->shortcut().isEmpty());

    select(list, {rowOf(list, "Nano")});
    EXPECT_FALSE(item("enableSelectedItems")->isEnabled()) << "Nano is on already";
    EXPECT_TRUE(item("disableSelectedItems")->isEnabled());
    EXPECT_TRUE(item("deleteSelectedItems")->isEnabled());
    EXPECT_FALSE(item("showItemsInFinder")->isEnabled()) << "nothing of Nano is here";
    select(list, {rowOf(list, "Vim")});
    EXPECT_TRUE(item("showItemsInFinder")->isEnabled());
    item("disableSelectedItems")->trigger();
    settle();
    EXPECT_EQ(storedExecEnabled("Vim"), false);
    ASSERT_TRUE(waitUntil([&] { return item("enableSelectedItems")->isEnabled(); }));

    // While the manager works nothing can be changed.
    main().backupButton()->click();
    ASSERT_TRUE(manager.isProcessing());
    EXPECT_FALSE(item("enableSelectedItems")->isEnabled());
    ASSERT_TRUE(waitForIdle());
    select(list, {rowOf(list, "Vim")});
    EXPECT_TRUE(item("enableSelectedItems")->isEnabled());

    // The note is no list.
    main().showContent(MainWindowController::notesList);
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
    }

    // Add Files asks for files and folders, hidden ones listed, from home.
    main().showContent(MainWindowController::filesList);
    ASSERT_TRUE(item("addCustomFiles")->isEnabled());
    panels->script({settings.home() / ".vimrc"});
    item("addCustomFiles")->trigger();
    settle();
    ASSERT_TRUE(waitUntil([&] { return files().model().rowCount() == 1; }));
    const auto& request = panels->shown().back().request;
    EXPECT_TRUE(request.showsHiddenFiles);
    EXPECT_EQ(request.directoryURL, keel::FileManager::noSandboxHomeURL());
}

}  // namespace
