#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

#include "app/BackupManager.h"
#include "app/BackupViewer.h"
#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "keel/CarriedException.h"
#include "keel/DispatchQueue.h"
#include "keel/NoteSubscriber.h"
#include "keel/UserSettings.h"
#include "local/AccessManager.h"
#include "local/LocalResources.h"
#include "support/IsolatedSettings.h"
#include "support/TestSupport.h"
#include "sync/SyncLogs.h"
#include "sync/UndoStore.h"

using namespace quillfen;
using namespace testsupport;
using namespace std::chrono_literals;

namespace {

// Records what the manager and its viewer announce, on the main queue.
struct Recorder {
    explicit Recorder(BackupManager& manager) {
        subscriber.subscribe(
            {BackupManager::willProcessNotification, BackupManager::didProcessNotification},
            &manager, [this](const keel::Notification& n) {
                events.push_back(n.name);
                if (n.name == BackupManager::didProcessNotification)
                    finished.push_back(BackupManager::backupProcess(n));
            });
        subscriber.subscribe({BackupViewer::didReloadNotification}, manager.viewer().get(),
                             [this](const keel::Notification&) { events.push_back("reload"); });
    }
    // Drives the main queue until `count` processes have finished.
    bool waitFor(std::size_t count) {
        const bool done =
            keel::DispatchQueue::runMainUntil([&] { return finished.size() >= count; }, 20s);
        keel::DispatchQueue::drainMain();
        return done;
    }
    keel::NoteSubscriber subscriber;
    std::vector<std::string> events;
    std::vector<std::shared_ptr<BackupProcess>> finished;
};

std::optional<BackupError::Code> errorCode(const BackupProcess& process) {
    if (const auto error = keel::carriedException<BackupError>(process.error()))
        return error->code();
    return std::nullopt;
}

class BackupManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        keel::DispatchQueue::markCurrentThreadAsMain();
        static TemporaryDirectory applications;
        LocalResources::setApplicationsDirectory(applications.path());
        LocalResources::setDesktopEntryFolders({});
        manager.setProcessingDelay(0ms);
    }
    void grantRoot() { AccessManager::shared().addAccess("/"); }

    quillfen::testing::IsolatedSettings dir;
    BackupManager manager;
};

}  // namespace

// Runs first in this program: no test before it has granted access.
TEST_F(BackupManagerTest, AReadWithoutAccessFailsAndStillReloadsTheViewer) {
    if (AccessManager::shared().hasAccess("/"))
        GTEST_SKIP() << "access was granted earlier in this process";
    Recorder recorder(manager);
    manager.readBackupFile();
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(errorCode(*recorder.finished[0]), BackupError::Code::autorizationRequired);
    EXPECT_FALSE(recorder.finished[0]->hasResult());
    EXPECT_EQ(manager.file(), nullptr);
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{BackupManager::willProcessNotification, "reload",
                                        BackupManager::didProcessNotification}));
    EXPECT_FALSE(manager.isProcessing());
}

TEST_F(BackupManagerTest, AFirstReadCreatesTheDefaultPackage) {
    grantRoot();
    Recorder recorder(manager);
    ASSERT_EQ(manager.backupFileURL(), dir / "data" / "Quillfen" / "DefaultBackup.qfbackup");
    manager.readBackupFile();
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_FALSE(recorder.finished[0]->error());
    ASSERT_NE(manager.file(), nullptr);
    EXPECT_TRUE(fs::is_directory(dir / "data" / "Quillfen" / "DefaultBackup.qfbackup" / "Data"));
    EXPECT_EQ(manager.viewer()->backupFile(), manager.file());
    EXPECT_TRUE(manager.canProcess());
}

TEST_F(BackupManagerTest, AnUnreadablePackageFailsWithTheReasonNested) {
    grantRoot();
    const fs::path package = dir / "Broken.qfbackup";
    writeFile(package / "Apps.json", "[ not json");
    keel::UserSettings::standard().set(BackupManager::backupFileURLLocationKey,
                                       std::optional(package));
    Recorder recorder(manager);
    manager.readBackupFile();
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(errorCode(*recorder.finished[0]), BackupError::Code::backupFileIsNotReadable);
    // The package is named as data, for a front end to show.
    EXPECT_EQ(keel::carriedException<BackupError>(recorder.finished[0]->error())->url(), package);
    bool nestedReason = false;
    try {
        std::rethrow_exception(recorder.finished[0]->error());
    } catch (const BackupError& e) {
        try {
            std::rethrow_if_nested(e);
        } catch (const std::exception& reason) {
            nestedReason = std::string(reason.what()).find("Apps.json") != std::string::npos;
        }
    }
    EXPECT_TRUE(nestedReason);
    EXPECT_EQ(manager.file(), nullptr);
}

TEST_F(BackupManagerTest, WithoutAnyLocationAReadFailsWithNoBackupLocation) {
    grantRoot();
    ScopedEnv rootHome("HOME", "/");
    ScopedEnv noData("XDG_DATA_HOME", std::nullopt);
    ASSERT_FALSE(manager.backupFileURL());
    Recorder recorder(manager);
    manager.readBackupFile();
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(errorCode(*recorder.finished[0]), BackupError::Code::noBackupLocation);
}

TEST_F(BackupManagerTest, ARequestWhileBusyIsDroppedAndTheRunningOneCompletes) {
    Recorder recorder(manager);
    std::atomic<bool> release{false};
    std::atomic<int> secondRan{0};
    manager.process(std::make_shared<BackupProcess>(BackupAction::reloadViewer, [&] {
        while (!release)
            std::this_thread::sleep_for(1ms);
        return BackupProcess::Done();
    }));
    EXPECT_TRUE(manager.isProcessing());
    manager.process(std::make_shared<BackupProcess>(BackupAction::saveBackupFile, [&] {
        ++secondRan;
        return BackupProcess::Done();
    }));
    release = true;
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(secondRan, 0);
    EXPECT_EQ(recorder.finished.size(), 1u);
    EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(),
                         BackupManager::willProcessNotification),
              1);
    // The manager is ready again afterwards.
    manager.saveBackupFile();
    ASSERT_TRUE(recorder.waitFor(2));
}

TEST_F(BackupManagerTest, SaveAndExportDoNotReloadTheViewerAndEveryOtherActionDoes) {
    struct Case {
        BackupAction action;
        bool reloads;
    } cases[] = {{BackupAction::saveBackupFile, false}, {BackupAction::exportBackupFile, false},
                 {BackupAction::reloadViewer, true},    {BackupAction::backUpDevice, true},
                 {BackupAction::installDevice, true},   {BackupAction::syncDevice, true}};
    std::size_t count = 0;
    for (const auto& c : cases) {
        Recorder recorder(manager);
        manager.process(manager.makeProcess(c.action, dir / "Export.qfbackup"));
        ASSERT_TRUE(recorder.waitFor(1));
        ++count;
        const bool reloaded = std::find(recorder.events.begin(), recorder.events.end(), "reload") !=
                              recorder.events.end();
        EXPECT_EQ(reloaded, c.reloads) << progressTitleKey(c.action);
        // With no file open, device actions end without error and without result.
        EXPECT_FALSE(recorder.finished[0]->error()) << progressTitleKey(c.action);
    }
    EXPECT_EQ(count, std::size(cases));
}

TEST_F(BackupManagerTest, MoveWithoutAFileStoresTheLocation) {
    Recorder recorder(manager);
    manager.moveBackupFile(dir / "Moved.qfbackup");
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_TRUE(std::holds_alternative<BackupProcess::Done>(recorder.finished[0]->result()));
    EXPECT_EQ(manager.backupFileURL(), dir / "Moved.qfbackup");
}

TEST_F(BackupManagerTest, DeviceActionsRunTheEngineOnTheOpenFileAndReturnItsLogs) {
    grantRoot();
    Recorder recorder(manager);
    manager.readBackupFile();
    ASSERT_TRUE(recorder.waitFor(1));
    ASSERT_NE(manager.file(), nullptr);
    writeFile(dir / "home" / ".quillfenrc", "set x");
    manager.file()->setFileItems({BackupFileItem{".quillfenrc", true, std::nullopt}});
    manager.backUpDevice();
    ASSERT_TRUE(recorder.waitFor(2));
    ASSERT_FALSE(recorder.finished[1]->error());
    const SyncLogs* logs = recorder.finished[1]->syncLogs();
    ASSERT_NE(logs, nullptr);
    EXPECT_TRUE(logs->results().empty());
    EXPECT_TRUE(manager.file()->dataItem(".quillfenrc"));
    EXPECT_EQ(manager.file()->eventItems().size(), 1u);
}

TEST_F(BackupManagerTest, UndoInstallPutsBackWhatTheInstallReplacedThenHasNothingLeft) {
    grantRoot();
    Recorder recorder(manager);
    manager.readBackupFile();
    ASSERT_TRUE(recorder.waitFor(1));
    ASSERT_NE(manager.file(), nullptr);
    const auto rc = dir / "home" / ".quillfenrc";
    writeFile(rc, "backed up");
    manager.file()->setFileItems({BackupFileItem{".quillfenrc", true, std::nullopt}});
    manager.backUpDevice();
    ASSERT_TRUE(recorder.waitFor(2));
    writeFile(rc, "edited here");
    manager.installDevice();
    ASSERT_TRUE(recorder.waitFor(3));
    ASSERT_EQ(readFile(rc), "backed up");

    manager.undoInstall();
    ASSERT_TRUE(recorder.waitFor(4));
    const auto& undo = *recorder.finished[3];
    EXPECT_EQ(undo.action(), BackupAction::undoInstall);
    ASSERT_FALSE(undo.error());
    const UndoStore::Result* result = undo.undoResult();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->restored, std::vector<std::string>{".quillfenrc"});
    EXPECT_EQ(readFile(rc), "edited here");
    EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "reload"), 4);

    manager.undoInstall();
    ASSERT_TRUE(recorder.waitFor(5));
    EXPECT_THROW(std::rethrow_exception(recorder.finished[4]->error()), UndoStore::NothingToUndo);
    EXPECT_EQ(readFile(rc), "edited here");
    // The undo touched neither the package's copy nor its history.
    EXPECT_EQ(manager.file()->eventItems().size(), 2u);
}
