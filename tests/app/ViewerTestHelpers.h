// Helpers of the viewer tests: a fixed applications folder for the shared
// local resources, an isolated home folder and package per test, and a
// recorder of the viewer's did-reload notifications.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BackupViewer.h"
#include "backup/BackupFile.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/NotificationCenter.h"
#include "local/LocalResources.h"
#include "support/FakeBundles.h"
#include "support/IsolatedSettings.h"
#include "support/TestSupport.h"

namespace quillfen::testing {

namespace fs = std::filesystem;

// The applications folder that `LocalResources::shared()` scans in the viewer
// tests. It must be set before the shared instance is first used, so every
// viewer fixture calls this first:
//   "Alpha"  identifier com.example.Alpha, with an icon file
//   "Mango"  identifier com.example.Mango
//   "Zeta"   (in a subfolder) without a property list, so without paths
inline const fs::path& viewerApplicationsFolder() {
    static const testsupport::TemporaryDirectory folder;
    static const bool ready = [] {
        makeBundle(folder / "Alpha.app",
                   xmlPlist("<key>CFBundleIdentifier</key><string>com.example.Alpha</string>\n"
                            "<key>CFBundleIconFile</key><string>AlphaIcon</string>\n"));
        makeBundle(folder / "Mango.app",
                   xmlPlist("<key>CFBundleIdentifier</key><string>com.example.Mango</string>\n"));
        makeBundle(folder / "Utilities" / "Zeta.app");
        LocalResources::setApplicationsDirectory(folder.path());
        LocalResources::setDesktopEntryFolders({});
        return true;
    }();
    (void)ready;
    return folder.path();
}

// One did-reload notification as an observer on the main queue saw it, with
// the lists the viewer handed out at that moment.
struct Reload {
    std::optional<BackupEdition> edition;
    bool onMainThread = false;
    std::vector<std::string> appNames;
    std::vector<std::string> filePaths;
};

inline std::vector<std::string> namesOf(const std::vector<BackupAppEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.name);
    return names;
}

inline std::vector<std::string> namesOf(const std::vector<BackupExecEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.name);
    return names;
}

inline std::vector<std::string> pathsOf(const std::vector<BackupFileEntry>& entries) {
    std::vector<std::string> paths;
    for (const auto& entry : entries)
        paths.push_back(entry.path);
    return paths;
}

// Records the did-reload notifications of one viewer. The observer runs on
// the main queue, which the test thread drives, so `reloads` is only touched
// on the test thread.
class ReloadRecorder {
public:
    explicit ReloadRecorder(BackupViewer* viewer) {
        token_ = keel::NotificationCenter::defaultCenter().addObserver(
            BackupViewer::didReloadNotification, viewer,
            [this, viewer](const keel::Notification& note) {
                Reload reload{
                    BackupFile::edition(note), keel::DispatchQueue::isMainThread(), {}, {}};
                // Reading back at delivery shows what was stored before the post.
                reload.appNames = namesOf(viewer->backupAppEntries());
                reload.filePaths = pathsOf(viewer->backupFileEntries());
                reloads.push_back(std::move(reload));
            });
    }
    ~ReloadRecorder() { keel::NotificationCenter::defaultCenter().removeObserver(token_); }
    ReloadRecorder(const ReloadRecorder&) = delete;
    ReloadRecorder& operator=(const ReloadRecorder&) = delete;

    // Drives the main queue until `count` notifications have arrived in all.
    bool waitFor(std::size_t count) {
        return keel::DispatchQueue::runMainUntil([&] { return reloads.size() >= count; });
    }
    // Waits for the next notification and returns it.
    Reload next() {
        const std::size_t before = reloads.size();
        EXPECT_TRUE(waitFor(before + 1)) << "no did-reload notification arrived";
        if (reloads.size() <= before) return {};
        return reloads[before];
    }

    std::vector<Reload> reloads;

private:
    keel::NotificationCenter::Token token_ = 0;
};

// A fresh home folder, settings and package per test, and a viewer showing
// the package (not yet rebuilt).
class ViewerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        viewerApplicationsFolder();
        ASSERT_TRUE(LocalResources::shared().appItem("Alpha"))
            << "another test of this program created the shared local resources first";
        // Announcements of an earlier test must not reach this one's observers
        // (a new object may get the address of an old one).
        keel::DispatchQueue::drainMain();
        file = BackupFile::open(home() / "Test.qfbackup");
        viewer = BackupViewer::create();
        recorder = std::make_unique<ReloadRecorder>(viewer.get());
        viewer->setBackupFile(file);
    }

    void TearDown() override {
        settle();
        recorder.reset();
        viewer.reset();
    }

    // Lets every announcement already under way run its course: the file's
    // notifications reach the viewer, the viewer's work runs, and its
    // notifications are delivered.
    void settle() {
        for (int round = 0; round < 3; ++round) {
            keel::DispatchQueue::drainMain();
            // Waits for the work given to the viewer so far.
            if (viewer) (void)viewer->backupFile();
        }
        keel::DispatchQueue::drainMain();
    }

    // Rebuilds everything and consumes the notification.
    void reloadAll() {
        viewer->reload(true);
        const Reload reload = recorder->next();
        ASSERT_TRUE(reload.edition);
        ASSERT_EQ(reload.edition->category, BackupEdition::Category::all);
    }

    // The temporary home folder that `settings` points HOME at.
    fs::path home() const { return keel::FileManager::noSandboxHomeURL(); }
    void writeLocal(const std::string& settingsPath, const std::string& content = "x") const {
        testsupport::writeFile(home() / settingsPath, content);
    }

    IsolatedSettings settings;
    std::shared_ptr<BackupFile> file;
    std::shared_ptr<BackupViewer> viewer;
    std::unique_ptr<ReloadRecorder> recorder;
};

inline BackupEdition::Entry row(int index, std::string key, BackupEdition::Action action) {
    return BackupEdition::Entry{index, std::move(key), action};
}

}  // namespace quillfen::testing
