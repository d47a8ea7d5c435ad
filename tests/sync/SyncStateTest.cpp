#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "backup/BackupFile.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/UserSettings.h"
#include "local/LocalResources.h"
#include "support/TestSupport.h"
#include "sync/SyncConfiguration.h"
#include "sync/SyncItemState.h"
#include "sync/SyncPathState.h"
#include "sync/SyncPathsFinder.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using OptionalDate = std::optional<keel::Date>;
using Paths = std::vector<std::string>;

// A modification time with a fraction of a second, so that a date that lost
// precision on its way through the package would no longer compare equal.
constexpr time_t kBaseSeconds = 1'600'000'000;
constexpr long kBaseNanoseconds = 123'456'789;

keel::Date plus(keel::Date date, double seconds) {
    return keel::Date{date.timeIntervalSinceReferenceDate + seconds};
}

// The applications folder of `LocalResources::shared()` in this program: set
// before the shared instance is first used, so that no test depends on what
// is installed on the computer that runs it.
void useEmptySharedApplicationsFolder() {
    static const testsupport::TemporaryDirectory folder;
    static const bool ready = [] {
        LocalResources::setApplicationsDirectory(folder.path());
        return true;
    }();
    (void)ready;
}

class SyncStateTest : public ::testing::Test {
protected:
    SyncStateTest()
        : home(fs::canonical(temp_.path()) / "home"),
          home_("HOME", home.string()),
          config_("XDG_CONFIG_HOME", (temp_ / "config").string()),
          data_("XDG_DATA_HOME", (temp_ / "data").string()) {
        useEmptySharedApplicationsFolder();
        fs::create_directories(home);
        fs::create_directories(applications());
        keel::UserSettings::standard().setFileURL(temp_ / "config" / "settings.json");
        keel::DispatchQueue::drainMain();
    }
    ~SyncStateTest() override {
        if (changedSharedExclusions_) LocalResources::shared().setExcludedFileURLs({});
        // The file's announcements wait on the main queue; deliver them while
        // the file and the settings of this test still exist.
        keel::DispatchQueue::drainMain();
        keel::UserSettings::standard().setFileURL(keel::UserSettings::defaultFileURL());
    }

    fs::path applications() const { return temp_ / "Applications"; }
    fs::path packageURL() const { return temp_ / "Test.qfbackup"; }

    // Opens the package, after writing `records` into its "Data.json" as a
    // package made elsewhere would hold them.
    std::shared_ptr<BackupFile> openPackage(
        const std::map<std::string, BackupDataItem>& records = {}) const {
        if (!records.empty()) {
            nlohmann::json object = nlohmann::json::object();
            for (const auto& [path, record] : records)
                object[path] = record;
            testsupport::writeFile(packageURL() / "Data.json", object.dump(2));
        }
        return BackupFile::open(packageURL());
    }

    // Writes a local settings file at `path` modified at the base time plus
    // `offset` seconds, and returns its modification date as the file system
    // reports it.
    keel::Date writeLocal(const std::string& path, time_t offset = 0) const {
        testsupport::writeFile(home / path, "settings of " + path);
        return setLocalDate(path, offset);
    }
    keel::Date setLocalDate(const std::string& path, time_t offset) const {
        testsupport::setModifyDate(home / path, kBaseSeconds + offset, kBaseNanoseconds);
        return *keel::FileManager::modifyDateForFile(home / path);
    }

    static BackupDataItem record(keel::Date backupDate, OptionalDate originalDate) {
        BackupDataItem item = BackupDataItem::make(originalDate);
        item.backupDate = backupDate;
        return item;
    }

    void excludeInShared(std::vector<fs::path> urls) {
        changedSharedExclusions_ = true;
        LocalResources::shared().setExcludedFileURLs(std::move(urls));
    }

    testsupport::TemporaryDirectory temp_;
    const fs::path home;

private:
    testsupport::ScopedEnv home_;
    testsupport::ScopedEnv config_;
    testsupport::ScopedEnv data_;
    bool changedSharedExclusions_ = false;
};

// Path states

TEST_F(SyncStateTest, PathStateDecisions) {
    // Dates relative to the local file's modification date m; a missing
    // offset is a missing date.
    struct Case {
        const char* path;
        bool localExists;
        std::optional<double> backupOffset;  // no record without it
        std::optional<double> originalOffset;
        SyncAction expected;
    };
    const Case cases[] = {
        {"never-copied", true, std::nullopt, std::nullopt, SyncAction::backUp},
        {"copied-here-untouched", true, 100, 0, SyncAction::doNothing},
        // Unchanged since the copy wins over the dates' order.
        {"untouched-copy-looks-older", true, -100, 0, SyncAction::doNothing},
        {"changed-after-copy", true, -100, -200, SyncAction::backUp},
        {"copied-elsewhere-later", true, 100, -200, SyncAction::install},
        {"same-as-copy-date", true, 0, -50, SyncAction::upToDate},
        {"same-as-copy-date-no-original", true, 0, std::nullopt, SyncAction::upToDate},
        {"newer-no-original", true, -100, std::nullopt, SyncAction::backUp},
        {"older-no-original", true, 100, std::nullopt, SyncAction::install},
        // No tolerance anywhere.
        {"microsecond-newer", true, -1e-6, -200, SyncAction::backUp},
        {"microsecond-older", true, 1e-6, -200, SyncAction::install},
        {"microsecond-off-original", true, 100, 1e-6, SyncAction::install},
        {"missing-with-copy", false, 0, 0, SyncAction::doNothing},
        {"missing-with-newer-copy", false, 100, -200, SyncAction::doNothing},
        {"missing-never-copied", false, std::nullopt, std::nullopt, SyncAction::doNothing},
    };

    std::map<std::string, keel::Date> localDates;
    std::map<std::string, BackupDataItem> records;
    for (const Case& c : cases) {
        const std::string path = std::string("Library/Preferences/") + c.path;
        keel::Date m = writeLocal(path);
        localDates[path] = m;
        if (!c.localExists) fs::remove(home / path);
        if (c.backupOffset) {
            const OptionalDate original =
                c.originalOffset ? OptionalDate(plus(m, *c.originalOffset)) : std::nullopt;
            records[path] = record(plus(m, *c.backupOffset), original);
        }
    }
    const auto file = openPackage(records);
    const LocalResources local(applications());

    for (const Case& c : cases) {
        const std::string path = std::string("Library/Preferences/") + c.path;
        SCOPED_TRACE(path);
        const SyncPathState state(file, path, "com.example.app", local);
        EXPECT_EQ(state.action, c.expected);
        EXPECT_EQ(state.path, path);
        EXPECT_EQ(state.url, home / path);
        EXPECT_EQ(state.bundleID, "com.example.app");
        EXPECT_EQ(state.modifyDate, c.localExists ? OptionalDate(localDates[path]) : std::nullopt);
        const auto found = records.find(path);
        if (found == records.end()) {
            EXPECT_EQ(state.backupDate, std::nullopt);
            EXPECT_EQ(state.originalDate, std::nullopt);
        } else {
            EXPECT_EQ(state.backupDate, found->second.backupDate);
            EXPECT_EQ(state.originalDate, found->second.originalDate);
        }
    }
}

// The ordinary life of one file, with copies made by the package itself, and
// dates that must survive the package's JSON exactly.
TEST_F(SyncStateTest, PathStateFollowsBackUpsAndLocalChanges) {
    const std::string path = ".config/tool/settings.conf";
    writeLocal(path);
    auto file = openPackage();
    const LocalResources local(applications());
    EXPECT_EQ(SyncPathState(file, path, std::nullopt, local).action, SyncAction::backUp);

    file->backUpData(path);
    SyncPathState copied(file, path, std::nullopt, local);
    EXPECT_EQ(copied.action, SyncAction::doNothing);
    ASSERT_TRUE(copied.backupDate);
    EXPECT_EQ(copied.originalDate, copied.modifyDate);

    // Read back from disk by a new file: still unchanged to the last bit.
    file->save();
    file = openPackage();
    EXPECT_EQ(SyncPathState(file, path, std::nullopt, local), copied);

    // Changed after the copy.
    const time_t hourAfterCopy =
        static_cast<time_t>(copied.backupDate->timeIntervalSince1970()) + 3600 - kBaseSeconds;
    setLocalDate(path, hourAfterCopy);
    EXPECT_EQ(SyncPathState(file, path, std::nullopt, local).action, SyncAction::backUp);
    file->backUpData(path);
    EXPECT_EQ(SyncPathState(file, path, std::nullopt, local).action, SyncAction::doNothing);

    // Older than the copy and not the copied version: the package's is newer.
    setLocalDate(path, -3600);
    EXPECT_EQ(SyncPathState(file, path, std::nullopt, local).action, SyncAction::install);

    // Removed locally: nothing to do, the copy's dates stay visible.
    fs::remove(home / path);
    const SyncPathState removed(file, path, std::nullopt, local);
    EXPECT_EQ(removed.action, SyncAction::doNothing);
    EXPECT_TRUE(removed.backupDate);
    EXPECT_EQ(removed.modifyDate, std::nullopt);
}

TEST_F(SyncStateTest, FolderPathIsJudgedByTheFolderItself) {
    const std::string path = "Library/Application Support/Tool";
    testsupport::writeFile(home / path / "a.db", "a");
    testsupport::setModifyDate(home / path, kBaseSeconds, kBaseNanoseconds);
    const auto file = openPackage();
    const LocalResources local(applications());

    file->backUpData(path);
    const SyncPathState state(file, path, std::nullopt, local);
    EXPECT_EQ(state.action, SyncAction::doNothing);
    EXPECT_EQ(state.modifyDate, keel::FileManager::modifyDateForFile(home / path));
}

// A symbolic link stands for itself: its own date counts, not its target's,
// as the package records the link's date when it backs it up.
TEST_F(SyncStateTest, SymbolicLinkIsJudgedByItsOwnDate) {
    const std::string path = ".toolrc";
    const keel::Date targetDate = writeLocal("dotfiles/toolrc", 1000);
    fs::create_symlink(home / "dotfiles/toolrc", home / path);
    const keel::Date linkDate = setLocalDate(path, 0);
    ASSERT_NE(linkDate, targetDate);

    const auto file = openPackage({{path, record(plus(linkDate, 100), plus(linkDate, -200))}});
    const LocalResources local(applications());

    const SyncPathState state(file, path, std::nullopt, local);
    EXPECT_EQ(state.url, home / path);
    EXPECT_EQ(state.modifyDate, linkDate);
    EXPECT_EQ(state.action, SyncAction::install);

    // Backing up a link stores its record (without a copy); after that the
    // link reads as unchanged, even though its target is newer than the copy.
    file->backUpData(path);
    EXPECT_EQ(SyncPathState(file, path, std::nullopt, local).action, SyncAction::doNothing);
}

TEST_F(SyncStateTest, ExcludedPathsNeedNothingButKeepTheirDates) {
    const keel::Date inside = writeLocal("Library/Excluded/inside.plist");
    const keel::Date exact = writeLocal("Library/Single.plist");
    const keel::Date sibling = writeLocal("Library/ExcludedToo/sibling.plist");
    testsupport::writeFile(temp_ / "outside" / "hosts", "127.0.0.1 localhost");
    const std::string outside = (fs::canonical(temp_.path()) / "outside" / "hosts").string();

    std::map<std::string, BackupDataItem> records;
    for (const auto& [path, date] :
         std::map<std::string, keel::Date>{{"Library/Excluded/inside.plist", inside},
                                           {"Library/Single.plist", exact},
                                           {"Library/ExcludedToo/sibling.plist", sibling}})
        records[path] = record(plus(date, 100), plus(date, -200));
    const auto file = openPackage(records);

    LocalResources local(applications());
    local.setExcludedFileURLs({"", home / "Library/Excluded", home / "Library/Single.plist",
                               fs::canonical(temp_.path()) / "outside"});

    const SyncPathState excluded(file, "Library/Excluded/inside.plist", std::nullopt, local);
    EXPECT_EQ(excluded.action, SyncAction::doNothing);
    EXPECT_EQ(excluded.modifyDate, inside);
    EXPECT_EQ(excluded.backupDate, records["Library/Excluded/inside.plist"].backupDate);
    EXPECT_EQ(excluded.originalDate, records["Library/Excluded/inside.plist"].originalDate);

    EXPECT_EQ(SyncPathState(file, "Library/Single.plist", std::nullopt, local).action,
              SyncAction::doNothing);
    EXPECT_EQ(SyncPathState(file, outside, std::nullopt, local).action, SyncAction::doNothing);
    // A name that merely starts like an excluded folder is not inside it, and
    // the empty entry of the list excludes nothing.
    EXPECT_EQ(SyncPathState(file, "Library/ExcludedToo/sibling.plist", std::nullopt, local).action,
              SyncAction::install);
}

TEST_F(SyncStateTest, SharedExclusionListIsTheDefault) {
    writeLocal("Library/Private/secret.plist");
    testsupport::writeFile(temp_ / "outside" / "notes.txt", "notes");
    const std::string outside = (fs::canonical(temp_.path()) / "outside" / "notes.txt").string();
    const auto file = openPackage();
    file->setFileItems({{outside, true, std::nullopt}});

    EXPECT_EQ(SyncPathState(file, "Library/Private/secret.plist", std::nullopt).action,
              SyncAction::backUp);
    excludeInShared({home / "Library/Private", fs::canonical(temp_.path()) / "outside"});
    EXPECT_EQ(SyncPathState(file, "Library/Private/secret.plist", std::nullopt).action,
              SyncAction::doNothing);

    const SyncItemState item = SyncItemState::forFilePath(file, outside);
    EXPECT_EQ(item.action, SyncAction::doNothing);
    ASSERT_EQ(item.states.size(), 1u);
    EXPECT_EQ(item.states.at(outside).url, fs::path(outside));
    EXPECT_TRUE(item.modifyDate);
}

// Item states

TEST_F(SyncStateTest, ItemCombinesItsPathsAndKeepsOneStatePerPath) {
    const keel::Date newer = writeLocal("new");
    const keel::Date same = writeLocal("same");
    const keel::Date older = writeLocal("older");
    const keel::Date equal = writeLocal("equal");
    const auto file = openPackage({
        {"same", record(plus(same, 100), same)},
        {"older", record(plus(older, 100), plus(older, -200))},
        {"equal", record(equal, plus(equal, -50))},
        {"missing", record(plus(newer, 100), newer)},
    });
    const LocalResources local(applications());

    struct Case {
        Paths paths;
        SyncAction expected;
        std::size_t distinct;
    };
    const Case cases[] = {
        {{}, SyncAction::doNothing, 0},
        {{"same"}, SyncAction::doNothing, 1},
        {{"new", "same"}, SyncAction::backUp, 2},
        {{"new", "older"}, SyncAction::multiple, 2},
        {{"older", "missing", "same"}, SyncAction::install, 3},
        {{"equal", "same", "equal"}, SyncAction::upToDate, 2},
        {{"new", "new", "new"}, SyncAction::backUp, 1},
        {{"equal", "new"}, SyncAction::multiple, 2},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const auto& p : c.paths)
            trace += p + " ";
        SCOPED_TRACE(trace);
        const SyncItemState item(file, true, "Item", c.paths, "com.example.item", local);
        EXPECT_EQ(item.action, c.expected);
        EXPECT_EQ(item.paths, c.paths);
        EXPECT_EQ(item.states.size(), c.distinct);
        for (const auto& [path, state] : item.states) {
            EXPECT_EQ(state, SyncPathState(file, path, "com.example.item", local));
        }
    }
}

TEST_F(SyncStateTest, ItemDatesComeFromPathsThatHaveThem) {
    const keel::Date local1 = writeLocal("a-local-only");
    const keel::Date copied = writeLocal("b-copied", -500);
    fs::remove(home / "b-copied");
    const auto file = openPackage({{"b-copied", record(plus(copied, 100), copied)}});
    const LocalResources local(applications());

    const SyncItemState item(file, std::nullopt, "Item", {"b-copied", "a-local-only", "c-none"},
                             std::nullopt, local);
    EXPECT_EQ(item.backupDate, plus(copied, 100));
    EXPECT_EQ(item.modifyDate, local1);
    EXPECT_EQ(item.isEnabled, std::nullopt);
    EXPECT_EQ(item.identifier, "Item");

    const SyncItemState empty(file, false, "Empty", {}, std::nullopt, local);
    EXPECT_EQ(empty.action, SyncAction::doNothing);
    EXPECT_EQ(empty.backupDate, std::nullopt);
    EXPECT_EQ(empty.modifyDate, std::nullopt);
    EXPECT_EQ(empty.isEnabled, false);
    EXPECT_TRUE(empty.states.empty());

    const SyncItemState nowhere(file, true, "Nowhere", {"c-none", "d-none"}, std::nullopt, local);
    EXPECT_EQ(nowhere.backupDate, std::nullopt);
    EXPECT_EQ(nowhere.modifyDate, std::nullopt);
    EXPECT_EQ(nowhere.action, SyncAction::doNothing);
}

TEST_F(SyncStateTest, FileItemTakesItsSwitchFromTheFileRecord) {
    writeLocal("Documents/enabled.txt");
    writeLocal("Documents/disabled.txt");
    writeLocal("Documents/unrecorded.txt");
    const auto file = openPackage();
    file->setFileItems({{"Documents/enabled.txt", true, std::nullopt},
                        {"Documents/disabled.txt", false, std::string("kept for later")}});
    file->backUpData("Documents/disabled.txt");
    const LocalResources local(applications());

    struct Case {
        std::string path;
        std::optional<bool> isEnabled;
        SyncAction action;
    };
    const Case cases[] = {
        {"Documents/enabled.txt", true, SyncAction::backUp},
        // A disabled item still shows its state; leaving it alone is the
        // business of whoever acts on it.
        {"Documents/disabled.txt", false, SyncAction::doNothing},
        {"Documents/unrecorded.txt", std::nullopt, SyncAction::backUp},
        {"Documents/missing.txt", std::nullopt, SyncAction::doNothing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const SyncItemState item = SyncItemState::forFilePath(file, c.path, local);
        EXPECT_EQ(item.identifier, c.path);
        EXPECT_EQ(item.isEnabled, c.isEnabled);
        EXPECT_EQ(item.action, c.action);
        EXPECT_EQ(item.paths, Paths{c.path});
        ASSERT_EQ(item.states.size(), 1u);
        EXPECT_EQ(item.states.at(c.path).bundleID, std::nullopt);
    }
}

TEST_F(SyncStateTest, ExecItemUsesTheCatalogPathsWithoutBundleID) {
    const std::string name = "Git";
    const auto& execNames = SyncConfiguration::execNames();
    ASSERT_NE(std::find(execNames.begin(), execNames.end(), name), execNames.end());
    const Paths catalogPaths = SyncConfiguration::catalogByName().at(name).paths;
    ASSERT_FALSE(catalogPaths.empty());

    writeLocal(catalogPaths.front());
    const auto file = openPackage();
    const LocalResources local(applications());

    const SyncItemState unrecorded = SyncItemState::forExecName(file, name, local);
    EXPECT_EQ(unrecorded.isEnabled, std::nullopt);

    file->setExecItems({{name, false, std::nullopt}});
    const SyncItemState item = SyncItemState::forExecName(file, name, local);
    EXPECT_EQ(item.identifier, name);
    EXPECT_EQ(item.isEnabled, false);
    EXPECT_EQ(item.paths, catalogPaths);
    EXPECT_EQ(item.states.size(), catalogPaths.size());
    EXPECT_EQ(item.action, SyncAction::backUp);
    for (const auto& [path, state] : item.states)
        EXPECT_EQ(state.bundleID, std::nullopt) << path;
}

TEST_F(SyncStateTest, AppItemCarriesTheInstalledBundleID) {
    const std::string identifier = "com.noodlesoft.Hazel";
    testsupport::writeFile(applications() / "Hazel.app" / "Contents" / "Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<plist version=\"1.0\"><dict>\n"
                           "<key>CFBundleIdentifier</key><string>" +
                               identifier + "</string>\n</dict></plist>\n");
    const std::string preferences = "Library/Preferences/" + identifier + ".plist";
    const std::string contained = "Library/Containers/" + identifier + "/Data/" + preferences;
    const keel::Date date = writeLocal(preferences);
    writeLocal(contained);
    const auto file = openPackage({{preferences, record(plus(date, 100), plus(date, -200))}});
    file->setAppItems({{"Hazel", true, std::nullopt}});

    const LocalResources installed(applications());
    ASSERT_TRUE(installed.appItem("Hazel"));
    const SyncItemState item = SyncItemState::forAppName(file, "Hazel", installed);
    EXPECT_EQ(item.identifier, "Hazel");
    EXPECT_EQ(item.isEnabled, true);
    EXPECT_EQ(item.paths, SyncPathsFinder::forApp("Hazel", installed).paths);
    ASSERT_TRUE(item.states.contains(preferences));
    ASSERT_TRUE(item.states.contains(contained));
    EXPECT_EQ(item.states.at(preferences).action, SyncAction::install);
    EXPECT_EQ(item.states.at(contained).action, SyncAction::backUp);
    EXPECT_EQ(item.action, SyncAction::multiple);
    for (const auto& [path, state] : item.states)
        EXPECT_EQ(state.bundleID, identifier) << path;

    // Not installed here: the catalog's paths only, and no identifier.
    const LocalResources none(temp_ / "NoApplications");
    const SyncItemState absent = SyncItemState::forAppName(file, "Hazel", none);
    EXPECT_EQ(absent.isEnabled, true);
    EXPECT_FALSE(absent.states.contains(contained));
    EXPECT_EQ(absent.states.at(preferences).action, SyncAction::install);
    for (const auto& [path, state] : absent.states)
        EXPECT_EQ(state.bundleID, std::nullopt) << path;
    EXPECT_EQ(SyncItemState::forAppName(file, "Unrecorded App", none).isEnabled, std::nullopt);
}

TEST_F(SyncStateTest, NullFileIsRefused) {
    const LocalResources local(applications());
    const std::shared_ptr<BackupFile> none;
    EXPECT_THROW(SyncPathState(none, "a", std::nullopt, local), std::invalid_argument);
    EXPECT_THROW(SyncItemState(none, true, "a", {}, std::nullopt, local), std::invalid_argument);
    EXPECT_THROW(SyncItemState::forAppName(none, "Hazel", local), std::invalid_argument);
    EXPECT_THROW(SyncItemState::forExecName(none, "Git", local), std::invalid_argument);
    EXPECT_THROW(SyncItemState::forFilePath(none, "a", local), std::invalid_argument);
}

// Runs under ThreadSanitizer too: the viewer and the engine's operations
// build states of one package at the same time.
class SyncStateConcurrencyTest : public SyncStateTest {};

TEST_F(SyncStateConcurrencyTest, StatesBuiltOnManyThreadsAgree) {
    Paths paths;
    std::map<std::string, BackupDataItem> records;
    for (int i = 0; i < 24; ++i) {
        const std::string path = "Library/Preferences/item" + std::to_string(i) + ".plist";
        const keel::Date date = writeLocal(path, i);
        if (i % 3 != 0) records[path] = record(plus(date, i % 2 ? 100 : -100), plus(date, -300));
        paths.push_back(path);
    }
    const auto file = openPackage(records);
    file->setFileItems({{paths.front(), true, std::nullopt}});
    const LocalResources local(applications());

    std::vector<SyncItemState> expected;
    for (const auto& path : paths)
        expected.push_back(SyncItemState::forFilePath(file, path, local));

    std::vector<std::vector<SyncItemState>> seen(4);
    std::vector<std::thread> threads;
    for (auto& results : seen) {
        threads.emplace_back([&] {
            for (const auto& path : paths)
                results.push_back(SyncItemState::forFilePath(file, path, local));
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (const auto& results : seen)
        EXPECT_EQ(results, expected);
}

}  // namespace
}  // namespace quillfen
