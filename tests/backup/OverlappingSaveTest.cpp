// A package that another computer writes while this one holds it open: the
// save merges instead of overwriting, copies are deleted only when no record
// on disk names them, new copies are known before they are written, and a
// package that went away is never made again.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "backup/BackupError.h"
#include "backup/BackupFileData.h"
#include "backup/BackupFileTestHelpers.h"
#include "backup/DataCopyDeletionSchedule.h"
#include "support/TestSupport.h"

namespace quillfen::testing {
namespace {

using testsupport::readFile;
using testsupport::writeFile;

class OverlappingSaveTest : public BackupFileFixture {
protected:
    // The records of the "Data.json" on disk: settings path to copy name.
    std::map<std::string, std::string> savedRecords() const {
        std::map<std::string, std::string> records;
        const auto content = nlohmann::json::parse(readFile(packageURL() / "Data.json"));
        for (const auto& member : content.items())
            records[member.key()] = member.value().at("uuid").get<std::string>();
        return records;
    }

    // The names of the copies in "Data".
    std::set<std::string> storedCopies() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(packageURL() / "Data"))
            names.insert(entry.path().stem().string());
        return names;
    }

    void expectEveryRecordHasItsCopyAndNoCopyIsLeftOver() const {
        std::set<std::string> named;
        for (const auto& [path, uuid] : savedRecords()) {
            EXPECT_TRUE(fs::exists(dataCopyURL(uuid))) << path << " names a missing copy";
            named.insert(uuid);
        }
        EXPECT_EQ(storedCopies(), named);
    }

    // Another computer: its own support folder (and so its own deletion
    // schedule) while it opens, edits and saves the package.
    template <class Work>
    void onOtherComputer(Work work) {
        const testsupport::ScopedEnv data("XDG_DATA_HOME", folder("other-data").string());
        auto other = BackupFile::open(packageURL());
        work(*other);
    }
};

TEST_F(OverlappingSaveTest, WhatAnotherComputerSavedDuringARunSurvivesTheRunsSave) {
    writeLocal("shared.txt", "one");
    file->backUpData("shared.txt");
    file->setAppItems({{"Mine", true, std::nullopt}});
    file->addEvent(SyncAction::backUp);
    file->save();
    const std::string firstCopy = savedRecords().at("shared.txt");

    // This run backs up two paths and removes nothing yet...
    writeLocal("shared.txt", "two");
    file->backUpData("shared.txt");
    writeLocal("mine.txt", "mine");
    file->backUpData("mine.txt");
    file->addEvent(SyncAction::synchronize);

    // ...while the other computer saves a record and an event of its own.
    onOtherComputer([&](BackupFile& other) {
        writeLocal("theirs.txt", "theirs");
        other.backUpData("theirs.txt");
        other.setAppItems({{"Theirs", true, std::nullopt}});
        other.addEvent(SyncAction::install);
        other.save();
    });
    file->save();

    const auto records = savedRecords();
    EXPECT_EQ(records.size(), 3u);
    EXPECT_TRUE(records.contains("theirs.txt") && records.contains("mine.txt"));
    EXPECT_NE(records.at("shared.txt"), firstCopy);
    EXPECT_EQ(readFile(dataCopyURL(records.at("shared.txt"))), "two");
    // The replaced copy is gone; the other computer's copy stays.
    expectEveryRecordHasItsCopyAndNoCopyIsLeftOver();

    const auto reopened = BackupFile::open(packageURL());
    std::vector<std::string> apps;
    for (const auto& app : reopened->appItems())
        apps.push_back(app.name);
    EXPECT_EQ(apps, (std::vector<std::string>{"Mine", "Theirs"}));
    std::multiset<SyncAction> actions;
    for (const auto& event : reopened->eventItems())
        actions.insert(event.action);
    EXPECT_EQ(actions, (std::multiset<SyncAction>{SyncAction::backUp, SyncAction::synchronize,
                                                  SyncAction::install}));
}

TEST_F(OverlappingSaveTest, OfTwoNewCopiesOfOnePathTheNewerContentWinsAndTheLosingCopyGoes) {
    writeLocal("both.txt", "old");
    file->backUpData("both.txt");
    file->save();

    writeLocal("both.txt", "this computer, older");
    testsupport::setModifyDate(home() / "both.txt", 1'700'000'000);
    file->backUpData("both.txt");
    onOtherComputer([&](BackupFile& other) {
        writeLocal("both.txt", "other computer, newer");
        testsupport::setModifyDate(home() / "both.txt", 1'700'000'100);
        other.backUpData("both.txt");
        other.save();
    });
    file->save();

    EXPECT_EQ(readFile(dataCopyURL(savedRecords().at("both.txt"))), "other computer, newer");
    EXPECT_EQ(file->dataItem("both.txt")->uuid, savedRecords().at("both.txt"));
    expectEveryRecordHasItsCopyAndNoCopyIsLeftOver();
}

TEST_F(OverlappingSaveTest, ACopyStoredButNeverSavedIsDeletedAtTheNextOpening) {
    writeLocal("kept.txt", "kept");
    file->backUpData("kept.txt");
    file->save();
    const auto schedule = *DataCopyDeletionSchedule::standard();
    EXPECT_TRUE(schedule.copies(packageURL()).empty()) << "a saved copy stays scheduled";

    // A run that stores a copy and is killed before its save.
    writeLocal("lost.txt", "lost");
    file->backUpData("lost.txt");
    const std::string unsaved = file->dataItem("lost.txt")->uuid;
    ASSERT_TRUE(fs::exists(dataCopyURL(unsaved)));
    EXPECT_TRUE(schedule.copies(packageURL()).contains(unsaved));

    const auto next = BackupFile::open(packageURL());
    EXPECT_FALSE(fs::exists(dataCopyURL(unsaved)));
    expectEveryRecordHasItsCopyAndNoCopyIsLeftOver();
    EXPECT_TRUE(schedule.copies(packageURL()).empty());
}

TEST_F(OverlappingSaveTest, APackageMovedOrDeletedDuringARunIsNeverMadeAgain) {
    writeLocal("a.txt", "a");
    file->backUpData("a.txt");
    file->save();

    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced" : "deleted");
        const auto run = BackupFile::open(packageURL());
        writeLocal("b.txt", "b");
        fs::rename(packageURL(), folder("Moved.qfbackup"));
        if (replaced) fs::create_directory(packageURL());

        const auto expectGone = [&](auto operation) {
            try {
                operation();
                ADD_FAILURE() << "no error";
            } catch (const BackupError& error) {
                EXPECT_EQ(error.code(), BackupError::Code::backupFileWasMovedOrDeleted);
            }
        };
        expectGone([&] { run->backUpData("b.txt"); });
        expectGone([&] { run->installData("a.txt"); });
        run->addEvent(SyncAction::backUp);
        expectGone([&] { run->save(); });

        EXPECT_EQ(fs::exists(packageURL()), replaced);
        if (replaced) {
            EXPECT_TRUE(fs::is_empty(packageURL()));
        }
        fs::remove_all(packageURL());
        fs::rename(folder("Moved.qfbackup"), packageURL());
    }
}

TEST_F(OverlappingSaveTest, OrphansAreTheCopiesNobodyNamesOlderThanTheGracePeriod) {
    writeLocal("named.txt", "named");
    file->backUpData("named.txt");
    file->save();
    const std::string orphan = "0A1B2C3D-0000-4000-8000-00000000000A";
    const std::string scheduled = "0A1B2C3D-0000-4000-8000-00000000000B";
    writeFile(dataCopyURL(orphan), "12345");
    writeFile(dataCopyURL(orphan + "-not-a-copy"), "x");
    writeFile(packageURL() / "Data" / (orphan + " 2.qfdata"), "a conflict copy");
    writeFile(dataCopyURL(scheduled), "being written by a run of this computer");
    DataCopyDeletionSchedule::standard()->add(packageURL(), {scheduled});

    using Orphans = std::vector<BackupFileData::OrphanCopy>;
    EXPECT_EQ(file->orphanCopies(std::chrono::hours(1)), Orphans{});
    EXPECT_EQ(file->orphanCopies(std::chrono::seconds(0)), (Orphans{{orphan, 5}}));
    EXPECT_EQ(file->removeOrphanCopies(std::chrono::seconds(0)), (Orphans{{orphan, 5}}));
    EXPECT_FALSE(fs::exists(dataCopyURL(orphan)));
    EXPECT_TRUE(fs::exists(dataCopyURL(scheduled)));
    EXPECT_TRUE(fs::exists(dataCopyURL(savedRecords().at("named.txt"))));
}

}  // namespace
}  // namespace quillfen::testing
