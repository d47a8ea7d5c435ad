// The main window and the first-run sheet, driven through their real widgets.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include "app/ItemEditor.h"
#include "desktop/DesktopFixture.h"
#include "desktop/IntroWindowController.h"
#include "desktop/SidebarButton.h"
#include "gantry/ProgressIndicator.h"
#include "keel/DateFormatter.h"
#include "keel/LocalizedString.h"
#include "keel/NoteSubscriber.h"
#include "keel/Strings.h"

using namespace desktop;
using namespace desktop::testing;
using quillfen::BackupManager;
using Message = MainWindowController::Message;

namespace {

QString text(std::string_view key) {
    return QString::fromStdString(keel::TL(key));
}

class MainWindowTest : public DesktopTest {
protected:
    IntroWindowController* intro() {
        return qobject_cast<IntroWindowController*>(main().sheetWindowController());
    }
    bool commandsEnabled() {
        return main().backupButton()->isEnabled() && main().installButton()->isEnabled() &&
               main().synchronizeButton()->isEnabled();
    }
    bool commandsDisabled() {
        return !main().backupButton()->isEnabled() && !main().installButton()->isEnabled() &&
               !main().synchronizeButton()->isEnabled();
    }
};

}  // namespace

TEST_F(MainWindowTest, AFirstRunShowsTheIntroSheetWhoseContinueStoresTheLocation) {
    grantRoot();
    launch();
    ASSERT_TRUE(waitUntil([&] { return intro() && intro()->isSheetShown(); }));
    ASSERT_TRUE(waitForIdle());
    IntroWindowController* sheet = intro();
    EXPECT_EQ(sheet->window()->parentWidget(), main().window());
    EXPECT_EQ(sheet->window()->windowModality(), Qt::WindowModal);
    const fs::path defaultURL = *BackupManager::defaultBackupFileURL();
    EXPECT_EQ(sheet->pathTextField()->text().toStdString(),
              keel::abreviatingTildeInPath(defaultURL.string()));

    // Moving the package from the sheet: the buttons wait for the move, and
    // the path follows it.
    const fs::path moved = settings.home() / "Cloud" / "Mine.qfbackup";
    fs::create_directories(moved.parent_path());
    panels->script({moved});
    QAction* move = sheet->actionButton()->menu()->findChild<QAction*>("moveBackupFile");
    ASSERT_NE(move, nullptr);
    move->trigger();
    ASSERT_EQ(panels->shown().size(), 1u);
    EXPECT_EQ(panels->shown()[0].request.kind, gantry::PanelRequest::Kind::save);
    EXPECT_EQ(panels->shown()[0].window, sheet->window());
    ASSERT_TRUE(waitUntil([&] { return manager.isProcessing(); }));
    EXPECT_FALSE(sheet->continueButton()->isEnabled());
    EXPECT_FALSE(sheet->showFileButton()->isEnabled());
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sheet->continueButton()->isEnabled());
    EXPECT_EQ(sheet->pathTextField()->text().toStdString(), "~/Cloud/Mine.qfbackup");
    EXPECT_TRUE(fs::is_directory(moved));

    sheet->showFileButton()->click();
    ASSERT_EQ(workspace->revealed.size(), 1u);
    EXPECT_EQ(workspace->revealed[0], std::vector<fs::path>{moved});

    sheet->continueButton()->click();
    EXPECT_EQ(keel::UserSettings::standard().get(BackupManager::backupFileURLLocationKey), moved);
    ASSERT_TRUE(waitUntil([&] { return main().sheetWindowController() == nullptr; }));

    // Not offered again.
    main().firstRunCheck();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(main().sheetWindowController(), nullptr);
    EXPECT_TRUE(alerts->shown().empty());
}

TEST_F(MainWindowTest, WithoutAccessTheMessageAsksForItAndOnlyTheTopFolderGrantsIt) {
    if (hasRoot()) GTEST_SKIP() << "access was granted earlier in this process";
    storeLocation(packageURL());
    launch();
    EXPECT_EQ(main().message(), Message::authorizationRequired);
    EXPECT_TRUE(main().messageView()->isVisible());
    EXPECT_FALSE(main().contentView()->isVisible());
    EXPECT_TRUE(main().messageButton()->isVisible());
    EXPECT_FALSE(main().progressIndicator()->isVisible());
    EXPECT_EQ(main().messageTitleField()->text(), text("DiskUserAutorizationRequiredTitle"));
    EXPECT_TRUE(commandsDisabled());
    EXPECT_FALSE(manager.isProcessing()) << "nothing is read without access";

    // Cancelled, then another folder: refused each time, nothing changes.
    panels->script({});
    panels->script({settings.home()});
    for (int attempt = 1; attempt <= 2; ++attempt) {
        main().messageButton()->click();
        ASSERT_TRUE(waitUntil([&] {
            return alerts->shown("RootNotAllowedAlert").size() == static_cast<std::size_t>(attempt);
        }));
        EXPECT_EQ(main().message(), Message::authorizationRequired);
        EXPECT_FALSE(hasRoot());
    }
    const auto& request = panels->shown().back().request;
    EXPECT_EQ(request.directoryURL, fs::path("/"));
    EXPECT_TRUE(request.canChooseDirectories);
    EXPECT_FALSE(request.canChooseFiles);
    EXPECT_FALSE(request.canCreateDirectories);

    panels->script({"/"});
    main().messageButton()->click();
    ASSERT_TRUE(waitUntil([&] { return hasRoot(); }));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(main().message(), Message::none);
    EXPECT_FALSE(main().messageView()->isVisible());
    EXPECT_TRUE(main().contentView()->isVisible());
    EXPECT_NE(manager.file(), nullptr);
    EXPECT_TRUE(fs::is_directory(packageURL()));
    EXPECT_TRUE(commandsEnabled());
    EXPECT_EQ(alerts->shown().size(), 2u);
}

TEST_F(MainWindowTest, BackUpMakesARealBackupWithTheCommandsDisabledWhileItRuns) {
    grantRoot();
    storeLocation(packageURL());
    testsupport::writeFile(settings.home() / ".vimrc", "set number\n");
    testsupport::writeFile(settings.home() / ".nanorc", "set tabsize 4\n");
    {
        auto file = quillfen::BackupFile::open(packageURL());
        quillfen::ItemEditor(file).add(quillfen::ItemKind::exec, {"Vim", "Nano"});
        file->save();
    }
    launch();
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(commandsEnabled());
    EXPECT_EQ(main().historyButton()->text(), text("HistoryButtonEmptyHistoryTitle"));

    std::vector<std::string> posted;
    keel::NoteSubscriber subscriber;
    subscriber.subscribe({BackupManager::willProcessNotification}, &manager,
                         [&](const keel::Notification& n) { posted.push_back(n.name); });
    QTest::mouseClick(main().backupButton(), Qt::LeftButton);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_TRUE(commandsDisabled());
    EXPECT_EQ(main().message(), Message::processing);
    EXPECT_TRUE(main().progressIndicator()->isAnimating());
    EXPECT_EQ(main().messageSubTitleField()->text(),
              QString::fromStdString(
                  keel::TL("QuillfenIsProcessingSubtitle",
                           quillfen::progressTitle(quillfen::BackupAction::backUpDevice))));
    // A second press while it runs starts nothing.
    main().backupDevice();
    EXPECT_EQ(posted.size(), 1u);

    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(commandsEnabled());
    EXPECT_EQ(main().message(), Message::none);
    EXPECT_FALSE(main().progressIndicator()->isAnimating());
    const auto file = manager.file();
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->dataItem(".vimrc").has_value());
    EXPECT_TRUE(file->dataItem(".nanorc").has_value());
    ASSERT_EQ(file->eventItems().size(), 1u);
    const keel::DateFormatter shortDate(keel::DateFormatter::Style::shortStyle,
                                        keel::DateFormatter::Style::none);
    EXPECT_EQ(main().historyButton()->text().toStdString(), shortDate.string(keel::Date::now()));
    EXPECT_TRUE(alerts->shown().empty()) << alerts->shown()[0].request.informativeText;
}

TEST_F(MainWindowTest, AFailedReadShowsTheAlertNamingThePackageAndWhy) {
    grantRoot();
    // A file where the package should be: no package can be read there.
    const fs::path package = settings.home() / "Broken.qfbackup";
    testsupport::writeFile(package, "not a package");
    storeLocation(package);
    launch();
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(waitUntil([&] { return !alerts->shown().empty(); }));
    const auto shown = alerts->shown("BackupErrorDidOccurAlert");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].window, main().window());
    EXPECT_FALSE(shown[0].modal);
    const std::string& informative = shown[0].request.informativeText;
    EXPECT_NE(informative.find(package.string()), std::string::npos) << informative;
    EXPECT_NE(informative.find(quillfen::progressTitle(quillfen::BackupAction::readBackupFile)),
              std::string::npos)
        << informative;
    EXPECT_EQ(manager.file(), nullptr);
    EXPECT_TRUE(commandsDisabled()) << "no package is open";
    EXPECT_EQ(main().message(), Message::none);
}

TEST_F(MainWindowTest, TheSidebarSwitchesTheContentAndAnnouncesOnlyRealChanges) {
    grantRoot();
    storeLocation(packageURL());
    launch();
    ASSERT_TRUE(waitForIdle());
    std::vector<std::string> posted;
    keel::NoteSubscriber subscriber;
    subscriber.subscribe({MainWindowController::willChangeContentNotification,
                          MainWindowController::didChangeContentNotification},
                         &main(), [&](const keel::Notification& n) { posted.push_back(n.name); });
    EXPECT_EQ(main().displayedContentIndex(), MainWindowController::appsList);
    EXPECT_TRUE(main().sidebarButton(0)->isChecked());

    QTest::mouseClick(main().sidebarButton(MainWindowController::filesList), Qt::LeftButton);
    EXPECT_EQ(main().displayedContentIndex(), MainWindowController::filesList);
    EXPECT_EQ(posted,
              (std::vector<std::string>{MainWindowController::willChangeContentNotification,
                                        MainWindowController::didChangeContentNotification}));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(main().sidebarButton(i)->isChecked(), i == MainWindowController::filesList);
    EXPECT_TRUE(main().window()->findChild<QWidget*>("FilesListView")->isVisible());
    EXPECT_FALSE(main().window()->findChild<QWidget*>("AppsListView")->isVisible());

    // The button of the content shown: it stays on, and nothing is posted.
    QTest::mouseClick(main().sidebarButton(MainWindowController::filesList), Qt::LeftButton);
    EXPECT_TRUE(main().sidebarButton(MainWindowController::filesList)->isChecked());
    EXPECT_EQ(posted.size(), 2u);
}
