#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "backup/BackupFileEditor.h"
#include "backup/BackupFileTestHelpers.h"
#include "backup/DataCopyDeletionSchedule.h"
#include "catalog/SyncConfiguration.h"
#include "keel/FileManager.h"
#include "keel/FinderOrder.h"
#include "keel/Host.h"
#include "support/TestSupport.h"

namespace quillfen::testing {
namespace {

using Action = BackupEdition::Action;
using Category = BackupEdition::Category;

const std::string hazelPreferences = "Library/Preferences/com.noodlesoft.Hazel.plist";

class BackupFileTest : public BackupFileFixture {};

// MARK: Editions

TEST_F(BackupFileTest, EditionIsReadBackFromItsNotificationOnly) {
    const BackupEdition edition{Category::files, std::vector{entry("a", Action::update)}};
    keel::Notification carrying{
        BackupFile::didItemsNotification, file.get(), {{BackupFile::editionKey, edition}}};
    EXPECT_EQ(BackupFile::edition(carrying), edition);

    const keel::Notification empty{BackupFile::didItemsNotification, file.get(), {}};
    const keel::Notification wrongType{
        BackupFile::didItemsNotification, file.get(), {{BackupFile::editionKey, std::string("x")}}};
    const keel::Notification wrongKey{
        BackupFile::didItemsNotification, file.get(), {{"OtherKey", edition}}};
    EXPECT_EQ(BackupFile::edition(empty), std::nullopt);
    EXPECT_EQ(BackupFile::edition(wrongType), std::nullopt);
    EXPECT_EQ(BackupFile::edition(wrongKey), std::nullopt);
}

// MARK: Setting and removing records

TEST_F(BackupFileTest, SetAnnouncesAddsAndUpdatesInInputOrder) {
    file->setAppItems({{"Alpha", true, std::nullopt}});
    recorder->take();

    file->setAppItems({{"Beta", true, "new"}, {"Alpha", false, "changed"}, {"Gamma", true, {}}});
    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].isItems());
    EXPECT_EQ(seen[0].edition,
              (BackupEdition{Category::apps,
                             std::vector{entry("Beta", Action::add), entry("Alpha", Action::update),
                                         entry("Gamma", Action::add)}}));
    EXPECT_EQ(file->appItem("Alpha"), (BackupAppItem{"Alpha", false, "changed"}));
}

TEST_F(BackupFileTest, ExecsAndFilesAnnounceUnderTheirOwnCategoryAndKey) {
    file->setExecItems({{"Vim", true, {}}});
    file->setFileItems({{"Documents/notes.txt", true, {}}});
    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].edition,
              (BackupEdition{Category::execs, std::vector{entry("Vim", Action::add)}}));
    EXPECT_EQ(
        seen[1].edition,
        (BackupEdition{Category::files, std::vector{entry("Documents/notes.txt", Action::add)}}));
}

TEST_F(BackupFileTest, EmptyRequestsChangeAndAnnounceNothing) {
    file->setAppItems({});
    file->setExecItems({});
    file->setFileItems({});
    file->removeAppItems({});
    file->removeExecItems({});
    file->removeFileItems({});
    EXPECT_TRUE(recorder->take().empty());

    // Nothing was marked changed, so a save writes no list file.
    file->save();
    EXPECT_FALSE(fs::exists(packageURL() / "Apps.json"));
    EXPECT_FALSE(fs::exists(packageURL() / "Execs.json"));
    EXPECT_FALSE(fs::exists(packageURL() / "Files.json"));
}

TEST_F(BackupFileTest, RemovingAnUnknownNameStillAnnouncesAndMarksTheListChanged) {
    file->removeAppItems({"Nowhere"});
    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].edition,
              (BackupEdition{Category::apps, std::vector{entry("Nowhere", Action::remove)}}));
    file->save();
    EXPECT_EQ(testsupport::readFile(packageURL() / "Apps.json").find("Nowhere"), std::string::npos);
    EXPECT_TRUE(fs::exists(packageURL() / "Apps.json"));
}

TEST_F(BackupFileTest, RecordsOfManyPathsComeInTheirOrderFromOneCall) {
    writeLocal("a.txt", "a");
    writeLocal("b.txt", "b");
    file->backUpData("a.txt");
    file->backUpData("b.txt");
    const auto records = file->dataItems({"b.txt", "missing.txt", "a.txt", "b.txt"});
    ASSERT_EQ(records.size(), 4u);
    ASSERT_TRUE(records[0] && records[2]);
    EXPECT_EQ(records[0], file->dataItem("b.txt"));
    EXPECT_EQ(records[1], std::nullopt);
    EXPECT_EQ(records[2], file->dataItem("a.txt"));
    EXPECT_EQ(records[3], records[0]);
    EXPECT_NE(records[0]->uuid, records[2]->uuid);

    file->setAppItems({{"Hazel", false, {}}, {"Mail", true, {}}});
    const auto apps = file->items<BackupAppItem>({"Mail", "Absent", "Hazel"});
    ASSERT_EQ(apps.size(), 3u);
    EXPECT_EQ(apps[0], file->appItem("Mail"));
    EXPECT_EQ(apps[1], std::nullopt);
    ASSERT_TRUE(apps[2]);
    EXPECT_FALSE(apps[2]->isEnabled);
}

TEST_F(BackupFileTest, RemovingAnAppDeletesTheCopiesOfItsSettingsPathsThenAnnouncesTheApp) {
    writeLocal(hazelPreferences, "rules");
    file->setAppItems({{"Hazel", true, {}}});
    file->backUpData(hazelPreferences);
    const auto record = file->dataItem(hazelPreferences);
    ASSERT_TRUE(record);
    ASSERT_TRUE(fs::exists(dataCopyURL(record->uuid)));
    recorder->take();

    file->removeAppItems({"Hazel", "Absent"});

    // The copy goes with the save that drops its record.
    EXPECT_TRUE(fs::exists(dataCopyURL(record->uuid)));
    file->save();
    EXPECT_FALSE(fs::exists(dataCopyURL(record->uuid)));
    EXPECT_EQ(file->dataItem(hazelPreferences), std::nullopt);
    EXPECT_EQ(file->appItem("Hazel"), std::nullopt);
    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].isData());
    EXPECT_EQ(
        seen[0].edition,
        (BackupEdition{Category::data, std::vector{entry(hazelPreferences, Action::remove)}}));
    EXPECT_TRUE(seen[1].isItems());
    EXPECT_EQ(seen[1].edition,
              (BackupEdition{Category::apps, std::vector{entry("Hazel", Action::remove),
                                                         entry("Absent", Action::remove)}}));
    // The local settings are never touched by a removal.
    EXPECT_EQ(testsupport::readFile(home() / hazelPreferences), "rules");
}

TEST_F(BackupFileTest, RemovingAnAppDeletesItsCopiesFromEveryKindOfComputer) {
    // Copies that a Mac, a native Linux install and a Flatpak made, and one
    // of another application.
    const std::vector<std::string> paths = {
        "Library/Application Support/Code/User/settings.json", ".config/Code/User/settings.json",
        ".var/app/com.visualstudio.code/config/Code/User/settings.json",
        "snap/code/current/.config/Code/User/keybindings.json"};
    for (const auto& path : paths) {
        writeLocal(path, "{}");
        file->backUpData(path);
    }
    writeLocal(hazelPreferences, "rules");
    file->backUpData(hazelPreferences);
    file->setAppItems({{"Visual Studio Code", true, {}}});

    file->removeAppItems({"Visual Studio Code"});
    for (const auto& path : paths)
        EXPECT_EQ(file->dataItem(path), std::nullopt) << path;
    EXPECT_TRUE(file->dataItem(hazelPreferences));
}

TEST_F(BackupFileTest, RemovingExecsAndFilesDeletesTheirCopiesAndLeavesOthers) {
    writeLocal(".gvimrc", "set nu");
    writeLocal("notes.txt", "mine");
    writeLocal("kept.txt", "kept");
    for (const auto* path : {".gvimrc", "notes.txt", "kept.txt"})
        file->backUpData(path);
    const auto kept = file->dataItem("kept.txt");
    recorder->take();

    file->removeExecItems({"Vim"});
    file->removeFileItems({"notes.txt"});

    EXPECT_EQ(file->dataItem(".gvimrc"), std::nullopt);
    EXPECT_EQ(file->dataItem("notes.txt"), std::nullopt);
    EXPECT_EQ(file->dataItem("kept.txt"), kept);
    EXPECT_TRUE(fs::exists(dataCopyURL(kept->uuid)));
    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].edition,
              (BackupEdition{Category::data, std::vector{entry(".gvimrc", Action::remove)}}));
    EXPECT_EQ(seen[1].edition->category, Category::execs);
    EXPECT_EQ(seen[2].edition,
              (BackupEdition{Category::data, std::vector{entry("notes.txt", Action::remove)}}));
    EXPECT_EQ(seen[3].edition->category, Category::files);
}

// Puts a folder that may not be changed inside a local folder, so that a data
// copy of it cannot be deleted. Permission bits do not stop root, so the tests
// that use it run for other users only. Unlocks everything under `root` when
// it goes away, so that the temporary folders can be removed.
class UnremovableCopy {
public:
    UnremovableCopy(const fs::path& localFolder, fs::path root) : root_(std::move(root)) {
        testsupport::writeFile(localFolder / "locked" / "inside", "x");
        fs::permissions(localFolder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    }
    ~UnremovableCopy() {
        for (const auto& item : fs::recursive_directory_iterator(root_))
            if (item.is_directory() && !item.is_symlink())
                fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add);
    }

private:
    fs::path root_;
};

TEST_F(BackupFileTest, ACopyThatCannotBeDeletedStaysScheduledAndTheItemIsStillRemoved) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may delete anything";
    UnremovableCopy locked(home() / "Settings", folder(""));
    file->setFileItems({{"Settings", true, {}}});
    file->backUpData("Settings");
    const auto record = file->dataItem("Settings");
    ASSERT_TRUE(record);
    recorder->take();

    file->removeFileItems({"Settings"});
    EXPECT_NO_THROW(file->save());

    EXPECT_EQ(file->dataItem("Settings"), std::nullopt);
    EXPECT_TRUE(fs::exists(dataCopyURL(record->uuid)));
    EXPECT_EQ(file->fileItem("Settings"), std::nullopt);
    // Left for a later run to delete.
    EXPECT_EQ(DataCopyDeletionSchedule::standard()->copies(packageURL()),
              std::set<std::string>{record->uuid});
    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].edition,
              (BackupEdition{Category::files, std::vector{entry("Settings", Action::remove)}}));
}

// MARK: Reading

TEST_F(BackupFileTest, RecordListsAreInFinderOrderOfTheirKeys) {
    file->setAppItems({{"App 10", true, {}}, {"app 3", true, {}}, {"App 2", true, {}}});
    file->setExecItems({{"zsh", true, {}}, {"Vim", true, {}}});
    file->setFileItems({{"b/10.txt", true, {}}, {"b/9.txt", true, {}}, {"a", true, {}}});

    std::vector<std::string> apps, execs, files;
    for (const auto& item : file->appItems())
        apps.push_back(item.name);
    for (const auto& item : file->execItems())
        execs.push_back(item.name);
    for (const auto& item : file->fileItems())
        files.push_back(item.path);
    EXPECT_EQ(apps, (std::vector<std::string>{"App 2", "app 3", "App 10"}));
    EXPECT_EQ(execs, (std::vector<std::string>{"Vim", "zsh"}));
    EXPECT_EQ(files, (std::vector<std::string>{"a", "b/9.txt", "b/10.txt"}));
}

TEST_F(BackupFileTest, AppNamesListInstalledAndRecordedAppsOnceInFinderOrder) {
    file->setAppItems({{"Installed App", true, {}}, {"Hazel 2", true, {}}});
    EXPECT_EQ(file->appNames(), (std::vector<std::string>{"Hazel 2", "Hazel 10", "Installed App"}));

    // Recorded names that are not installed go before, between and after the
    // installed ones; one differs from an installed name only in case.
    file->setAppItems({{"aardvark", true, {}},
                       {"hazel 10", true, {}},
                       {"Hazel 9", true, {}},
                       {"Zed", true, {}},
                       {"Hazel 10", true, {}}});
    EXPECT_EQ(file->appNames(),
              (std::vector<std::string>{"aardvark", "Hazel 2", "Hazel 9", "Hazel 10", "hazel 10",
                                        "Installed App", "Zed"}));
}

TEST_F(BackupFileTest, ExecNamesAreTheCatalogsInFinderOrderForEveryPackage) {
    const auto names = file->execNames();
    EXPECT_EQ(names, keel::finderSorted(SyncConfiguration::execNames()));
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), keel::finderLess));
    const auto other = BackupFile::open(folder("Other.qfbackup"));
    EXPECT_EQ(other->execNames(), names);
}

// MARK: Note and history

TEST_F(BackupFileTest, NoteIsAlwaysOneRecordOnceSetAndAnnouncedAsAWhole) {
    EXPECT_EQ(file->note(), std::nullopt);
    file->setNote(std::nullopt);
    EXPECT_EQ(file->note(), BackupNoteItem{});
    file->setNote("# Hello");
    EXPECT_EQ(file->note(), BackupNoteItem{"# Hello"});
    file->save();
    EXPECT_EQ(nlohmann::json::parse(testsupport::readFile(packageURL() / "Notes.json")),
              nlohmann::json::parse(R"([{"content": "# Hello"}])"));
    file->removeNote();
    EXPECT_EQ(file->note(), std::nullopt);

    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 3u);
    for (const auto& announcement : seen) {
        EXPECT_TRUE(announcement.isItems());
        EXPECT_EQ(announcement.edition, (BackupEdition{Category::notes, std::nullopt}));
    }
}

TEST_F(BackupFileTest, AddingTheEleventhEventDropsTheOldest) {
    file->addEvent(SyncAction::install);
    for (int i = 0; i < 9; ++i)
        file->addEvent(SyncAction::backUp);
    ASSERT_EQ(file->eventItems().size(), 10u);
    EXPECT_EQ(file->eventItems().back().action, SyncAction::install);

    file->addEvent(SyncAction::synchronize);
    const auto events = file->eventItems();
    ASSERT_EQ(events.size(), 10u);
    EXPECT_EQ(events.front().action, SyncAction::synchronize);
    EXPECT_EQ(events.front().comment, keel::localizedHostName());
    for (std::size_t i = 1; i < events.size(); ++i)
        EXPECT_EQ(events[i].action, SyncAction::backUp) << i;

    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 11u);
    EXPECT_EQ(seen.back().edition, (BackupEdition{Category::events, std::nullopt}));
}

TEST_F(BackupFileTest, ALongerHistoryShrinksByOnePerEventAdded) {
    nlohmann::json history = nlohmann::json::array();
    for (int i = 0; i < 12; ++i)
        history.push_back({{"action", "BackUp"}, {"date", 1000.0 * (12 - i)}});
    testsupport::writeFile(packageURL() / "History.json", history.dump());
    file->replace(packageURL());
    ASSERT_EQ(file->eventItems().size(), 12u);

    file->addEvent(SyncAction::install);
    const auto events = file->eventItems();
    ASSERT_EQ(events.size(), 12u);
    EXPECT_EQ(events.front().action, SyncAction::install);
    EXPECT_EQ(events.back().date, keel::Date{2000.0});  // the oldest, 1000, is gone

    file->removeEvents();
    EXPECT_TRUE(file->eventItems().empty());
    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].edition, (BackupEdition{Category::events, std::nullopt}));
}

// MARK: Data copies

TEST_F(BackupFileTest, BackingUpRecordsTheCopyAndAgainReplacesItAnnouncingRemoveThenAdd) {
    writeLocal(".zshrc", "first");
    testsupport::setModifyDate(home() / ".zshrc", 1'600'000'000, 500'000'000);
    file->backUpData(".zshrc");
    const auto first = *file->dataItem(".zshrc");
    EXPECT_EQ(first.originalDate, keel::FileManager::modifyDateForFile(home() / ".zshrc"));
    EXPECT_EQ(testsupport::readFile(dataCopyURL(first.uuid)), "first");
    auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].isData());
    EXPECT_EQ(seen[0].edition,
              (BackupEdition{Category::data, std::vector{entry(".zshrc", Action::add)}}));

    writeLocal(".zshrc", "second");
    file->backUpData(".zshrc");

    const auto second = *file->dataItem(".zshrc");
    EXPECT_NE(second.uuid, first.uuid);
    EXPECT_EQ(testsupport::readFile(dataCopyURL(first.uuid)), "first");
    EXPECT_EQ(testsupport::readFile(dataCopyURL(second.uuid)), "second");
    file->save();
    EXPECT_FALSE(fs::exists(dataCopyURL(first.uuid)));
    seen = recorder->take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].edition,
              (BackupEdition{Category::data, std::vector{entry(".zshrc", Action::remove)}}));
    EXPECT_EQ(seen[1].edition,
              (BackupEdition{Category::data, std::vector{entry(".zshrc", Action::add)}}));
}

TEST_F(BackupFileTest, BackingUpAMissingLocalItemKeepsTheEarlierCopy) {
    writeLocal(".zshrc", "first");
    file->backUpData(".zshrc");
    const auto first = file->dataItem(".zshrc");
    fs::remove(home() / ".zshrc");
    recorder->take();

    file->backUpData(".zshrc");
    file->backUpData("never/there");

    EXPECT_EQ(file->dataItem(".zshrc"), first);
    EXPECT_EQ(file->dataItem("never/there"), std::nullopt);
    EXPECT_EQ(testsupport::readFile(dataCopyURL(first->uuid)), "first");
    EXPECT_TRUE(recorder->take().empty());
}

// A folder that the package cannot hold: its deepest file fits in a path on
// the local side, but not under the longer path of a data copy.
void makeTooDeepForACopy(const fs::path& folder) {
    // The longest path the system accepts is 4095 bytes; the local file's
    // path gets close to it, its copy's longer one goes past.
    constexpr std::size_t target = 4080;
    fs::path deep = folder;
    while (deep.string().size() + 2 + 201 < target)
        deep /= std::string(200, 'd');
    deep /= std::string(target - deep.string().size() - 3, 'e');
    testsupport::writeFile(deep / "f", "deep");
}

TEST_F(BackupFileTest, AFailedCopyKeepsThePreviousCopyAndRecord) {
    writeLocal("Settings/prefs", "good");
    file->backUpData("Settings");
    const auto previous = file->dataItem("Settings");
    ASSERT_TRUE(previous);
    recorder->take();

    makeTooDeepForACopy(home() / "Settings");
    EXPECT_THROW(file->backUpData("Settings"), fs::filesystem_error);

    EXPECT_EQ(file->dataItem("Settings"), previous);
    EXPECT_EQ(testsupport::readFile(dataCopyURL(previous->uuid) / "prefs"), "good");
    // Nothing half-copied is left behind either.
    std::vector<fs::path> copies;
    for (const auto& item : fs::directory_iterator(packageURL() / "Data"))
        copies.push_back(item.path().filename());
    EXPECT_EQ(copies, (std::vector<fs::path>{previous->uuid + ".qfdata"}));
    EXPECT_TRUE(recorder->take().empty());
}

TEST_F(BackupFileTest, AnOldCopyThatCannotBeDeletedDoesNotFailTheBackUp) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may delete anything";
    UnremovableCopy locked(home() / "Settings", folder(""));
    file->backUpData("Settings");
    const auto first = *file->dataItem("Settings");
    recorder->take();

    EXPECT_NO_THROW(file->backUpData("Settings"));

    const auto second = *file->dataItem("Settings");
    EXPECT_NE(second.uuid, first.uuid);
    EXPECT_TRUE(fs::exists(dataCopyURL(second.uuid) / "locked" / "inside"));
    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].edition->entries, (std::vector{entry("Settings", Action::remove)}));
    EXPECT_EQ(seen[1].edition->entries, (std::vector{entry("Settings", Action::add)}));
}

TEST_F(BackupFileTest, InstallingRestoresARecordedCopyOnlyAndAnnouncesNothing) {
    writeLocal(".zshrc", "saved");
    file->backUpData(".zshrc");
    writeLocal(".zshrc", "changed locally");
    writeLocal(".bashrc", "local");
    recorder->take();

    file->installData(".zshrc");
    EXPECT_NO_THROW(file->installData(".bashrc"));
    EXPECT_NO_THROW(file->installData("not/there"));

    EXPECT_EQ(testsupport::readFile(home() / ".zshrc"), "saved");
    EXPECT_EQ(testsupport::readFile(home() / ".bashrc"), "local");
    EXPECT_FALSE(fs::exists(home() / "not"));
    EXPECT_TRUE(recorder->take().empty());
}

TEST_F(BackupFileTest, EditorRemovesDataWithItsRecord) {
    writeLocal(".zshrc", "x");
    file->backUpData(".zshrc");
    const auto record = *file->dataItem(".zshrc");
    recorder->take();

    BackupFileEditor editor(file);
    file->serialQueue().sync([&] {
        editor.removeData(".zshrc");
        editor.removeData("no/record");
    });

    EXPECT_EQ(file->dataItem(".zshrc"), std::nullopt);
    EXPECT_TRUE(fs::exists(dataCopyURL(record.uuid)));
    file->save();
    EXPECT_FALSE(fs::exists(dataCopyURL(record.uuid)));
    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].edition,
              (BackupEdition{Category::data, std::vector{entry(".zshrc", Action::remove)}}));
}

// MARK: Announcements

TEST_F(BackupFileTest, ObserversRunOnTheMainThreadAfterTheChange) {
    writeLocal(".zshrc", "x");
    std::vector<std::string> found;
    recorder->probe = [&](const Announcement& announcement) {
        const auto& entries = *announcement.edition->entries;
        if (announcement.isData()) {
            found.push_back(file->dataItem(entries[0].key) ? "data" : "no data");
        } else {
            found.push_back(file->appItem(entries[0].key) ? "app" : "no app");
        }
    };

    // Nothing is delivered before the main queue runs: posting never waits
    // for the observers.
    std::thread editor([&] {
        file->setAppItems({{"Hazel", true, {}}});
        file->backUpData(".zshrc");
    });
    editor.join();
    EXPECT_TRUE(recorder->announcements.empty());

    const auto seen = recorder->take();
    ASSERT_EQ(seen.size(), 2u);
    for (const auto& announcement : seen)
        EXPECT_TRUE(announcement.onMainThread);
    EXPECT_EQ(found, (std::vector<std::string>{"app", "data"}));
}

// MARK: Lifetime and package operations

TEST_F(BackupFileTest, AnEditorWhoseFileIsGoneDoesNothing) {
    writeLocal(".zshrc", "x");
    BackupFileEditor editor(file);
    const fs::path package = packageURL();
    recorder.reset();
    AnnouncementRecorder anyFile(nullptr);
    file.reset();

    EXPECT_TRUE(editor.appNames().empty());
    editor.setItems(std::vector<BackupAppItem>{{"App", true, {}}});
    editor.removeItems(ItemKind::app, {"App"});
    editor.setItems(std::vector<BackupExecItem>{{"Vim", true, {}}});
    editor.removeItems(ItemKind::exec, {"Vim"});
    editor.setItems(std::vector<BackupFileItem>{{"f", true, {}}});
    editor.removeItems(ItemKind::file, {"f"});
    editor.addEvent(SyncAction::backUp);
    EXPECT_NO_THROW(editor.backUpData(".zshrc"));
    EXPECT_NO_THROW(editor.installData(".zshrc"));
    EXPECT_NO_THROW(editor.removeData(".zshrc"));

    EXPECT_TRUE(anyFile.take().empty());
    EXPECT_FALSE(fs::exists(package));
}

TEST_F(BackupFileTest, OpeningAndPackageOperationsPassErrorsThrough) {
    testsupport::writeFile(folder("File.qfbackup"), "not a folder");
    EXPECT_EQ(BackupError(BackupError::Code::backupFileIsNotADirectory), [&] {
        try {
            BackupFile::open(folder("File.qfbackup"));
        } catch (const BackupError& error) {
            return error;
        }
        return BackupError(BackupError::Code::noBackupLocation);
    }());

    file->setAppItems({{"App", true, {}}});
    file->move(folder("Moved.qfbackup"));
    EXPECT_EQ(file->url(), folder("Moved.qfbackup"));
    EXPECT_TRUE(fs::exists(folder("Moved.qfbackup") / "Apps.json"));
    EXPECT_THROW(file->replace(folder("File.qfbackup")), BackupError);
    EXPECT_EQ(file->url(), folder("Moved.qfbackup"));
}

}  // namespace
}  // namespace quillfen::testing
