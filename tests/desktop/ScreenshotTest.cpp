// Renders the main window, light and dark, with the first-run sheet and
// while at work, into the build's "screenshots" folder, for people to look
// at. Nothing is compared: the test fails only when a picture cannot be
// made or written.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QListWidget>
#include <QMainWindow>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QToolButton>

#include <QMessageBox>

#include "app/ItemEditor.h"
#include "desktop/AboutDialog.h"
#include "desktop/DesktopFixture.h"
#include "desktop/ExecsListViewController.h"
#include "desktop/FoundStatusPopoverController.h"
#include "desktop/HistoryPopoverController.h"
#include "desktop/IntroWindowController.h"
#include "desktop/ItemStatePopoverController.h"
#include "desktop/LogsWindowController.h"
#include "desktop/NotesListViewController.h"
#include "desktop/PreferencesExclusionsViewController.h"
#include "desktop/PreferencesWindowController.h"
#include "gantry/FileChooserDialog.h"
#include "gantry/QtAlertPresenter.h"
#include "gantry/QtPanelPresenter.h"
#include "gantry/TipsManager.h"
#include "keel/LocalizedString.h"
#include "support/DarkPalette.h"

using namespace desktop;
using namespace desktop::testing;

using quillfen::testing::darkPalette;

namespace {

class ScreenshotTest : public DesktopTest {
protected:
    ScreenshotTest() : folder_(QUILLFEN_SCREENSHOT_DIR) { QDir().mkpath(folder_); }
    ~ScreenshotTest() override {
        QApplication::setPalette(QApplication::style()->standardPalette());
    }

    void save(QWidget* widget, const QString& name) {
        QCoreApplication::processEvents();
        const QPixmap picture = widget->grab();
        ASSERT_FALSE(picture.isNull()) << name.toStdString();
        EXPECT_TRUE(picture.save(QDir(folder_).filePath(name + ".png"))) << name.toStdString();
    }
    // The main window with a dialog of it drawn over its centre, the way a
    // sheet shows.
    void saveWithSheet(QWidget* window, QWidget* sheet, const QString& name) {
        QCoreApplication::processEvents();
        QPixmap picture = window->grab();
        const QPixmap dialog = sheet->grab();
        QPainter painter(&picture);
        painter.fillRect(picture.rect(), QColor(0, 0, 0, 60));
        const QPoint origin((picture.width() / picture.devicePixelRatio() - dialog.width()) / 2,
                            40);
        painter.drawPixmap(origin, dialog);
        painter.end();
        EXPECT_TRUE(picture.save(QDir(folder_).filePath(name + ".png"))) << name.toStdString();
    }

    // The main window with a popover drawn where it opens, its arrow at the
    // anchor. A popover is a window of its own placed on the screen, so it
    // may reach past the main window's edge: the picture grows to hold both.
    void saveWithPopover(QWidget* window, QWidget* popover, const QString& name) {
        QCoreApplication::processEvents();
        const QPixmap main = window->grab();
        const QPixmap panel = popover->grab();
        const QPoint origin = window->mapToGlobal(QPoint(0, 0));
        const QRect mainRect(QPoint(0, 0), main.deviceIndependentSize().toSize());
        const QRect panelRect(popover->mapToGlobal(QPoint(0, 0)) - origin,
                              panel.deviceIndependentSize().toSize());
        const QRect canvas = mainRect.united(panelRect);
        QPixmap picture(canvas.size());
        picture.fill(QColor(128, 128, 128));
        QPainter painter(&picture);
        painter.drawPixmap(mainRect.topLeft() - canvas.topLeft(), main);
        painter.drawPixmap(panelRect.topLeft() - canvas.topLeft(), panel);
        painter.end();
        EXPECT_TRUE(picture.save(QDir(folder_).filePath(name + ".png"))) << name.toStdString();
    }

    QString folder_;
};

}  // namespace

TEST_F(ScreenshotTest, MainWindowLightAndDark) {
    grantRoot();
    storeLocation(packageURL());
    // The tips would cover the picture.
    markTipsShown();
    testsupport::writeFile(settings.home() / ".vimrc", "set number\n");
    launch();
    ASSERT_TRUE(waitForIdle());
    {
        auto file = manager.file();
        quillfen::ItemEditor(file).add(quillfen::ItemKind::exec, {"Vim"});
        file->save();
    }
    main().synchronizeButton()->click();
    ASSERT_TRUE(waitForIdle());
    QMainWindow* window = main().window();
    window->resize(920, 600);

    QApplication::setPalette(QApplication::style()->standardPalette());
    save(window, "main-window-light");
    QApplication::setPalette(darkPalette());
    save(window, "main-window-dark");

    // At work, and with the authorization message, dark then light.
    main().backupButton()->click();
    ASSERT_TRUE(manager.isProcessing());
    save(window, "main-window-processing-dark");
    QApplication::setPalette(QApplication::style()->standardPalette());
    save(window, "main-window-processing-light");
    ASSERT_TRUE(waitForIdle());
}

TEST_F(ScreenshotTest, FirstRunSheetAndAuthorizationMessage) {
    if (hasRoot()) GTEST_SKIP() << "access was granted earlier in this process";
    // The package where it is by default, so that the sheet shows it as a
    // user sees it: under "~".
    testsupport::ScopedEnv data("XDG_DATA_HOME", (settings.home() / ".local/share").string());
    launch();
    ASSERT_TRUE(waitUntil([&] { return main().sheetWindowController() != nullptr; }));
    auto* intro = qobject_cast<IntroWindowController*>(main().sheetWindowController());
    ASSERT_NE(intro, nullptr);
    main().window()->resize(920, 600);
    QApplication::setPalette(QApplication::style()->standardPalette());
    saveWithSheet(main().window(), intro->window(), "intro-sheet-light");
    QApplication::setPalette(darkPalette());
    saveWithSheet(main().window(), intro->window(), "intro-sheet-dark");
    intro->continueButton()->click();
    ASSERT_TRUE(waitUntil([&] { return main().sheetWindowController() == nullptr; }));
    save(main().window(), "authorization-dark");
    QApplication::setPalette(QApplication::style()->standardPalette());
    save(main().window(), "authorization-light");
}

TEST_F(ScreenshotTest, TipsErrorAlertAndAboutWindow) {
    grantRoot();
    storeLocation(packageURL());
    launch();
    ASSERT_TRUE(waitForIdle());
    QMainWindow* window = main().window();
    window->resize(920, 600);
    QApplication::setPalette(QApplication::style()->standardPalette());

    main().tipsManager().showTips();
    ASSERT_TRUE(main().tipsManager().tipsAreShown());
    save(window, "tips-light");
    QApplication::setPalette(darkPalette());
    save(window, "tips-dark");
    main().tipsManager().closeTips();
    QApplication::setPalette(QApplication::style()->standardPalette());

    // The alert of a failed read, as the program's own presenter shows it.
    const fs::path broken = settings.home() / "Broken.qfbackup";
    testsupport::writeFile(broken, "not a package");
    storeLocation(broken);
    context->submit(quillfen::BackupAction::readBackupFile);
    ASSERT_TRUE(waitUntil([&] { return !alerts->shown("BackupErrorDidOccurAlert").empty(); }));
    gantry::QtAlertPresenter presenter;
    presenter.beginSheet(window, alerts->shown("BackupErrorDidOccurAlert")[0].request, {});
    auto* box = window->findChild<QMessageBox*>("BackupErrorDidOccurAlert");
    ASSERT_NE(box, nullptr);
    saveWithSheet(window, box, "error-alert-light");
    box->close();

    app->showAboutWindow();
    auto* about = window->findChild<AboutDialog*>("AboutWindow");
    ASSERT_NE(about, nullptr);
    save(about, "about-light");
    QApplication::setPalette(darkPalette());
    save(about, "about-dark");
    about->close();
}

TEST_F(ScreenshotTest, ItemListsLightAndDark) {
    // Two installed applications whose desktop entries name icons of a
    // theme, drawn as simple shapes.
    const testsupport::TemporaryDirectory place;
    testsupport::writeFile(place.path() / "icons/ShotTheme/index.theme",
                           "[Icon Theme]\nName=ShotTheme\nDirectories=32x32/apps\n\n"
                           "[32x32/apps]\nSize=32\nType=Fixed\n");
    const std::pair<const char*, QColor> pictures[] = {{"abacus-notes", QColor("#e0a030")},
                                                       {"acorn-viewer", QColor("#3a8ee6")}};
    for (const auto& [name, color] : pictures) {
        QImage picture(32, 32, QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(color);
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(3, 3, 26, 26), 7, 7);
        painter.end();
        const fs::path file =
            place.path() / "icons/ShotTheme/32x32/apps" / (std::string(name) + ".png");
        fs::create_directories(file.parent_path());
        picture.save(QString::fromStdString(file.string()));
    }
    testsupport::writeFile(place.path() / "applications/abacus-notes.desktop",
                           "[Desktop Entry]\nType=Application\nName=Abacus Notes\nExec=true\n"
                           "Icon=abacus-notes\n");
    testsupport::writeFile(place.path() / "applications/acorn-viewer.desktop",
                           "[Desktop Entry]\nType=Application\nName=Acorn Viewer\nExec=true\n"
                           "Icon=acorn-viewer\n");
    const ScopedIconTheme theme(place.path() / "icons", "ShotTheme");
    quillfen::LocalResources::setDesktopEntryFolders({place.path() / "applications"});

    grantRoot();
    storeLocation(packageURL());
    markTipsShown();
    testsupport::writeFile(settings.home() / ".vimrc", "set number\n");
    testsupport::writeFile(settings.home() / ".config/tool/settings.ini", "x");
    testsupport::writeFile(settings.home() / "Notes.txt", "x");
    {
        auto file = quillfen::BackupFile::open(packageURL());
        quillfen::ItemEditor editor(file);
        editor.add(quillfen::ItemKind::exec, {"Vim", "Nano", "Git"});
        editor.add(quillfen::ItemKind::file, {".config/tool", "Notes.txt"});
        file->save();
    }
    launch();
    ASSERT_TRUE(waitForIdle());
    main().backupButton()->click();
    ASSERT_TRUE(waitForIdle());
    QMainWindow* window = main().window();
    window->resize(920, 600);
    auto* execs = static_cast<ExecsListViewController*>(
        main().contentViewControllers()[MainWindowController::execsList]);
    int vim = 0;
    while (execs->model().entry(vim) && execs->model().entry(vim)->name != "Vim")
        ++vim;
    // A selected row shows its card's outline.
    execs->tableView()->selectRow(vim);
    execs->tableView()->scrollTo(execs->model().index(vim, 0));
    const std::pair<int, QString> lists[] = {{MainWindowController::appsList, "apps-list"},
                                             {MainWindowController::execsList, "execs-list"},
                                             {MainWindowController::filesList, "files-list"}};
    for (const auto& [index, name] : lists) {
        main().showContent(index);
        QApplication::setPalette(QApplication::style()->standardPalette());
        save(window, name + "-light");
        QApplication::setPalette(darkPalette());
        save(window, name + "-dark");
    }

    main().showContent(MainWindowController::execsList);
    execs->tableView()->scrollTo(execs->model().index(vim, 0));
    window->show();
    execs->toggleItemStatePopover(vim);
    ASSERT_NE(execs->itemStatePopoverController(), nullptr);
    auto* popover = execs->itemStatePopoverController()->popover();
    ASSERT_NE(popover, nullptr);
    saveWithPopover(window, popover, "item-state-popover-dark");
    QApplication::setPalette(QApplication::style()->standardPalette());
    saveWithPopover(window, popover, "item-state-popover-light");
    execs->toggleItemStatePopover(vim);

    execs->toggleFoundStatusPopover(vim);
    ASSERT_NE(execs->foundStatusPopoverController(), nullptr);
    auto* found = execs->foundStatusPopoverController()->popover();
    ASSERT_NE(found, nullptr);
    saveWithPopover(window, found, "found-status-popover-light");
    QApplication::setPalette(darkPalette());
    saveWithPopover(window, found, "found-status-popover-dark");
    execs->toggleFoundStatusPopover(vim);
}

TEST_F(ScreenshotTest, AddFilesChooserLightAndDark) {
    for (const char* name : {".bashrc", ".gitconfig", ".vimrc", "Notes.txt", "todo.md"})
        testsupport::writeFile(settings.home() / name, "x");
    for (const char* name : {".config/tool/settings.ini", ".local/share/x", "Documents/a.txt"})
        testsupport::writeFile(settings.home() / name, "x");
    QWidget window;
    window.resize(920, 600);
    window.show();
    gantry::PanelRequest request;
    request.name = "AddFilesPanel";
    request.prompt = keel::TL("AddFilesPanelPromptButton");
    request.directoryURL = settings.home();
    request.canChooseDirectories = true;
    request.allowsMultipleSelection = true;
    request.showsHiddenFiles = true;
    gantry::QtPanelPresenter presenter;
    presenter.beginSheet(&window, request, {});
    auto* chooser = window.findChild<gantry::FileChooserDialog*>("AddFilesPanel");
    ASSERT_NE(chooser, nullptr);
    ASSERT_TRUE(waitUntil([&] { return chooser->directoryIsLoaded(); }));
    chooser->selectURLs({settings.home() / ".config", settings.home() / ".vimrc"});
    QApplication::setPalette(QApplication::style()->standardPalette());
    save(chooser, "add-files-chooser-light");
    QApplication::setPalette(darkPalette());
    save(chooser, "add-files-chooser-dark");
    chooser->reject();
}

TEST_F(ScreenshotTest, HistoryPopoverAndLogsSheet) {
    grantRoot();
    storeLocation(packageURL());
    markTipsShown();
    testsupport::writeFile(settings.home() / ".vimrc", "set number\n");
    {
        auto file = quillfen::BackupFile::open(packageURL());
        quillfen::ItemEditor(file).add(quillfen::ItemKind::exec, {"Vim", "Nano"});
        file->save();
    }
    launch();
    ASSERT_TRUE(waitForIdle());
    main().synchronizeButton()->click();
    ASSERT_TRUE(waitForIdle());
    main().backupButton()->click();
    ASSERT_TRUE(waitForIdle());
    QMainWindow* window = main().window();
    window->resize(920, 600);
    window->show();
    ASSERT_TRUE(waitUntil(
        [&] { return main().historyPopoverController().historyTableView()->count() == 2; }));
    main().toggleHistoryPopover();
    auto* popover = main().historyPopoverController().popover();
    ASSERT_NE(popover, nullptr);
    QApplication::setPalette(QApplication::style()->standardPalette());
    saveWithPopover(window, popover, "history-popover-light");
    QApplication::setPalette(darkPalette());
    saveWithPopover(window, popover, "history-popover-dark");
    main().toggleHistoryPopover();

    std::vector<quillfen::SyncResult> results(2);
    results[0].identifier = "Vim";
    results[0].errors[".vimrc"].description = "Input/output error";
    results[1].identifier = "Git";
    results[1].errors[".gitconfig"].description = "No space left on device";
    results[1].errors[".config/git/ignore"].description = "No space left on device";
    LogsWindowController logs(results);
    logs.window()->resize(560, 380);
    saveWithSheet(window, logs.window(), "logs-sheet-dark");
    QApplication::setPalette(QApplication::style()->standardPalette());
    saveWithSheet(window, logs.window(), "logs-sheet-light");
}

TEST_F(ScreenshotTest, NotesViewEditAndPreviewLightAndDark) {
    grantRoot();
    storeLocation(packageURL());
    markTipsShown();
    {
        auto file = quillfen::BackupFile::open(packageURL());
        file->setNote(
            "# New computer\n\nInstall by hand, **before** the first *Install*:\n\n"
            "- `brew install ffmpeg imagemagick`\n- the fonts in [Fonts](https://example.com)\n"
            "1. sign in to the cloud drive\n\n> Keep the package in the synced folder.\n\n"
            "```sh\nsudo apt install git\n```\n");
        file->save();
    }
    launch();
    ASSERT_TRUE(waitForIdle());
    QMainWindow* window = main().window();
    window->resize(920, 600);
    main().showContent(MainWindowController::notesList);
    auto& notes = *static_cast<NotesListViewController*>(main().contentViewControllers()[3]);
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
        const QString suffix = dark ? "-dark" : "-light";
        notes.setPreviewShown(false);
        save(window, "notes-edit" + suffix);
        notes.perform(NotesListViewController::Command::togglePreview);
        ASSERT_TRUE(notes.isPreviewShown());
        save(window, "notes-preview" + suffix);
    }
}

TEST_F(ScreenshotTest, PreferencesPanesLightAndDark) {
    grantRoot();
    storeLocation(packageURL());
    markTipsShown();
    keel::UserSettings::standard().set(quillfen::BackupManager::enableNoteAfterProcessingKey, true);
    launch();
    ASSERT_TRUE(waitForIdle());
    const fs::path home = settings.home();
    fs::create_directories(home / ".config/gh");
    testsupport::writeFile(home / ".netrc", "");
    quillfen::LocalResources::shared().setExcludedFileURLs(
        {home / ".config/gh", home / ".netrc", home / ".ssh/known_hosts"});
    app->openPreferences();
    PreferencesWindowController& preferences = app->preferencesWindowController();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
        const QString suffix = dark ? "-dark" : "-light";
        preferences.showPane(PreferencesWindowController::general);
        save(preferences.window(), "preferences-general" + suffix);
        preferences.showPane(PreferencesWindowController::exclusions);
        preferences.exclusionsViewController().filesTableView()->item(1)->setSelected(true);
        save(preferences.window(), "preferences-exclusions" + suffix);
    }
    preferences.exclusionsViewController().toggleHelpPopover();
    QCoreApplication::processEvents();
    save(preferences.exclusionsViewController().helpPopover(), "preferences-exclusions-help-dark");
    preferences.exclusionsViewController().toggleHelpPopover();
    quillfen::LocalResources::shared().setExcludedFileURLs({});
}

TEST_F(ScreenshotTest, NotesViewWithoutANote) {
    grantRoot();
    storeLocation(packageURL());
    markTipsShown();
    launch();
    ASSERT_TRUE(waitForIdle());
    main().window()->resize(920, 600);
    main().showContent(MainWindowController::notesList);
    QApplication::setPalette(QApplication::style()->standardPalette());
    save(main().window(), "notes-empty-light");
}
