// What a save keeps when another computer wrote the same package file since
// this run read it.
#include <gtest/gtest.h>

#include "backup/PackageMerge.h"

using namespace quillfen;
using keel::Date;

namespace {

BackupDataItem record(const char* uuid, double backupDate, std::optional<double> originalDate) {
    std::optional<Date> original;
    if (originalDate) original = Date{*originalDate};
    return BackupDataItem{uuid, Date{backupDate}, original};
}

BackupEventItem event(SyncAction action, double date, const char* computer) {
    return BackupEventItem{action, Date{date}, std::string(computer)};
}

TEST(PackageMergeTest, DataRecordsKeepEachSidesChangesAndTheNewerContentOfAPathBothChanged) {
    const BackupFileData::DataItems base{
        {"untouched", record("U", 10, 5)},
        {"mine", record("M0", 10, 5)},
        {"theirs", record("T0", 10, 5)},
        {"both-mine-newer", record("B0", 10, 5)},
        {"both-theirs-newer", record("C0", 10, 5)},
        {"same-original-later-backup", record("D0", 10, 5)},
        {"removed-here", record("R0", 10, 5)},
        {"removed-here-changed-there", record("X0", 10, 5)},
        {"changed-here-removed-there", record("Y0", 10, 5)},
    };
    BackupFileData::DataItems ours = base;
    ours["mine"] = record("M1", 20, 15);
    ours["both-mine-newer"] = record("B1", 20, 16);
    ours["both-theirs-newer"] = record("C1", 30, 15);
    ours["same-original-later-backup"] = record("D1", 20, 15);
    ours.erase("removed-here");
    ours.erase("removed-here-changed-there");
    ours["changed-here-removed-there"] = record("Y1", 20, 15);
    ours["added-here"] = record("A1", 20, 15);

    BackupFileData::DataItems theirs = base;
    theirs["theirs"] = record("T1", 20, 15);
    theirs["both-mine-newer"] = record("B2", 25, 15);
    // A later original date wins over a later back-up.
    theirs["both-theirs-newer"] = record("C2", 20, 16);
    theirs["same-original-later-backup"] = record("D2", 21, 15);
    theirs["removed-here-changed-there"] = record("X1", 20, 15);
    theirs.erase("changed-here-removed-there");
    theirs["added-there"] = record("A2", 20, 15);

    const auto merge = PackageMerge::data(base, ours, theirs);
    const BackupFileData::DataItems expected{
        {"untouched", record("U", 10, 5)},
        {"mine", record("M1", 20, 15)},
        {"theirs", record("T1", 20, 15)},
        {"both-mine-newer", record("B1", 20, 16)},
        {"both-theirs-newer", record("C2", 20, 16)},
        {"same-original-later-backup", record("D2", 21, 15)},
        {"removed-here-changed-there", record("X1", 20, 15)},
        {"changed-here-removed-there", record("Y1", 20, 15)},
        {"added-here", record("A1", 20, 15)},
        {"added-there", record("A2", 20, 15)},
    };
    EXPECT_EQ(merge.records, expected);
    // Only this run's copies that lost are to be deleted; the other
    // computer's losing copies are never this run's to delete.
    EXPECT_EQ(merge.losingCopies, (std::set<std::string>{"C1", "D1"}));
}

TEST(PackageMergeTest, ARecordWithoutOriginalDateIsTheOlderAndTiesGoTheSameWayOnBothSides) {
    EXPECT_TRUE(PackageMerge::isNewer(record("A", 1, 1), record("B", 99, std::nullopt)));
    EXPECT_FALSE(PackageMerge::isNewer(record("B", 99, std::nullopt), record("A", 1, 1)));
    const auto a = record("A", 5, 5), b = record("B", 5, 5);
    EXPECT_NE(PackageMerge::isNewer(a, b), PackageMerge::isNewer(b, a));
}

TEST(PackageMergeTest, ItemListsApplyThisRunsAddsRemovesAndSwitchesOverTheirs) {
    using Apps = BackupFileData::AppItems;
    const Apps base{{"Kept", {"Kept", true, {}}},
                    {"Switched", {"Switched", true, {}}},
                    {"Removed", {"Removed", true, {}}}};
    Apps ours = base;
    ours["Switched"].isEnabled = false;
    ours.erase("Removed");
    ours["Added"] = {"Added", true, {}};
    Apps theirs = base;
    theirs["Kept"].comment = "their comment";
    theirs["Theirs"] = {"Theirs", true, {}};

    const Apps expected{{"Kept", {"Kept", true, "their comment"}},
                        {"Switched", {"Switched", false, {}}},
                        {"Added", {"Added", true, {}}},
                        {"Theirs", {"Theirs", true, {}}}};
    EXPECT_EQ(PackageMerge::items<BackupAppItem>(base, ours, theirs), expected);
}

TEST(PackageMergeTest, HistoryIsTheUnionNewestFirstWithoutWhatThisRunRemovedAndAtMostTen) {
    const BackupFileData::EventItems base{event(SyncAction::backUp, 100, "a"),
                                          event(SyncAction::install, 90, "b")};
    // This run added one event; the other computer added two.
    BackupFileData::EventItems ours = base;
    ours.insert(ours.begin(), event(SyncAction::synchronize, 110, "a"));
    BackupFileData::EventItems theirs = base;
    theirs.insert(theirs.begin(), event(SyncAction::backUp, 105, "b"));
    theirs.insert(theirs.begin(), event(SyncAction::install, 120, "b"));

    EXPECT_EQ(PackageMerge::events(base, ours, theirs),
              (BackupFileData::EventItems{
                  event(SyncAction::install, 120, "b"), event(SyncAction::synchronize, 110, "a"),
                  event(SyncAction::backUp, 105, "b"), event(SyncAction::backUp, 100, "a"),
                  event(SyncAction::install, 90, "b")}));

    // A cleared history stays clear of what it held; the other computer's
    // new events come in.
    EXPECT_EQ(PackageMerge::events(base, {}, theirs),
              (BackupFileData::EventItems{event(SyncAction::install, 120, "b"),
                                          event(SyncAction::backUp, 105, "b")}));

    BackupFileData::EventItems many;
    for (int i = 0; i < 8; ++i)
        many.push_back(event(SyncAction::backUp, 200 - i, "b"));
    const auto merged = PackageMerge::events(
        {},
        {event(SyncAction::install, 150, "a"), event(SyncAction::install, 300, "a"),
         event(SyncAction::install, 1, "a")},
        many);
    ASSERT_EQ(merged.size(), PackageMerge::maximumEvents);
    EXPECT_EQ(merged.front().date, Date{300});
    EXPECT_EQ(merged.back().date, Date{150});
}

TEST(PackageMergeTest, TheNoteIsThisRunsWhenItChangedItElseTheirs) {
    const BackupFileData::NoteItems base{BackupNoteItem{"old"}};
    const BackupFileData::NoteItems theirs{BackupNoteItem{"theirs"}};
    EXPECT_EQ(PackageMerge::notes(base, base, theirs), theirs);
    EXPECT_EQ(PackageMerge::notes(base, {BackupNoteItem{"mine"}}, theirs),
              BackupFileData::NoteItems{BackupNoteItem{"mine"}});
}

}  // namespace
