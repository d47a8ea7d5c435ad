// The desktop tests' fixture: the real application controller and windows
// over a home folder and settings file of their own, a backup manager that
// does not wait before its work, scripted alerts and panels, a recording
// workspace, a release kit with nothing configured, and an exit that is
// recorded instead of ending the test program.
//
// The test program's main() makes the QApplication (offscreen) and drives
// keel's main queue from its event loop, as the program does.
#pragma once

#include <gtest/gtest.h>

#include <QIcon>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/BackupManager.h"
#include "backup/BackupFile.h"
#include "desktop/AppController.h"
#include "desktop/MainWindowController.h"
#include "desktop/ScriptedPresenters.h"
#include "desktop/ShellContext.h"
#include "gantry/UserNotificationCenter.h"
#include "keel/UserSettings.h"
#include "local/AccessManager.h"
#include "local/LocalResources.h"
#include "outfitter/ReleaseController.h"
#include "support/IsolatedSettings.h"
#include "support/TestSupport.h"

namespace desktop::testing {

// Points Qt's icon theme at a folder of the test's for as long as it lives,
// then gives the process its own theme back.
class ScopedIconTheme {
public:
    ScopedIconTheme(const std::filesystem::path& folder, const QString& name)
        : paths_(QIcon::themeSearchPaths()), name_(QIcon::themeName()) {
        QIcon::setThemeSearchPaths({QString::fromStdString(folder.string())});
        QIcon::setThemeName(name);
    }
    ~ScopedIconTheme() {
        QIcon::setThemeSearchPaths(paths_);
        QIcon::setThemeName(name_);
    }
    ScopedIconTheme(const ScopedIconTheme&) = delete;
    ScopedIconTheme& operator=(const ScopedIconTheme&) = delete;

private:
    QStringList paths_;
    QString name_;
};

// The applications folder every desktop test scans: empty.
inline const fs::path& emptyApplicationsFolder() {
    static const testsupport::TemporaryDirectory folder;
    return folder.path();
}

class DesktopTest : public ::testing::Test {
protected:
    DesktopTest() {
        quillfen::LocalResources::setApplicationsDirectory(emptyApplicationsFolder());
        manager.setProcessingDelay(std::chrono::milliseconds(0));
        context = std::make_unique<ShellContext>(manager, alerts, panels, workspace, notifications);
        context->setFirstRunDelay(std::chrono::milliseconds(0));
        context->setExit([this](int code) { exitCodes.push_back(code); });
    }
    ~DesktopTest() override {
        waitForIdle();
        app.reset();
        context.reset();
    }

    // Grants access to the whole disk, as the user does once.
    static void grantRoot() { quillfen::AccessManager::shared().addAccess("/"); }
    static bool hasRoot() { return quillfen::AccessManager::shared().hasAccess("/"); }

    fs::path packageURL() const { return *manager.backupFileURL(); }
    // Marks the first run as done, so that no intro sheet comes.
    void storeLocation(const fs::path& url) {
        keel::UserSettings::standard().set(quillfen::BackupManager::backupFileURLLocationKey,
                                           std::optional(url));
    }

    // Marks the main window's tips as shown, so that none comes over what a
    // test looks at.
    static void markTipsShown() {
        keel::UserSettings::standard().set(
            keel::EvaluedUserSettingKey<bool>{"TipsShownMainWindow", false}, true);
    }

    void launch() {
        app = std::make_unique<AppController>(*context, release, MakerLinks{});
        app->applicationWillFinishLaunching();
        app->applicationDidFinishLaunching();
    }
    MainWindowController& main() { return app->mainWindowController(); }

    // Drives the event loop until `condition` holds (at most 20 seconds).
    template <class Condition>
    static bool waitUntil(Condition condition) {
        return QTest::qWaitFor(condition, 20000);
    }
    bool waitForIdle() {
        return waitUntil([this] { return !manager.isProcessing(); });
    }

    quillfen::testing::IsolatedSettings settings;
    quillfen::BackupManager manager;
    std::shared_ptr<ScriptedAlertPresenter> alerts = std::make_shared<ScriptedAlertPresenter>();
    std::shared_ptr<ScriptedPanelPresenter> panels = std::make_shared<ScriptedPanelPresenter>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    std::shared_ptr<gantry::UserNotificationCenter> notifications =
        std::make_shared<gantry::UserNotificationCenter>("Quillfen", "quillfen-gui",
                                                         "quillfen-gui");
    outfitter::ReleaseController release;
    std::unique_ptr<ShellContext> context;
    std::unique_ptr<AppController> app;
    std::vector<int> exitCodes;
};

}  // namespace desktop::testing
