// Helpers of the backup file tests: an isolated home folder and settings, a
// fixed applications folder, and a recorder of the file's announcements.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "keel/DispatchQueue.h"
#include "keel/NotificationCenter.h"
#include "keel/UserSettings.h"
#include "local/LocalResources.h"
#include "support/IsolatedSettings.h"
#include "support/TestSupport.h"

namespace quillfen::testing {

namespace fs = std::filesystem;

// The applications folder that `LocalResources::shared()` scans in this test
// program: two installed applications. It must be set before the first use of
// the shared instance, so every fixture calls this first.
inline void useTestApplicationsFolder() {
    static const testsupport::TemporaryDirectory folder;
    static const bool ready = [] {
        fs::create_directories(folder / "Installed App.app" / "Contents");
        fs::create_directories(folder / "Utilities" / "Hazel 10.app" / "Contents");
        LocalResources::setApplicationsDirectory(folder.path());
        LocalResources::setDesktopEntryFolders({});
        return true;
    }();
    (void)ready;
}

// One announcement as an observer saw it.
struct Announcement {
    std::string name;
    std::optional<BackupEdition> edition;
    bool onMainThread = false;

    bool isItems() const { return name == BackupFile::didItemsNotification; }
    bool isData() const { return name == BackupFile::didDataNotification; }
};

// Observes both notifications of one file (or of any file, for a null
// object). The observers run on the main queue, which the test thread drives,
// so `announcements` is only touched there. `probe`, when set, runs inside the
// observer, so a test can look at the file at the moment of delivery.
class AnnouncementRecorder {
public:
    explicit AnnouncementRecorder(const void* object) {
        auto& center = keel::NotificationCenter::defaultCenter();
        for (const auto* name :
             {&BackupFile::didItemsNotification, &BackupFile::didDataNotification}) {
            tokens_.push_back(
                center.addObserver(*name, object, [this](const keel::Notification& note) {
                    announcements.push_back(Announcement{note.name, BackupFile::edition(note),
                                                         keel::DispatchQueue::isMainThread()});
                    if (probe) probe(announcements.back());
                }));
        }
    }
    ~AnnouncementRecorder() {
        for (const auto token : tokens_)
            keel::NotificationCenter::defaultCenter().removeObserver(token);
    }
    AnnouncementRecorder(const AnnouncementRecorder&) = delete;
    AnnouncementRecorder& operator=(const AnnouncementRecorder&) = delete;

    // Delivers everything already given to the main queue and returns what was
    // recorded since the last call.
    std::vector<Announcement> take() {
        keel::DispatchQueue::drainMain();
        auto result = std::move(announcements);
        announcements.clear();
        return result;
    }

    std::vector<Announcement> announcements;
    std::function<void(const Announcement&)> probe;

private:
    std::vector<keel::NotificationCenter::Token> tokens_;
};

// A fresh home folder, settings and package per test; the package is opened
// at "Test.qfbackup", which does not exist yet.
class BackupFileFixture : public ::testing::Test {
protected:
    void SetUp() override {
        useTestApplicationsFolder();
        // Announcements left over by an earlier test must not reach this one's
        // observers (a new file may get the address of an old one).
        keel::DispatchQueue::drainMain();
        file = BackupFile::open(packageURL());
        recorder = std::make_unique<AnnouncementRecorder>(file.get());
    }

    void TearDown() override {
        keel::DispatchQueue::drainMain();
        recorder.reset();
    }

    fs::path home() const { return folder_ / "home"; }
    fs::path packageURL() const { return folder_ / "Test.qfbackup"; }
    fs::path folder(const fs::path& relative) const { return folder_ / relative; }
    fs::path dataCopyURL(const std::string& uuid) const {
        return packageURL() / "Data" / (uuid + ".qfdata");
    }
    // Writes a local settings file at a settings path.
    void writeLocal(const std::string& settingsPath, const std::string& content) const {
        testsupport::writeFile(home() / settingsPath, content);
    }

    std::shared_ptr<BackupFile> file;
    std::unique_ptr<AnnouncementRecorder> recorder;

private:
    IsolatedSettings folder_;
};

inline BackupEdition::Entry entry(std::string key, BackupEdition::Action action) {
    return BackupEdition::Entry{-1, std::move(key), action};
}

}  // namespace quillfen::testing
