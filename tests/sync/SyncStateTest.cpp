#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "backup/BackupFile.h"
#include "catalog/SyncConfiguration.h"
#include "catalog/SyncPathsFinder.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/UserSettings.h"
#include "local/LocalResources.h"
#include "support/IsolatedSettings.h"
#include "support/TestSupport.h"
#include "sync/SyncItemState.h"
#include "sync/SyncPathState.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Date = keel::Date;
using OptionalDate = std::optional<Date>;
using Paths = std::vector<std::string>;

// A modification time with a fraction of a second, so that a date that lost
// precision on its way through the package no longer compares equal.
constexpr time_t kBaseSeconds = 1'600'000'000;
constexpr long kBaseNanoseconds = 123'456'789;

Date plus(Date date, double seconds) {
    return Date{date.timeIntervalSinceReferenceDate + seconds};
}

BackupDataItem record(Date backupDate, OptionalDate originalDate) {
    BackupDataItem item = BackupDataItem::make(originalDate);
    item.backupDate = backupDate;
    return item;
}

// The applications folder of `LocalResources::shared()` in this program, set
// before its first use so that nothing installed on the computer counts.
void useEmptySharedApplicationsFolder() {
    static const testsupport::TemporaryDirectory folder;
    static const bool ready = [] {
        LocalResources::setApplicationsDirectory(folder.path());
        LocalResources::setDesktopEntryFolders({});
        return true;
    }();
    (void)ready;
}

class SyncStateTest : public ::testing::Test {
protected:
    SyncStateTest() : home(temp_.home()) {
        useEmptySharedApplicationsFolder();
        local = std::make_unique<LocalResources>(temp_ / "NoApplications");
    }
    ~SyncStateTest() override {
        if (changedSharedExclusions_) LocalResources::shared().setExcludedFileURLs({});
        // Deliver the file's announcements while this test's file still exists.
        keel::DispatchQueue::drainMain();
    }

    // Opens the package after writing `records` into its "Data.json", as a
    // package written on another computer would hold them.
    std::shared_ptr<BackupFile> openPackage(
        const std::map<std::string, BackupDataItem>& records = {}) const {
        if (!records.empty())
            testsupport::writeFile(temp_ / "Test.qfbackup" / "Data.json",
                                   nlohmann::json(records).dump(2));
        return BackupFile::open(temp_ / "Test.qfbackup");
    }

    // Writes a local file at settings path `path`, modified `offset` seconds
    // after the base time; returns its date as the file system reports it.
    Date writeLocal(const std::string& path, time_t offset = 0) const {
        testsupport::writeFile(home / path, "settings of " + path);
        return setLocalDate(path, offset);
    }
    Date setLocalDate(const std::string& path, time_t offset) const {
        testsupport::setModifyDate(home / path, kBaseSeconds + offset, kBaseNanoseconds);
        return *keel::FileManager::modifyDateForFile(home / path);
    }

    void excludeInShared(std::vector<fs::path> urls) {
        changedSharedExclusions_ = true;
        LocalResources::shared().setExcludedFileURLs(std::move(urls));
    }

    testing::IsolatedSettings temp_;
    const fs::path home;
    // No applications and an empty exclusion list.
    std::unique_ptr<LocalResources> local;

private:
    bool changedSharedExclusions_ = false;
};

TEST_F(SyncStateTest, PathStateDecisions) {
    // Dates in seconds from the local file's modification date m.
    struct Case {
        const char* path;
        bool localExists;
        std::optional<double> backupDate;  // no record without it
        std::optional<double> originalDate;
        SyncAction expected;
    };
    const Case cases[] = {
        {"never-copied", true, std::nullopt, std::nullopt, SyncAction::backUp},
        {"copied-here-untouched", true, 100, 0, SyncAction::doNothing},
        {"untouched-though-copy-is-older", true, -100, 0, SyncAction::doNothing},
        {"changed-after-copy", true, -100, -200, SyncAction::backUp},
        // The content decides, not when the copy was made: an edit here
        // that is newer than the copied content wins over a later copy, and
        // newer copied content wins over a local edit it was copied before.
        {"edited-after-content-copied-later", true, 100, -200, SyncAction::backUp},
        {"content-newer-copied-earlier", true, -100, 50, SyncAction::install},
        {"same-as-copy-date", true, 0, -50, SyncAction::backUp},
        {"same-as-copy-date-no-original", true, 0, std::nullopt, SyncAction::upToDate},
        {"older-no-original", true, 100, std::nullopt, SyncAction::install},
        // No tolerance anywhere.
        {"microsecond-newer", true, -1e-6, -200, SyncAction::backUp},
        {"microsecond-off-original", true, 100, 1e-6, SyncAction::install},
        {"missing-with-copy", false, 100, -200, SyncAction::doNothing},
        {"missing-never-copied", false, std::nullopt, std::nullopt, SyncAction::doNothing},
    };
    std::map<std::string, Date> localDates;
    std::map<std::string, BackupDataItem> records;
    for (const Case& c : cases) {
        const Date m = localDates[c.path] = writeLocal(c.path);
        if (!c.localExists) fs::remove(home / c.path);
        if (c.backupDate) {
            const OptionalDate original =
                c.originalDate ? OptionalDate(plus(m, *c.originalDate)) : std::nullopt;
            records[c.path] = record(plus(m, *c.backupDate), original);
        }
    }
    const auto file = openPackage(records);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const SyncPathState state(file, c.path, "com.example.app", *local);
        EXPECT_EQ(state.action, c.expected);
        EXPECT_EQ(state.url, home / c.path);
        EXPECT_EQ(state.bundleID, "com.example.app");
        EXPECT_EQ(state.modifyDate,
                  c.localExists ? OptionalDate(localDates[c.path]) : std::nullopt);
        const auto found = records.find(c.path);
        const bool recorded = found != records.end();
        EXPECT_EQ(state.backupDate,
                  recorded ? OptionalDate(found->second.backupDate) : std::nullopt);
        EXPECT_EQ(state.originalDate, recorded ? found->second.originalDate : std::nullopt);
    }
}

// One file's life with copies made by the package itself, whose dates must
// come back from the package's JSON to the last bit.
TEST_F(SyncStateTest, PathStateFollowsBackUpsAndLocalChanges) {
    const std::string path = ".config/tool/settings.conf";
    writeLocal(path);
    auto file = openPackage();
    const auto state = [&] { return SyncPathState(file, path, std::nullopt, *local); };
    EXPECT_EQ(state().action, SyncAction::backUp);

    file->backUpData(path);
    file->save();
    file = openPackage();
    const SyncPathState copied = state();
    EXPECT_EQ(copied.action, SyncAction::doNothing);
    ASSERT_TRUE(copied.backupDate);
    EXPECT_EQ(copied.originalDate, copied.modifyDate);

    setLocalDate(path, static_cast<time_t>(copied.backupDate->timeIntervalSince1970()) + 3600 -
                           kBaseSeconds);
    EXPECT_EQ(state().action, SyncAction::backUp);
    file->backUpData(path);
    EXPECT_EQ(state().action, SyncAction::doNothing);

    setLocalDate(path, -3600);
    EXPECT_EQ(state().action, SyncAction::install);

    fs::remove(home / path);
    EXPECT_EQ(state().action, SyncAction::doNothing);
    EXPECT_TRUE(state().backupDate);
}

// A link into the home folder is followed by a back-up, which records its
// target's date: the state judges it by that date too. A link that is not
// followed counts by its own date.
TEST_F(SyncStateTest, SymbolicLinkIsJudgedByWhatTheBackUpCopies) {
    const Date targetDate = writeLocal("dotfiles/toolrc", 1000);
    fs::create_symlink(home / "dotfiles/toolrc", home / ".toolrc");
    const Date linkDate = setLocalDate(".toolrc", 0);
    fs::create_symlink(home / "dotfiles/missing", home / ".dangling");
    const Date danglingDate = setLocalDate(".dangling", 0);
    const auto file = openPackage({{".toolrc", record(plus(targetDate, 100), std::nullopt)}});

    const SyncPathState state(file, ".toolrc", std::nullopt, *local);
    EXPECT_EQ(state.url, home / ".toolrc");
    EXPECT_EQ(state.modifyDate, targetDate);
    EXPECT_NE(state.modifyDate, linkDate);
    EXPECT_EQ(state.action, SyncAction::install);
    EXPECT_EQ(SyncPathState(file, ".dangling", std::nullopt, *local).modifyDate, danglingDate);

    file->backUpData(".toolrc");
    EXPECT_EQ(file->dataItem(".toolrc")->originalDate, targetDate);
    EXPECT_EQ(SyncPathState(file, ".toolrc", std::nullopt, *local).action, SyncAction::doNothing);
}

TEST_F(SyncStateTest, ExcludedPathsNeedNothingButKeepTheirDates) {
    const fs::path outsideFolder = fs::canonical(temp_.path()) / "outside";
    const std::string outside = (outsideFolder / "hosts").string();
    std::map<std::string, BackupDataItem> records;
    for (const std::string& path : Paths{"Library/Excluded/inside.plist", "Library/Single.plist",
                                         "Library/ExcludedToo/sibling.plist", outside}) {
        testsupport::writeFile(home / path, path);
        testsupport::setModifyDate(home / path, kBaseSeconds, 0);
        const Date date = *keel::FileManager::modifyDateForFile(home / path);
        records[path] = record(plus(date, 100), plus(date, 50));
    }
    const auto file = openPackage(records);
    file->setFileItems({{outside, true, std::nullopt}});
    EXPECT_EQ(SyncItemState::forFilePath(file, outside).action, SyncAction::install);

    // The shared list serves when none is given; its empty entry excludes nothing.
    excludeInShared({"", home / "Library/Excluded", home / "Library/Single.plist", outsideFolder});
    const SyncPathState excluded(file, "Library/Excluded/inside.plist", std::nullopt);
    EXPECT_EQ(excluded.action, SyncAction::doNothing);
    EXPECT_TRUE(excluded.modifyDate);
    EXPECT_EQ(excluded.backupDate, records["Library/Excluded/inside.plist"].backupDate);
    EXPECT_EQ(excluded.originalDate, records["Library/Excluded/inside.plist"].originalDate);
    EXPECT_EQ(SyncPathState(file, "Library/Single.plist", std::nullopt).action,
              SyncAction::doNothing);
    EXPECT_EQ(SyncItemState::forFilePath(file, outside).action, SyncAction::doNothing);
    // A folder whose name only starts like an excluded one is not inside it.
    EXPECT_EQ(SyncPathState(file, "Library/ExcludedToo/sibling.plist", std::nullopt).action,
              SyncAction::install);
}

TEST_F(SyncStateTest, ItemCombinesOneStatePerDistinctPath) {
    const Date newer = writeLocal("a-new");
    const Date same = writeLocal("b-same");
    const Date older = writeLocal("c-older");
    const Date equal = writeLocal("d-equal");
    const auto file = openPackage({
        {"b-same", record(plus(same, 100), same)},
        {"c-older", record(plus(older, 100), plus(older, 50))},
        {"d-equal", record(equal, std::nullopt)},
        {"e-missing", record(plus(newer, 50), newer)},
    });
    struct Case {
        Paths paths;
        SyncAction expected;
        std::size_t distinct;
    };
    const Case cases[] = {
        {{}, SyncAction::doNothing, 0},
        {{"a-new", "b-same"}, SyncAction::backUp, 2},
        {{"a-new", "c-older"}, SyncAction::multiple, 2},
        {{"c-older", "e-missing", "b-same"}, SyncAction::install, 3},
        {{"d-equal", "b-same", "d-equal"}, SyncAction::upToDate, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.paths));
        const SyncItemState item(file, false, "Item", c.paths, "com.example.item", *local);
        EXPECT_EQ(item.action, c.expected);
        EXPECT_EQ(item.paths, c.paths);
        EXPECT_EQ(item.isEnabled, false);
        EXPECT_EQ(item.states.size(), c.distinct);
        for (const auto& [path, state] : item.states)
            EXPECT_EQ(state, SyncPathState(file, path, "com.example.item", *local));
    }

    // Each date comes from some path that has one; none, when none has.
    const SyncItemState mixed(file, true, "Mixed", {"e-missing", "a-new", "z-none"}, std::nullopt,
                              *local);
    EXPECT_EQ(mixed.backupDate, plus(newer, 50));
    EXPECT_EQ(mixed.modifyDate, newer);
    const SyncItemState empty(file, true, "Empty", {}, std::nullopt, *local);
    EXPECT_EQ(empty.backupDate, std::nullopt);
    EXPECT_EQ(empty.modifyDate, std::nullopt);
}

TEST_F(SyncStateTest, FileAndExecItemsTakeTheirSwitchFromTheirRecords) {
    writeLocal("Documents/enabled.txt");
    writeLocal("Documents/disabled.txt");
    const auto file = openPackage();
    file->setFileItems({{"Documents/enabled.txt", true, std::nullopt},
                        {"Documents/disabled.txt", false, std::nullopt}});
    struct Case {
        std::string path;
        std::optional<bool> isEnabled;
        SyncAction action;
    };
    for (const Case& c : {Case{"Documents/enabled.txt", true, SyncAction::backUp},
                          Case{"Documents/disabled.txt", false, SyncAction::backUp},
                          Case{"Documents/missing.txt", std::nullopt, SyncAction::doNothing}}) {
        SCOPED_TRACE(c.path);
        const SyncItemState item = SyncItemState::forFilePath(file, c.path, *local);
        EXPECT_EQ(item.identifier, c.path);
        EXPECT_EQ(item.isEnabled, c.isEnabled);
        EXPECT_EQ(item.action, c.action);
        EXPECT_EQ(item.paths, Paths{c.path});
        ASSERT_EQ(item.states.size(), 1u);
    }

    const Paths gitPaths = SyncConfiguration::catalogByName().at("Git").paths;
    writeLocal(gitPaths.front());
    EXPECT_EQ(SyncItemState::forExecName(file, "Git", *local).isEnabled, std::nullopt);
    file->setExecItems({{"Git", false, std::nullopt}});
    const SyncItemState git = SyncItemState::forExecName(file, "Git", *local);
    EXPECT_EQ(git.isEnabled, false);
    EXPECT_EQ(git.paths, gitPaths);
    EXPECT_EQ(git.states.size(), gitPaths.size());
    EXPECT_EQ(git.action, SyncAction::backUp);
    for (const auto& [path, state] : git.states)
        EXPECT_EQ(state.bundleID, std::nullopt) << path;
}

TEST_F(SyncStateTest, AppItemCarriesTheInstalledBundleID) {
    const std::string identifier = "com.noodlesoft.Hazel";
    testsupport::writeFile(temp_ / "Applications/Hazel.app/Contents/Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
                           "<dict><key>CFBundleIdentifier</key><string>" +
                               identifier + "</string></dict></plist>\n");
    const std::string preferences = "Library/Preferences/" + identifier + ".plist";
    const std::string contained = "Library/Containers/" + identifier + "/Data/" + preferences;
    const Date date = writeLocal(preferences);
    writeLocal(contained);
    const auto file = openPackage({{preferences, record(plus(date, 100), plus(date, 50))}});
    file->setAppItems({{"Hazel", true, std::nullopt}});

    const LocalResources installed(temp_ / "Applications");
    const SyncItemState item = SyncItemState::forAppName(file, "Hazel", installed);
    EXPECT_EQ(item.isEnabled, true);
    EXPECT_EQ(item.paths, SyncPathsFinder::forApp("Hazel", installed).paths);
    ASSERT_TRUE(item.states.contains(contained));
    EXPECT_EQ(item.states.at(preferences).action, SyncAction::install);
    EXPECT_EQ(item.states.at(contained).action, SyncAction::backUp);
    EXPECT_EQ(item.action, SyncAction::multiple);
    for (const auto& [path, state] : item.states)
        EXPECT_EQ(state.bundleID, identifier) << path;

    // Not installed here: the catalog's paths only, and no identifier.
    const SyncItemState absent = SyncItemState::forAppName(file, "Hazel", *local);
    EXPECT_FALSE(absent.states.contains(contained));
    EXPECT_EQ(absent.action, SyncAction::install);
    for (const auto& [path, state] : absent.states)
        EXPECT_EQ(state.bundleID, std::nullopt) << path;
    EXPECT_EQ(SyncItemState::forAppName(file, "Unrecorded", *local).isEnabled, std::nullopt);
}

// An application's state reuses what finding its paths read of each location;
// whatever sits there (a file, a folder changed inside, links to a file, to a
// folder, to nothing or to themselves, nothing at all), it must come out as a
// state built by reading every location afresh.
TEST_F(SyncStateTest, AppStateFromTheFindersLookMatchesAFreshLook) {
    const std::string identifier = "com.noodlesoft.Hazel";
    testsupport::writeFile(temp_ / "Applications/Hazel.app/Contents/Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
                           "<dict><key>CFBundleIdentifier</key><string>" +
                               identifier +
                               "</string><key>NSUbiquitousContainers</key><dict>"
                               "<key>group.hazel</key><dict/></dict></dict></plist>\n");
    const LocalResources installed(temp_ / "Applications");
    const std::string preferences = "Library/Preferences/" + identifier + ".plist";
    const std::string support = "Library/Application Support/Hazel";
    const std::string contained = "Library/Containers/" + identifier + "/Data/" + preferences;
    const std::string group = "Library/Group Containers/group.hazel";
    const auto link = [&](const fs::path& target, const std::string& path) {
        fs::create_directories((home / path).parent_path());
        fs::create_symlink(target, home / path);
    };

    struct Case {
        const char* name;
        std::function<void()> layout;
    };
    const std::vector<Case> cases = {
        {"plain items",
         [&] {
             writeLocal(preferences, 10);
             writeLocal(support + "/rules.plist", 50);
             setLocalDate(support, 20);
             writeLocal(group + "/state", 5);
         }},
        {"links to a file and to a folder",
         [&] {
             testsupport::writeFile(temp_ / "elsewhere" / "Hazel.plist", "x");
             testsupport::setModifyDate(temp_ / "elsewhere" / "Hazel.plist", kBaseSeconds + 70, 0);
             link(temp_ / "elsewhere" / "Hazel.plist", preferences);
             writeLocal("Dropbox/Hazel/rules", 30);
             link("../../Dropbox/Hazel", support);
         }},
        {"links to nothing and to themselves, nothing at all",
         [&] {
             link(temp_ / "missing", preferences);
             link(home / contained, contained);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(home);
        fs::remove_all(temp_ / "elsewhere");
        fs::create_directories(home);
        c.layout();
        const auto file = openPackage();
        file->setAppItems({{"Hazel", true, std::nullopt}});

        const SyncItemState item = SyncItemState::forAppName(file, "Hazel", installed);
        const SyncItemState fresh(file, true, "Hazel",
                                  SyncPathsFinder::forApp("Hazel", installed).paths, identifier,
                                  installed);
        EXPECT_EQ(item, fresh);
        EXPECT_TRUE(item.states.contains(group));
    }
}

// The viewer and the engine's operations build states of one package at once.
class SyncStateConcurrencyTest : public SyncStateTest {};

TEST_F(SyncStateConcurrencyTest, StatesBuiltOnManyThreadsAgree) {
    Paths paths;
    std::map<std::string, BackupDataItem> records;
    for (int i = 0; i < 24; ++i) {
        paths.push_back("item" + std::to_string(i));
        const Date date = writeLocal(paths.back(), i);
        if (i % 3) records[paths.back()] = record(plus(date, i % 2 ? 100 : -100), std::nullopt);
    }
    const auto file = openPackage(records);
    const SyncItemState expected(file, true, "All", paths, std::nullopt, *local);

    std::vector<SyncItemState> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back(
            [&, i] { seen[i] = SyncItemState(file, true, "All", paths, std::nullopt, *local); });
    for (auto& thread : threads)
        thread.join();
    for (const auto& result : seen)
        EXPECT_EQ(result, expected);
}

}  // namespace
}  // namespace quillfen
