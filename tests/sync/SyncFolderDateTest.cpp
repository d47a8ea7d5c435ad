// A settings folder changes when anything in it changes: a file edited in
// place, or a change in a subfolder, leaves the folder's own date as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "backup/BackupFile.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/UserSettings.h"
#include "local/LocalResources.h"
#include "support/IsolatedSettings.h"
#include "support/TestSupport.h"
#include "sync/SyncEngine.h"
#include "sync/SyncPathState.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Date = keel::Date;

constexpr time_t kBase = 1'600'000'000;
constexpr const char* kFolder = ".config/tool";

class SyncFolderDateTest : public ::testing::Test {
protected:
    SyncFolderDateTest() : home(temp_.home()), package(temp_ / "Test.qfbackup") {
        local = std::make_unique<LocalResources>(temp_ / "NoApplications");
        SyncEngine::setPreferencesToolPath(temp_ / "no-such-tool");
    }
    ~SyncFolderDateTest() override {
        keel::DispatchQueue::drainMain();
        SyncEngine::setPreferencesToolPath("/usr/bin/defaults");
    }

    // The settings folder with a file in it and one in a subfolder, each
    // dated `offset` seconds after the base time; the folders are dated last,
    // as writing into them changes their dates.
    struct Dates {
        time_t folder = 0, subfolder = 0, file = 0, nested = 0;
    };
    void writeFolder(const Dates& dates) const {
        const fs::path folder = home / kFolder;
        testsupport::writeFile(folder / "settings.json", "{\"a\": 1}");
        testsupport::writeFile(folder / "profiles" / "default.json", "{\"b\": 2}");
        testsupport::setModifyDate(folder / "settings.json", kBase + dates.file);
        testsupport::setModifyDate(folder / "profiles" / "default.json", kBase + dates.nested);
        testsupport::setModifyDate(folder / "profiles", kBase + dates.subfolder);
        testsupport::setModifyDate(folder, kBase + dates.folder);
    }

    static Date at(time_t offset) {
        struct timespec time {
            kBase + offset, 0
        };
        return Date::fromTimespec(time);
    }

    testing::IsolatedSettings temp_;
    const fs::path home;
    const fs::path package;
    std::unique_ptr<LocalResources> local;

private:
};

TEST_F(SyncFolderDateTest, FolderStateSeesChangesInside) {
    struct Case {
        const char* name;
        Dates dates;
        std::optional<time_t> backupDate;  // no record without it
        time_t originalDate;               // the date of the copied content
        SyncAction expected;
        time_t newest;
    };
    const Case cases[] = {
        {"untouched since the copy", {0, 0, 0, 0}, 100, 0, SyncAction::doNothing, 0},
        // Records of earlier versions hold the folder's own date: anything
        // newer inside makes the folder read as newer, and it is backed up
        // once.
        {"file edited in place before an old copy", {0, 0, 50, 0}, 100, 0, SyncAction::backUp, 50},
        {"copy dated by its newest file", {0, 0, 50, 0}, 100, 50, SyncAction::doNothing, 50},
        {"file edited in place after the copy", {0, 0, 200, 0}, 100, 0, SyncAction::backUp, 200},
        {"file in a subfolder edited after the copy",
         {0, 0, 0, 200},
         100,
         0,
         SyncAction::backUp,
         200},
        {"file added to a subfolder after the copy",
         {0, 200, 0, 0},
         100,
         0,
         SyncAction::backUp,
         200},
        {"folder itself changed after the copy", {200, 0, 0, 0}, 100, 0, SyncAction::backUp, 200},
        {"newer content copied elsewhere",
         {-50, -50, -20, -50},
         100,
         -10,
         SyncAction::install,
         -20},
        {"never copied", {0, 0, 10, 0}, std::nullopt, 0, SyncAction::backUp, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(home / kFolder);
        fs::remove_all(package);
        writeFolder(c.dates);
        if (c.backupDate) {
            BackupDataItem record = BackupDataItem::make(at(c.originalDate));
            record.backupDate = at(*c.backupDate);
            testsupport::writeFile(
                package / "Data.json",
                nlohmann::json(std::map<std::string, BackupDataItem>{{kFolder, record}}).dump());
        }
        const auto file = BackupFile::open(package);
        const SyncPathState state(file, kFolder, std::nullopt, *local);
        EXPECT_EQ(state.action, c.expected);
        EXPECT_EQ(state.modifyDate, at(c.newest));
    }
}

// A link inside the folder counts by its own date, never by its target's.
TEST_F(SyncFolderDateTest, LinkInsideCountsByItsOwnDate) {
    testsupport::writeFile(home / "elsewhere" / "huge.conf", "x");
    testsupport::setModifyDate(home / "elsewhere" / "huge.conf", kBase + 500);
    writeFolder({});
    fs::create_symlink(home / "elsewhere" / "huge.conf", home / kFolder / "linked.conf");
    testsupport::setModifyDate(home / kFolder / "linked.conf", kBase);
    testsupport::setModifyDate(home / kFolder, kBase);

    BackupDataItem record = BackupDataItem::make(at(0));
    record.backupDate = at(100);
    testsupport::writeFile(
        package / "Data.json",
        nlohmann::json(std::map<std::string, BackupDataItem>{{kFolder, record}}).dump());
    const SyncPathState state(BackupFile::open(package), kFolder, std::nullopt, *local);
    EXPECT_EQ(state.modifyDate, at(0));
    EXPECT_EQ(state.action, SyncAction::doNothing);
}

// The fault this guards against: after a back-up, a settings file edited in
// place inside a subfolder was never carried, since the folder's own date
// stayed the same.
TEST_F(SyncFolderDateTest, SynchronizeCarriesAnEditInsideAFolderOnce) {
    writeFolder({});
    auto file = BackupFile::open(package);
    file->setFileItems({BackupFileItem{kFolder, true, std::nullopt}});
    ASSERT_TRUE(SyncEngine(file, SyncAction::backUp, *local).run().results().empty());
    const auto first = file->dataItem(kFolder);
    ASSERT_TRUE(first);
    EXPECT_EQ(SyncPathState(file, kFolder, std::nullopt, *local).action, SyncAction::doNothing);

    // Edited in place just after the copy was made (dated explicitly: file
    // dates come from a coarser clock than the copy's date).
    const fs::path nested = home / kFolder / "profiles" / "default.json";
    testsupport::writeFile(nested, "{\"b\": 3}");
    const double edited = first->backupDate.timeIntervalSince1970() + 0.01;
    const auto seconds = static_cast<time_t>(edited);
    testsupport::setModifyDate(nested, seconds,
                               static_cast<long>((edited - static_cast<double>(seconds)) * 1e9));
    testsupport::setModifyDate(home / kFolder / "profiles", kBase);
    ASSERT_EQ(keel::FileManager::modifyDateForFile(home / kFolder), at(0));
    // The next copy must be made after the edit.
    while (keel::Date::now().timeIntervalSince1970() <= edited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    ASSERT_TRUE(SyncEngine(file, SyncAction::synchronize, *local).run().results().empty());
    const auto second = file->dataItem(kFolder);
    ASSERT_TRUE(second);
    EXPECT_NE(second->uuid, first->uuid);
    EXPECT_EQ(testsupport::readFile(package / "Data" / (second->uuid + ".qfdata") / "profiles" /
                                    "default.json"),
              "{\"b\": 3}");

    // Carried once: the next synchronize finds nothing to do.
    ASSERT_TRUE(SyncEngine(file, SyncAction::synchronize, *local).run().results().empty());
    EXPECT_EQ(file->dataItem(kFolder)->uuid, second->uuid);
}

}  // namespace
}  // namespace quillfen
