#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>

#include "app/ItemEditor.h"
#include "desktop/DesktopFixture.h"
#include "desktop/PreferencesExclusionsViewController.h"
#include "desktop/PreferencesGeneralViewController.h"
#include "desktop/PreferencesWindowController.h"
#include "keel/DispatchQueue.h"
#include "keel/Strings.h"
#include "outfitter/ReleaseSettings.h"
#include "outfitter/UserActionsTracker.h"

using namespace desktop;
using namespace desktop::testing;

namespace {

class PreferencesTest : public DesktopTest {
protected:
    ~PreferencesTest() override {
        // The exclusion list is the process's: the next test starts without one.
        quillfen::LocalResources::shared().setExcludedFileURLs({});
    }

    void launchWithPackage() {
        grantRoot();
        storeLocation(packageURL());
        markTipsShown();
        launch();
        ASSERT_TRUE(waitForIdle());
        app->openPreferences();
    }
    PreferencesGeneralViewController& general() {
        return app->preferencesWindowController().generalViewController();
    }
    PreferencesExclusionsViewController& exclusions() {
        return app->preferencesWindowController().exclusionsViewController();
    }
    // Lets a panel's or an alert's answer arrive and the process it starts end.
    void settle() {
        for (int round = 0; round < 3; ++round) {
            bool reached = false;
            keel::DispatchQueue::main().async([&] { reached = true; });
            ASSERT_TRUE(waitUntil([&] { return reached; }));
            ASSERT_TRUE(waitForIdle());
        }
    }
    // A package of its own at `url` holding the executable `exec`.
    static void makePackage(const fs::path& url, const std::string& exec) {
        auto file = quillfen::BackupFile::open(url);
        quillfen::ItemEditor(file).add(quillfen::ItemKind::exec, {exec});
        file->save();
    }
    static QString shown(const fs::path& url) {
        return QString::fromStdString(keel::abreviatingTildeInPath(url.string()));
    }
};

}  // namespace

TEST_F(PreferencesTest, TheWindowHasTheGeneralPaneThenTheExclusionsPane) {
    launchWithPackage();
    PreferencesWindowController& preferences = app->preferencesWindowController();
    EXPECT_TRUE(preferences.window()->isVisible());
    ASSERT_EQ(preferences.tabBar()->count(), 2);
    ASSERT_EQ(preferences.paneStack()->count(), 2);
    EXPECT_EQ(preferences.paneStack()->widget(0), general().view());
    EXPECT_EQ(preferences.paneStack()->widget(1), exclusions().view());
    preferences.tabBar()->setCurrentIndex(1);
    EXPECT_EQ(preferences.paneStack()->currentWidget(), exclusions().view());
    preferences.tabBar()->setCurrentIndex(0);
    EXPECT_EQ(general().backupFilePathTextField()->text(), shown(packageURL()));
    for (const char* name :
         {"backupFilePathTextField", "changeFileButton", "replaceFileButton", "importFileButton",
          "exportFileButton", "showFileButton", "noteAfterProcessButton", "alertAfterProcessButton",
          "usageStatisticsButton", "automaticUpdatesButton"})
        EXPECT_NE(general().view()->findChild<QWidget*>(name), nullptr) << name;
    // This build has no update feed: nothing to switch.
    EXPECT_TRUE(general().automaticUpdatesButton()->isHidden());
    general().showFileButton()->click();
    ASSERT_EQ(workspace->revealed.size(), 1u);
    EXPECT_EQ(workspace->revealed.front(), std::vector{packageURL()});
}

TEST_F(PreferencesTest, MoveReplaceImportAndExportActOnThePackageAndCancelChangesNothing) {
    launchWithPackage();
    const fs::path original = packageURL();
    // Cancelled panels and a cancelled confirmation: no process, no panel.
    general().changeFileButton()->click();
    general().exportFileButton()->click();
    settle();
    alerts->script(0);
    general().importFileButton()->click();
    settle();
    EXPECT_EQ(panels->shown().size(), 2u) << "Cancel shows no panel";
    EXPECT_EQ(packageURL(), original);

    const fs::path moved = settings.home() / "Sync" / "Moved.qfbackup";
    fs::create_directories(moved.parent_path());
    panels->script({moved});
    general().changeFileButton()->click();
    settle();
    EXPECT_EQ(packageURL(), moved);
    EXPECT_TRUE(fs::is_directory(moved));
    EXPECT_FALSE(fs::exists(original));
    EXPECT_EQ(general().backupFilePathTextField()->text(), shown(moved));
    EXPECT_TRUE(general().changeFileButton()->isEnabled());

    const fs::path exported = settings.home() / "Copy.qfbackup";
    panels->script({exported});
    general().exportFileButton()->click();
    settle();
    EXPECT_TRUE(fs::is_directory(exported));
    EXPECT_EQ(packageURL(), moved);

    const fs::path other = settings.home() / "Other.qfbackup";
    makePackage(other, "Vim");
    alerts->script(1);
    panels->script({other});
    general().replaceFileButton()->click();
    settle();
    EXPECT_EQ(packageURL(), other);
    EXPECT_EQ(general().backupFilePathTextField()->text(), shown(other));
    EXPECT_TRUE(manager.file()->execItem("Vim").has_value());

    const fs::path imported = settings.home() / "Imported.qfbackup";
    makePackage(imported, "Nano");
    alerts->script(1);
    panels->script({imported});
    general().importFileButton()->click();
    settle();
    EXPECT_EQ(packageURL(), other) << "an import keeps the package where it is";
    EXPECT_TRUE(quillfen::BackupFile::open(other)->execItem("Nano").has_value());
    EXPECT_EQ(alerts->shown("AskBackupFileImportAlert").size(), 3u);
    EXPECT_TRUE(alerts->shown("BackupErrorDidOccurAlert").empty());
}

TEST_F(PreferencesTest, TheSwitchesStoreTheirSettingsAndUsageStatisticsOffDeletesTheClientID) {
    auto& store = keel::UserSettings::standard();
    launchWithPackage();
    EXPECT_FALSE(general().usageStatisticsButton()->isChecked()) << "off by default";
    EXPECT_FALSE(general().noteAfterProcessButton()->isChecked());

    general().noteAfterProcessButton()->click();
    general().alertAfterProcessButton()->click();
    EXPECT_TRUE(store.get(quillfen::BackupManager::enableNoteAfterProcessingKey));
    EXPECT_TRUE(store.get(quillfen::BackupManager::enableAlertAfterProcessingKey));
    // A change made elsewhere shows.
    store.set(quillfen::BackupManager::enableNoteAfterProcessingKey, false);
    EXPECT_FALSE(general().noteAfterProcessButton()->isChecked());

    general().usageStatisticsButton()->click();
    EXPECT_TRUE(release.userActionsTracker().isAnalyticsEnabled());
    store.set(outfitter::ReleaseSettings::analyticsClientID(),
              std::optional<std::string>("5f0c2a8e-client"));
    general().usageStatisticsButton()->click();
    EXPECT_FALSE(release.userActionsTracker().isAnalyticsEnabled());
    EXPECT_FALSE(store.get(outfitter::ReleaseSettings::analyticsClientID()).has_value());
}

TEST_F(PreferencesTest, RemovingTwoExclusionsAndSortingWritesTheSettings) {
    launchWithPackage();
    auto& resources = quillfen::LocalResources::shared();
    const fs::path home = settings.home();
    resources.setExcludedFileURLs(
        {home / "b10", home / ".config/zed", home / "b9", home / "a.txt", home / "Z"});
    QListWidget* table = exclusions().filesTableView();
    ASSERT_EQ(table->count(), 5);
    EXPECT_EQ(table->item(1)->text().toStdString(), (home / ".config/zed").string());
    EXPECT_FALSE(exclusions().removeFilesButton()->isEnabled());
    EXPECT_TRUE(exclusions().sortFilesButton()->isEnabled());

    table->item(1)->setSelected(true);
    table->item(3)->setSelected(true);
    EXPECT_TRUE(exclusions().removeFilesButton()->isEnabled());
    exclusions().showFilesButton()->click();
    EXPECT_EQ(workspace->revealed.back(), (std::vector{home / ".config/zed", home / "a.txt"}));
    exclusions().removeFilesButton()->click();
    exclusions().sortFilesButton()->click();
    const std::vector<fs::path> expected{home / "b9", home / "b10", home / "Z"};
    EXPECT_EQ(keel::UserSettings::standard().get(quillfen::LocalResources::localExcludeFileURLsKey),
              expected);
    ASSERT_EQ(table->count(), 3);
    EXPECT_EQ(table->item(0)->text().toStdString(), (home / "b9").string());

    // Any file or folder may be added, once; a cancelled panel adds nothing.
    testsupport::writeFile(home / "notes.txt", "x");
    panels->script({home / "notes.txt", home / "b9"});
    exclusions().addFilesButton()->click();
    settle();
    exclusions().addFilesButton()->click();
    settle();
    EXPECT_TRUE(panels->shown().back().request.canChooseFiles);
    EXPECT_TRUE(panels->shown().back().request.canChooseDirectories);
    EXPECT_EQ(keel::UserSettings::standard()
                  .get(quillfen::LocalResources::localExcludeFileURLsKey)
                  .size(),
              4u);

    exclusions().helpButton()->click();
    EXPECT_TRUE(exclusions().helpPopover()->isShown());
}
