#include "app/BackupViewer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/BackupNoteEntry.h"
#include "app/RecordedEntries.h"
#include "app/ViewerTestHelpers.h"
#include "catalog/SyncConfiguration.h"
#include "keel/FinderOrder.h"

namespace quillfen::testing {
namespace {

using Action = BackupEdition::Action;
using Category = BackupEdition::Category;

const std::string alphaPreferences = "Library/Preferences/com.example.Alpha.plist";

class BackupViewerTest : public ViewerFixture {};

// MARK: Rebuilding

TEST_F(BackupViewerTest, WithoutFileEveryListIsEmpty) {
    viewer->setBackupFile(nullptr);
    // Lists of an earlier file go too.
    file->setAppItems({{"Hazel", true, {}}});
    viewer->reload(true);
    recorder->next();

    EXPECT_EQ(viewer->backupFile(), nullptr);
    EXPECT_TRUE(viewer->backupAppEntries().empty());
    EXPECT_TRUE(viewer->backupExecEntries().empty());
    EXPECT_TRUE(viewer->backupFileEntries().empty());
    EXPECT_EQ(viewer->backupNoteEntry(), std::nullopt);

    // Nor does an edition conjure up rows without a file.
    viewer->update({Category::apps, std::vector{row(-1, "Hazel", Action::add)}});
    const Reload reload = recorder->next();
    EXPECT_EQ(reload.edition, (BackupEdition{Category::apps, std::vector<BackupEdition::Entry>{}}));
    EXPECT_TRUE(viewer->backupAppEntries().empty());
}

TEST_F(BackupViewerTest, ApplicationRowsMergeInstalledAndRecordedApplications) {
    writeLocal(alphaPreferences);
    // Hazel is in the catalog but not installed; Mango is both.
    file->setAppItems({{"Hazel", true, {}}, {"Mango", false, {}}});
    reloadAll();

    const auto entries = viewer->backupAppEntries();
    ASSERT_EQ(namesOf(entries), (std::vector<std::string>{"Alpha", "Hazel", "Mango", "Zeta"}));
    EXPECT_EQ(namesOf(entries), file->appNames());

    const BackupAppEntry& alpha = entries[0];  // installed, not recorded
    EXPECT_EQ(alpha.backupItem, std::nullopt);
    ASSERT_TRUE(alpha.localItem);
    EXPECT_EQ(alpha.isEnabled(), std::nullopt);
    EXPECT_TRUE(alpha.isFound());
    EXPECT_EQ(alpha.action(), SyncAction::backUp);
    // Its preferences, inside and outside its container.
    EXPECT_EQ(alpha.itemsCount(), 2u);
    EXPECT_EQ(alpha.bundleURL(), viewerApplicationsFolder() / "Alpha.app");
    EXPECT_EQ(alpha.icon(),
              (EntryIcon{viewerApplicationsFolder() / "Alpha.app",
                         viewerApplicationsFolder() / "Alpha.app/Contents/Resources/AlphaIcon.icns",
                         "GenericAppIcon"}));
    for (const auto& [path, state] : alpha.state.states)
        EXPECT_EQ(state.bundleID, "com.example.Alpha") << path;

    const BackupAppEntry& hazel = entries[1];  // recorded, not installed
    EXPECT_EQ(hazel.backupItem, (BackupAppItem{"Hazel", true, {}}));
    EXPECT_EQ(hazel.localItem, std::nullopt);
    EXPECT_EQ(hazel.isEnabled(), true);
    EXPECT_FALSE(hazel.isFound());
    EXPECT_EQ(hazel.itemsCount(), 2u);
    EXPECT_EQ(hazel.bundleURL(), std::nullopt);
    EXPECT_EQ(hazel.icon(), (EntryIcon{std::nullopt, std::nullopt, "GenericAppIcon"}));
    for (const auto& [path, state] : hazel.state.states)
        EXPECT_EQ(state.bundleID, std::nullopt) << path;

    const BackupAppEntry& mango = entries[2];
    EXPECT_EQ(mango.isEnabled(), false);
    EXPECT_TRUE(mango.localItem);
    EXPECT_FALSE(mango.isFound());

    const BackupAppEntry& zeta = entries[3];  // no identifier, no paths
    EXPECT_EQ(zeta.itemsCount(), 0u);
    EXPECT_EQ(zeta.action(), SyncAction::doNothing);
    EXPECT_EQ(zeta.title(), "Zeta");
    EXPECT_EQ(zeta.file, file);
}

TEST_F(BackupViewerTest, RowsMadeTogetherAreTheRowsMadeOneByOne) {
    writeLocal(alphaPreferences);
    writeLocal(".curlrc");
    file->setAppItems({{"Hazel", true, {}}, {"Alpha", false, {}}});
    file->backUpData(alphaPreferences);
    file->backUpData(".curlrc");
    writeLocal(".curlrc", "changed");
    // Rows with two paths, none, a backed-up one, twice the same name, and
    // a name neither installed nor recorded: each row must get its own
    // records out of the batch.
    const std::vector<std::string> apps{"Zeta", "Alpha", "Nowhere", "Hazel", "Alpha", "Mango"};
    const auto together = BackupAppEntry::make(file, apps);
    ASSERT_EQ(together.size(), apps.size());
    for (std::size_t i = 0; i < apps.size(); ++i)
        EXPECT_EQ(together[i], BackupAppEntry::make(file, apps[i])) << apps[i];
    EXPECT_EQ(together[1].action(), SyncAction::doNothing);
    EXPECT_TRUE(together[1].state.backupDate);

    const std::vector<std::string> execs{"Vim", "curl", "not-a-catalog-tool"};
    const auto execRows = BackupExecEntry::make(file, execs);
    ASSERT_EQ(execRows.size(), execs.size());
    for (std::size_t i = 0; i < execs.size(); ++i)
        EXPECT_EQ(execRows[i], BackupExecEntry::make(file, execs[i])) << execs[i];
    EXPECT_EQ(execRows[1].action(), SyncAction::backUp);

    EXPECT_TRUE(BackupAppEntry::make(file, std::vector<std::string>()).empty());
    EXPECT_THROW(BackupAppEntry::make(nullptr, apps), std::invalid_argument);
    EXPECT_THROW(BackupExecEntry::make(nullptr, execs), std::invalid_argument);
}

TEST_F(BackupViewerTest, ExecutableRowsListTheCatalogInFinderOrder) {
    writeLocal(".curlrc");
    file->setExecItems({{"Vim", true, {}}});
    reloadAll();

    const auto entries = viewer->backupExecEntries();
    const auto names = namesOf(entries);
    EXPECT_EQ(names, file->execNames());
    EXPECT_EQ(names, keel::finderSorted(SyncConfiguration::execNames()));

    const auto find = [&](const std::string& name) -> const BackupExecEntry& {
        const auto found = std::find(names.begin(), names.end(), name);
        EXPECT_NE(found, names.end()) << name;
        return entries.at(static_cast<std::size_t>(found - names.begin()));
    };
    const BackupExecEntry& vim = find("Vim");
    EXPECT_EQ(vim.backupItem, (BackupExecItem{"Vim", true, {}}));
    EXPECT_EQ(vim.isEnabled(), true);
    EXPECT_EQ(vim.icon(), (EntryIcon{std::nullopt, std::nullopt, "ExecutableItemIcon"}));

    const BackupExecEntry& curl = find("curl");
    EXPECT_EQ(curl.backupItem, std::nullopt);
    EXPECT_EQ(curl.isEnabled(), std::nullopt);
    EXPECT_TRUE(curl.isFound());
    EXPECT_EQ(curl.action(), SyncAction::backUp);
    EXPECT_EQ(curl.itemsCount(), 1u);
}

TEST_F(BackupViewerTest, FileRowsFollowTheRecordsInFinderOrderOfPath) {
    writeLocal("notes/b 10.txt");
    file->setFileItems({{"notes/b 10.txt", true, {}},
                        {"notes/b 9.txt", false, {}},
                        {"/etc/quillfen-none", true, {}}});
    reloadAll();

    const auto entries = viewer->backupFileEntries();
    ASSERT_EQ(pathsOf(entries),
              (std::vector<std::string>{"/etc/quillfen-none", "notes/b 9.txt", "notes/b 10.txt"}));

    const BackupFileEntry& present = entries[2];
    EXPECT_EQ(present.title(), "notes/b 10.txt");
    EXPECT_TRUE(present.isFound());
    EXPECT_EQ(present.action(), SyncAction::backUp);
    EXPECT_EQ(present.isEnabled(), true);
    EXPECT_EQ(present.url(), home() / "notes/b 10.txt");
    EXPECT_EQ(present.localItem.fileURL, home() / "notes/b 10.txt");
    EXPECT_EQ(present.localItem.name, "b 10");
    EXPECT_EQ(present.icon(), (EntryIcon{home() / "notes/b 10.txt", {}, "GenericAppIcon"}));

    const BackupFileEntry& missing = entries[1];
    EXPECT_FALSE(missing.isFound());
    EXPECT_EQ(missing.isEnabled(), false);
    EXPECT_EQ(missing.backupDate(), std::nullopt);
    EXPECT_EQ(missing.localItem.fileURL, home() / "notes/b 9.txt");

    // A location outside the home folder keeps its absolute path.
    EXPECT_EQ(entries[0].url(), fs::path("/etc/quillfen-none"));
}

// What a status without "all" shows is built without the viewer: it must be
// the viewer's rows of the recorded items, in the viewer's order.
TEST_F(BackupViewerTest, RecordedEntriesAreTheViewersRowsOfTheRecordedItems) {
    writeLocal(alphaPreferences);
    writeLocal(".curlrc");
    writeLocal("notes/b 10.txt");
    // Installed or not, switched on or off, in an order Finder order changes;
    // an executable the catalog does not offer has no row in either.
    file->setAppItems({{"Mango", false, {}}, {"Hazel", true, {}}});
    file->setExecItems({{"Vim", true, {}}, {"curl", true, {}}, {"not-a-catalog-tool", true, {}}});
    file->setFileItems({{"notes/b 10.txt", true, {}}, {"notes/b 9.txt", false, {}}});
    // A viewer that read the package as it now is, with no edits to apply.
    const auto fresh = BackupViewer::create();
    fresh->setBackupFile(file);
    fresh->reload(true);

    const RecordedEntries recorded = RecordedEntries::of(file);
    const auto recordedOnly = [](auto entries) {
        std::erase_if(entries, [](const auto& entry) { return !entry.backupItem; });
        return entries;
    };
    EXPECT_EQ(namesOf(recorded.apps), (std::vector<std::string>{"Hazel", "Mango"}));
    EXPECT_EQ(recorded.apps, recordedOnly(fresh->backupAppEntries()));
    EXPECT_EQ(namesOf(recorded.execs), (std::vector<std::string>{"curl", "Vim"}));
    EXPECT_EQ(recorded.execs, recordedOnly(fresh->backupExecEntries()));
    EXPECT_EQ(recorded.files, fresh->backupFileEntries());
    EXPECT_TRUE(RecordedEntries::of(nullptr).apps.empty());
}

TEST_F(BackupViewerTest, NoteTitleIsTheFirstTenCharactersOnOneLine) {
    struct Case {
        std::optional<std::string> text;
        std::string title;
    };
    const std::vector<Case> cases = {
        {std::nullopt, ""},
        {"", ""},
        {"Hello\nWorld", "Hello Worl"},
        {"Hello\r\nWorld", "Hello Worl"},
        {"Hi\rthere", "Hi there"},
        {"short", "short"},
        {"exactly 10", "exactly 10"},
        {"\n\n\n", "   "},
        // Multi-byte letters are never cut in half...
        {"ééééééééééé", "éééééééééé"},
        {"日本語のメモを書きました", "日本語のメモを書きま"},
        // ...nor separated from their accents (an "e" with a combining acute).
        {"e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81",
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"
         "e\xCC\x81"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.value_or("(none)"));
        const BackupNoteEntry entry{file, c.text};
        EXPECT_EQ(entry.title(), c.title);
        EXPECT_FALSE(entry.isFound());
    }

    // Bytes that are not UTF-8 still give a short title.
    const BackupNoteEntry garbage{file, std::string(40, '\xFF')};
    EXPECT_LE(garbage.title().size(), 40u);
    EXPECT_FALSE(garbage.title().empty());
}

TEST_F(BackupViewerTest, NoteEntryIsPresentWheneverAFileIs) {
    reloadAll();
    ASSERT_TRUE(viewer->backupNoteEntry());
    EXPECT_EQ(viewer->backupNoteEntry()->string, std::nullopt);
    EXPECT_EQ(viewer->backupNoteEntry()->title(), "");

    file->setNote("Hello\nWorld, again");
    const Reload reload = recorder->next();
    EXPECT_EQ(reload.edition, (BackupEdition{Category::notes, std::nullopt}));
    ASSERT_TRUE(viewer->backupNoteEntry());
    EXPECT_EQ(viewer->backupNoteEntry()->string, "Hello\nWorld, again");
    EXPECT_EQ(viewer->backupNoteEntry()->title(), "Hello Worl");
}

TEST_F(BackupViewerTest, PartialReloadsRebuildOnlyTheirList) {
    reloadAll();
    viewer->enableAutomaticReload.setValue(false);
    file->setAppItems({{"Hazel", true, {}}});
    file->setFileItems({{"a.txt", true, {}}});
    settle();
    ASSERT_EQ(recorder->reloads.size(), 1u);

    struct Case {
        void (BackupViewer::*reload)(bool);
        Category category;
    };
    for (const Case& c : {Case{&BackupViewer::reloadFileEntries, Category::files},
                          Case{&BackupViewer::reloadExecEntries, Category::execs},
                          Case{&BackupViewer::reloadNoteEntry, Category::notes}}) {
        ((*viewer).*c.reload)(false);
        EXPECT_EQ(recorder->next().edition, (BackupEdition{c.category, std::nullopt}));
    }
    EXPECT_EQ(pathsOf(viewer->backupFileEntries()), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(namesOf(viewer->backupAppEntries()),
              (std::vector<std::string>{"Alpha", "Mango", "Zeta"}));

    viewer->reloadAppEntries(true);
    EXPECT_EQ(recorder->next().edition, (BackupEdition{Category::apps, std::nullopt}));
    EXPECT_EQ(namesOf(viewer->backupAppEntries()), file->appNames());
}

// MARK: Incremental updates

TEST_F(BackupViewerTest, ApplicationEditsUpdateTheirRowsInPlace) {
    reloadAll();  // Alpha, Mango, Zeta
    struct Step {
        std::string what;
        std::function<void()> edit;
        std::vector<BackupEdition::Entry> applied;
        std::vector<std::string> names;
    };
    const std::vector<Step> steps = {
        {"adding one that is not installed inserts it at its place",
         [&] {
             file->setAppItems({{"Hazel", true, {}}});
         },
         {row(1, "Hazel", Action::add)},
         {"Alpha", "Hazel", "Mango", "Zeta"}},
        {"adding an installed one replaces its row",
         [&] {
             file->setAppItems({{"Mango", true, {}}});
         },
         {row(2, "Mango", Action::update)},
         {"Alpha", "Hazel", "Mango", "Zeta"}},
        {"changing a record replaces its row",
         [&] {
             file->setAppItems({{"Hazel", false, "off"}});
         },
         {row(1, "Hazel", Action::update)},
         {"Alpha", "Hazel", "Mango", "Zeta"}},
        {"removing an installed one keeps its row",
         [&] { file->removeAppItems({"Mango"}); },
         {row(2, "Mango", Action::update)},
         {"Alpha", "Hazel", "Mango", "Zeta"}},
        {"removing one that is not installed removes its row",
         [&] { file->removeAppItems({"Hazel"}); },
         {row(1, "Hazel", Action::remove)},
         {"Alpha", "Mango", "Zeta"}},
        {"several in one edit apply in order, at the place each has then",
         [&] {
             file->setAppItems({{"Zulu", true, {}}, {"Beta", true, {}}, {"Alpha", true, {}}});
         },
         {row(3, "Zulu", Action::add), row(1, "Beta", Action::add),
          row(0, "Alpha", Action::update)},
         {"Alpha", "Beta", "Mango", "Zeta", "Zulu"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.edit();
        const Reload reload = recorder->next();
        EXPECT_EQ(reload.edition, (BackupEdition{Category::apps, step.applied}));
        EXPECT_EQ(reload.appNames, step.names);
        // The rows are those a full rebuild gives.
        EXPECT_EQ(namesOf(viewer->backupAppEntries()), file->appNames());
    }

    const auto entries = viewer->backupAppEntries();
    EXPECT_EQ(entries[0].backupItem, (BackupAppItem{"Alpha", true, {}}));
    EXPECT_EQ(entries[2].name, "Mango");
    EXPECT_EQ(entries[2].backupItem, std::nullopt);
    EXPECT_TRUE(entries[2].localItem);
}

TEST_F(BackupViewerTest, ExecutableRowsAreNeverRemoved) {
    reloadAll();
    const auto names = namesOf(viewer->backupExecEntries());
    const auto vimIndex =
        static_cast<int>(std::find(names.begin(), names.end(), "Vim") - names.begin());
    ASSERT_LT(static_cast<std::size_t>(vimIndex), names.size());

    file->setExecItems({{"Vim", true, {}}});
    EXPECT_EQ(recorder->next().edition,
              (BackupEdition{Category::execs, std::vector{row(vimIndex, "Vim", Action::update)}}));
    EXPECT_EQ(viewer->backupExecEntries()[vimIndex].backupItem, (BackupExecItem{"Vim", true, {}}));

    file->removeExecItems({"Vim"});
    EXPECT_EQ(recorder->next().edition,
              (BackupEdition{Category::execs, std::vector{row(vimIndex, "Vim", Action::update)}}));
    EXPECT_EQ(namesOf(viewer->backupExecEntries()), names);
    EXPECT_EQ(viewer->backupExecEntries()[vimIndex].backupItem, std::nullopt);

    // A name outside the catalog has no row to refresh: nothing changes.
    file->removeExecItems({"Not In The Catalog"});
    EXPECT_EQ(recorder->next().edition,
              (BackupEdition{Category::execs, std::vector<BackupEdition::Entry>{}}));
    EXPECT_EQ(namesOf(viewer->backupExecEntries()), names);
}

TEST_F(BackupViewerTest, FileEditsAddReplaceAndRemoveTheirRows) {
    file->setFileItems({{"b.txt", true, {}}, {"d.txt", true, {}}});
    reloadAll();

    file->setFileItems({{"c.txt", true, {}}});
    Reload reload = recorder->next();
    EXPECT_EQ(reload.edition,
              (BackupEdition{Category::files, std::vector{row(1, "c.txt", Action::add)}}));
    EXPECT_EQ(reload.filePaths, (std::vector<std::string>{"b.txt", "c.txt", "d.txt"}));

    writeLocal("d.txt");
    file->setFileItems({{"d.txt", false, {}}});
    EXPECT_EQ(recorder->next().edition,
              (BackupEdition{Category::files, std::vector{row(2, "d.txt", Action::update)}}));
    const auto d = viewer->backupFileEntries()[2];
    EXPECT_TRUE(d.isFound());
    EXPECT_EQ(d.isEnabled(), false);

    file->removeFileItems({"b.txt"});
    reload = recorder->next();
    EXPECT_EQ(reload.edition,
              (BackupEdition{Category::files, std::vector{row(0, "b.txt", Action::remove)}}));
    EXPECT_EQ(reload.filePaths, (std::vector<std::string>{"c.txt", "d.txt"}));
}

// Editions that do not match the rows (repeated keys, rows that are missing)
// change the named row at most and never a neighbour.
TEST_F(BackupViewerTest, MismatchedEditionsNeverTouchAnotherRow) {
    file->setFileItems({{"a.txt", true, {}}, {"c.txt", true, {}}});
    reloadAll();  // apps: Alpha, Mango, Zeta

    struct Case {
        std::string what;
        BackupEdition edition;
        std::vector<BackupEdition::Entry> applied;
        std::vector<std::string> keys;
    };
    const std::vector<Case> cases = {
        {"removing a missing application twice leaves Mango alone",
         {Category::apps,
          std::vector{row(-1, "Kiwi", Action::remove), row(-1, "Kiwi", Action::remove)}},
         {},
         {"Alpha", "Mango", "Zeta"}},
        {"a repeated add gives one row",
         {Category::apps, std::vector{row(-1, "Kiwi", Action::add), row(-1, "Kiwi", Action::add)}},
         {row(1, "Kiwi", Action::add), row(1, "Kiwi", Action::update)},
         {"Alpha", "Kiwi", "Mango", "Zeta"}},
        {"an update of a missing row inserts that row",
         {Category::apps, std::vector{row(-1, "Banana", Action::update)}},
         {row(1, "Banana", Action::add)},
         {"Alpha", "Banana", "Kiwi", "Mango", "Zeta"}},
        {"removing a missing file at the end changes nothing",
         {Category::files, std::vector{row(-1, "z.txt", Action::remove)}},
         {},
         {"a.txt", "c.txt"}},
        {"removing a missing file before another leaves that one",
         {Category::files, std::vector{row(-1, "b.txt", Action::remove)}},
         {},
         {"a.txt", "c.txt"}},
        {"adding a file twice gives one row",
         {Category::files, std::vector{row(-1, "c.txt", Action::add)}},
         {row(1, "c.txt", Action::update)},
         {"a.txt", "c.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        viewer->update(c.edition);
        const Reload reload = recorder->next();
        EXPECT_EQ(reload.edition, (BackupEdition{c.edition.category, c.applied}));
        EXPECT_EQ(c.edition.category == Category::apps ? reload.appNames : reload.filePaths,
                  c.keys);
    }
}

TEST_F(BackupViewerTest, RemovingOneApplicationTwiceRemovesOnlyItsRow) {
    file->setAppItems({{"Hazel", true, {}}});
    reloadAll();  // Alpha, Hazel, Mango, Zeta

    // The package announces a remove for each name given, repeated or not.
    file->removeAppItems({"Hazel", "Hazel"});
    const Reload reload = recorder->next();
    EXPECT_EQ(reload.edition,
              (BackupEdition{Category::apps, std::vector{row(1, "Hazel", Action::remove)}}));
    EXPECT_EQ(reload.appNames, (std::vector<std::string>{"Alpha", "Mango", "Zeta"}));
}

TEST_F(BackupViewerTest, WholeListEditionsRebuildTheirList) {
    file->setFileItems({{"a.txt", true, {}}});
    reloadAll();
    viewer->enableAutomaticReload.setValue(false);
    file->setFileItems({{"b.txt", true, {}}});
    file->setAppItems({{"Hazel", true, {}}});
    settle();
    viewer->enableAutomaticReload.setValue(true);

    viewer->update({Category::files, std::nullopt});
    Reload reload = recorder->next();
    EXPECT_EQ(reload.edition, (BackupEdition{Category::files, std::nullopt}));
    EXPECT_EQ(reload.filePaths, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(reload.appNames, (std::vector<std::string>{"Alpha", "Mango", "Zeta"}));

    // "all" rebuilds everything, whatever entries it carries.
    viewer->update({Category::all, std::vector{row(-1, "x", Action::add)}});
    reload = recorder->next();
    EXPECT_EQ(reload.edition, (BackupEdition{Category::all, std::nullopt}));
    EXPECT_EQ(reload.appNames, (std::vector<std::string>{"Alpha", "Hazel", "Mango", "Zeta"}));
}

TEST_F(BackupViewerTest, DataAndHistoryEditionsArePassedOnUnchanged) {
    reloadAll();
    // Change the package behind the viewer's back, so a rebuild would show.
    viewer->enableAutomaticReload.setValue(false);
    file->setAppItems({{"Hazel", true, {}}});
    settle();
    viewer->enableAutomaticReload.setValue(true);

    const BackupEdition data{Category::data, std::vector{row(-1, "Library/x", Action::add)}};
    viewer->update(data);
    EXPECT_EQ(recorder->next().edition, data);

    file->addEvent(SyncAction::backUp);
    EXPECT_EQ(recorder->next().edition, (BackupEdition{Category::events, std::nullopt}));

    EXPECT_EQ(namesOf(viewer->backupAppEntries()),
              (std::vector<std::string>{"Alpha", "Mango", "Zeta"}));
}

// MARK: Automatic reload and observation

TEST_F(BackupViewerTest, EditsAreIgnoredWhileAutomaticReloadIsOff) {
    reloadAll();
    viewer->enableAutomaticReload.setValue(false);
    file->setAppItems({{"Hazel", true, {}}});
    file->setFileItems({{"a.txt", true, {}}});
    file->setNote("note");
    settle();

    EXPECT_EQ(recorder->reloads.size(), 1u);
    EXPECT_EQ(namesOf(viewer->backupAppEntries()),
              (std::vector<std::string>{"Alpha", "Mango", "Zeta"}));
    EXPECT_TRUE(viewer->backupFileEntries().empty());
    EXPECT_EQ(viewer->backupNoteEntry()->string, std::nullopt);

    // The rebuild after the process shows all of it.
    viewer->enableAutomaticReload.setValue(true);
    reloadAll();
    EXPECT_EQ(namesOf(viewer->backupAppEntries()),
              (std::vector<std::string>{"Alpha", "Hazel", "Mango", "Zeta"}));
    EXPECT_EQ(pathsOf(viewer->backupFileEntries()), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(viewer->backupNoteEntry()->string, "note");
}

TEST_F(BackupViewerTest, OnlyTheCurrentFileIsObserved) {
    reloadAll();
    const auto other = BackupFile::open(home() / "Other.qfbackup");
    viewer->setBackupFile(other);
    EXPECT_EQ(viewer->backupFile(), other);

    file->setAppItems({{"Hazel", true, {}}});
    settle();
    EXPECT_EQ(recorder->reloads.size(), 1u);

    other->setAppItems({{"Kiwi", true, {}}});
    const Reload reload = recorder->next();
    EXPECT_EQ(reload.edition,
              (BackupEdition{Category::apps, std::vector{row(1, "Kiwi", Action::add)}}));
    EXPECT_EQ(viewer->backupAppEntries()[1].file, other);
}

TEST_F(BackupViewerTest, DidReloadArrivesOnTheMainQueueAfterTheListsAreStored) {
    viewer->enableAutomaticReload.setValue(false);
    file->setFileItems({{"a.txt", true, {}}});
    settle();
    ASSERT_TRUE(recorder->reloads.empty());

    viewer->reload(false);
    const Reload reload = recorder->next();
    EXPECT_TRUE(reload.onMainThread);
    EXPECT_EQ(reload.edition, (BackupEdition{Category::all, std::nullopt}));
    EXPECT_EQ(reload.filePaths, std::vector<std::string>{"a.txt"});

    // Nothing is announced before the main queue runs.
    viewer->reloadFileEntries(false);
    (void)viewer->backupFile();  // waits for the viewer's queue
    EXPECT_EQ(recorder->reloads.size(), 1u);
    EXPECT_EQ(recorder->next().edition, (BackupEdition{Category::files, std::nullopt}));
}

}  // namespace
}  // namespace quillfen::testing
