// Two computers sharing one package: the newer content wins on both, edits
// inside settings folders travel, linked dotfiles carry their content, and
// what cannot be done is reported as a failure of its path.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "keel/FileManager.h"
#include "local/LocalResources.h"
#include "support/TestSupport.h"
#include "support/TwoComputers.h"
#include "sync/SyncEngine.h"
#include "sync/SyncItemState.h"
#include "sync/SyncLogs.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using testsupport::readFile;

constexpr time_t kBase = 1'600'000'000;

class NewerWinsTest : public testing::TwoComputers {
protected:
    SyncLogs run(SyncAction action) { return SyncEngine(file, action, *local).run(); }

    // Runs `action` on the computer whose home is `home` and expects no failure.
    void runOn(const fs::path& home, SyncAction action) {
        useComputer(home);
        const SyncLogs logs = run(action);
        EXPECT_TRUE(logs.results().empty()) << description(action) << ": " << failures(logs);
    }

    static std::string failures(const SyncLogs& logs) {
        std::string text;
        for (const auto& result : logs.results())
            for (const auto& [path, error] : result.errors)
                text += path + ": " + error.description + "\n";
        return text;
    }

    void recordFiles(const std::vector<std::string>& paths,
                     const std::vector<std::string>& execs = {}) {
        std::vector<BackupFileItem> items;
        for (const auto& path : paths)
            items.push_back({path, true, std::nullopt});
        file->setFileItems(items);
        std::vector<BackupExecItem> execItems;
        for (const auto& name : execs)
            execItems.push_back({name, true, std::nullopt});
        file->setExecItems(execItems);
        file->save();
    }

    SyncAction stateOf(const std::string& path) {
        return SyncItemState::forFilePath(file, path, *local).action;
    }
};

// A edits at 10:01, B at 10:02; whichever synchronizes last, B's edit is
// what both keep. Judging by when each copy was made, the later run of A
// would overwrite B's newer edit with its older one.
TEST_F(NewerWinsTest, TheLaterEditWinsWhicheverComputerSynchronizesLast) {
    for (const bool laterComputerFirst : {false, true}) {
        SCOPED_TRACE(laterComputerFirst ? "B synchronizes first" : "A synchronizes first");
        const std::string path = laterComputerFirst ? ".zshrc-b" : ".zshrc-a";
        useComputer(first);
        recordFiles({path});
        writeSetting(first, path, "original", fs::perms(0644), kBase);
        runOn(first, SyncAction::backUp);
        runOn(second, SyncAction::install);
        ASSERT_EQ(readFile(second / path), "original");

        writeSetting(first, path, "edit of A", fs::perms(0644), kBase + 60);
        writeSetting(second, path, "edit of B", fs::perms(0644), kBase + 120);
        const std::vector<fs::path> order =
            laterComputerFirst ? std::vector{second, first} : std::vector{first, second};
        for (const auto& home : order)
            runOn(home, SyncAction::synchronize);
        // Once more on the first of them, which may still lack the winner.
        runOn(order.front(), SyncAction::synchronize);

        EXPECT_EQ(readFile(first / path), "edit of B");
        EXPECT_EQ(readFile(second / path), "edit of B");
        for (const auto& home : {first, second}) {
            useComputer(home);
            EXPECT_EQ(stateOf(path), SyncAction::doNothing) << home;
        }
    }
}

// Editing a file in place leaves its folder's date alone; the folder's copy
// is dated by its newest entry, so the edit reaches the other computer, and
// the installed folder reads as unchanged there.
TEST_F(NewerWinsTest, AnEditInsideASettingsFolderReachesTheOtherComputer) {
    const std::string folder = ".config/tool";
    recordFiles({folder});
    writeSetting(first, folder + "/lua/mod.lua", "return 1", fs::perms(0644), kBase);
    testsupport::setModifyDate(first / folder / "lua", kBase);
    testsupport::setModifyDate(first / folder, kBase);
    runOn(first, SyncAction::backUp);
    runOn(second, SyncAction::install);
    ASSERT_EQ(readFile(second / folder / "lua" / "mod.lua"), "return 1");

    writeSetting(first, folder + "/lua/mod.lua", "return 2", fs::perms(0644), kBase + 300, 0);
    EXPECT_EQ(keel::FileManager::modifyDateForFile(first / folder),
              keel::Date::fromTimespec({kBase, 0}));
    useComputer(first);
    EXPECT_EQ(stateOf(folder), SyncAction::backUp);
    runOn(first, SyncAction::synchronize);
    useComputer(second);
    EXPECT_EQ(stateOf(folder), SyncAction::install);
    runOn(second, SyncAction::synchronize);

    EXPECT_EQ(readFile(second / folder / "lua" / "mod.lua"), "return 2");
    EXPECT_EQ(keel::FileManager::modifyDateForFile(second / folder),
              keel::Date::fromTimespec({kBase + 300, 0}));
    for (const auto& home : {first, second}) {
        useComputer(home);
        EXPECT_EQ(stateOf(folder), SyncAction::doNothing) << home;
    }
}

// The "dotfiles repository" layout: the settings paths are links into a
// folder of the home, absolute or relative, to files or folders. The
// package gets the content; an install writes through the links, which
// stay links.
TEST_F(NewerWinsTest, LinkedDotfilesCarryTheirContentAndInstallThroughTheLinks) {
    const std::vector<std::string> paths = {".bashrc", ".config/tool", ".inputrc"};
    recordFiles(paths);
    for (const auto& home : {first, second}) {
        const std::string who = home == first ? "first" : "second";
        writeSetting(home, "dotfiles/bashrc", "bashrc of " + who, fs::perms(0644),
                     home == first ? kBase + 100 : kBase);
        writeSetting(home, "dotfiles/tool/config", "tool of " + who, fs::perms(0644),
                     home == first ? kBase + 100 : kBase);
        writeSetting(home, "dotfiles/inputrc", "inputrc of " + who, fs::perms(0644),
                     home == first ? kBase + 100 : kBase);
        testsupport::setModifyDate(home / "dotfiles" / "tool", home == first ? kBase + 100 : kBase);
        fs::create_symlink("dotfiles/bashrc", home / ".bashrc");
        fs::create_directories(home / ".config");
        fs::create_symlink(home / "dotfiles" / "tool", home / ".config" / "tool");
        fs::create_symlink(home / "dotfiles" / "inputrc", home / ".inputrc");
    }
    runOn(first, SyncAction::backUp);
    for (const auto& path : paths) {
        const auto record = file->dataItem(path);
        ASSERT_TRUE(record) << path;
        const fs::path copy = packageURL / "Data" / (record->uuid + ".qfdata");
        EXPECT_FALSE(fs::is_symlink(copy)) << path;
        EXPECT_TRUE(fs::exists(copy)) << path;
        EXPECT_EQ(stateOf(path), SyncAction::doNothing) << path;
    }

    useComputer(second);
    for (const auto& path : paths)
        EXPECT_EQ(stateOf(path), SyncAction::install) << path;
    runOn(second, SyncAction::synchronize);
    EXPECT_EQ(readFile(second / "dotfiles" / "bashrc"), "bashrc of first");
    EXPECT_EQ(readFile(second / "dotfiles" / "tool" / "config"), "tool of first");
    EXPECT_EQ(readFile(second / "dotfiles" / "inputrc"), "inputrc of first");
    EXPECT_EQ(fs::read_symlink(second / ".bashrc"), "dotfiles/bashrc");
    EXPECT_TRUE(fs::is_symlink(second / ".config" / "tool"));
    EXPECT_TRUE(fs::is_symlink(second / ".inputrc"));
    for (const auto& path : paths)
        EXPECT_EQ(stateOf(path), SyncAction::doNothing) << path;
}

// A link out of the home folder, or to nothing, is not followed: its path
// fails with the reason, and nothing is recorded for it.
TEST_F(NewerWinsTest, LinksThatAreNotFollowedFailTheirPathsAndRecordNothing) {
    writeSetting(base, "outside/secret", "not a setting");
    fs::create_symlink(base / "outside" / "secret", first / ".outside");
    fs::create_symlink(first / "dotfiles" / "missing", first / ".dangling");
    fs::create_symlink(".loop", first / ".loop");
    recordFiles({".outside", ".dangling", ".loop"});

    useComputer(first);
    const SyncLogs logs = run(SyncAction::backUp);
    ASSERT_EQ(logs.results().size(), 3u) << failures(logs);
    const std::string text = failures(logs);
    EXPECT_NE(text.find(".outside: It is a symbolic link to \"" +
                        (base / "outside" / "secret").string() + "\", which is outside the home"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(".dangling: It is a symbolic link to \"" +
                        (first / "dotfiles" / "missing").string() + "\", which does not exist."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(".loop: It is a symbolic link that leads round in a circle."),
              std::string::npos)
        << text;
    for (const auto& path : {".outside", ".dangling", ".loop"})
        EXPECT_FALSE(file->dataItem(path)) << path;
    // The next run tries again rather than calling the paths done.
    EXPECT_EQ(stateOf(".outside"), SyncAction::backUp);
}

// A record whose copy has not arrived is a failure of the install, named by
// its path; the other paths are installed all the same.
TEST_F(NewerWinsTest, AnInstallWithACopyMissingFailsForThatPath) {
    recordFiles({"a.txt", "b.txt"});
    writeSetting(first, "a.txt", "a");
    writeSetting(first, "b.txt", "b");
    runOn(first, SyncAction::backUp);
    fs::remove(packageURL / "Data" / (file->dataItem("b.txt")->uuid + ".qfdata"));

    for (const SyncAction action : {SyncAction::install, SyncAction::synchronize}) {
        useComputer(second);
        fs::remove(second / "a.txt");
        writeSetting(second, "b.txt", "old b", fs::perms(0644), kBase - 100);
        const SyncLogs logs = run(action);
        const auto results = logs.results();
        ASSERT_EQ(results.size(), 1u) << description(action);
        const auto& errors = results.front().errors;
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors.begin()->first, "b.txt");
        EXPECT_EQ(errors.begin()->second.as<BackupError>(),
                  BackupError(BackupError::Code::dataCopyHasNotArrived));
        EXPECT_EQ(readFile(second / "b.txt"), "old b");
        if (action == SyncAction::install) {
            EXPECT_EQ(readFile(second / "a.txt"), "a");
        }
    }
}

// Copies without "Data.json" read as a package never backed up: every run
// refuses it, until a back-up is told to start afresh.
TEST_F(NewerWinsTest, APackageWhoseDataListHasNotArrivedIsRefused) {
    recordFiles({"a.txt"});
    writeSetting(first, "a.txt", "a");
    runOn(first, SyncAction::backUp);
    const std::string copy = file->dataItem("a.txt")->uuid;
    fs::remove(packageURL / "Data.json");

    useComputer(second);
    EXPECT_TRUE(file->dataListIsMissing());
    for (const SyncAction action :
         {SyncAction::backUp, SyncAction::install, SyncAction::synchronize}) {
        try {
            run(action);
            ADD_FAILURE() << description(action) << " went ahead";
        } catch (const BackupError& error) {
            EXPECT_EQ(error.code(), BackupError::Code::dataListHasNotArrived);
        }
    }
    EXPECT_FALSE(fs::exists(packageURL / "Data.json"));
    EXPECT_TRUE(fs::exists(packageURL / "Data" / (copy + ".qfdata")));

    writeSetting(second, "a.txt", "a of second");
    SyncEngine engine(file, SyncAction::backUp, *local);
    engine.setReplacesMissingDataList(true);
    EXPECT_TRUE(engine.run().results().empty());
    EXPECT_TRUE(fs::exists(packageURL / "Data.json"));
    EXPECT_FALSE(file->dataListIsMissing());
}

// What the user excluded inside a settings folder stays out of the package,
// and an install keeps the local version of it.
TEST_F(NewerWinsTest, AnExcludedSubfolderIsNeitherCopiedNorDeletedByAnInstall) {
    const std::string folder = ".config/tool";
    recordFiles({folder});
    local->setExcludedFileURLs({first / folder / "secret", second / folder / "secret"});
    writeSetting(first, folder + "/settings", "new", fs::perms(0644), kBase + 100, 0);
    writeSetting(first, folder + "/secret/token", "first's token", fs::perms(0600), kBase + 900);
    writeSetting(second, folder + "/settings", "old", fs::perms(0644), kBase, 0);
    writeSetting(second, folder + "/secret/token", "second's token", fs::perms(0600), kBase);
    for (const auto& home : {first, second})
        testsupport::setModifyDate(home / folder, kBase);

    runOn(first, SyncAction::backUp);
    const fs::path copy = packageURL / "Data" / (file->dataItem(folder)->uuid + ".qfdata");
    EXPECT_TRUE(fs::exists(copy / "settings"));
    EXPECT_FALSE(fs::exists(copy / "secret"));
    // The excluded token is the newest thing in the folder, and counts for
    // nothing: the folder is as old as its settings.
    EXPECT_EQ(file->dataItem(folder)->originalDate, keel::Date::fromTimespec({kBase + 100, 0}));
    EXPECT_EQ(stateOf(folder), SyncAction::doNothing);

    for (const SyncAction action : {SyncAction::synchronize, SyncAction::install}) {
        runOn(second, action);
        EXPECT_EQ(readFile(second / folder / "settings"), "new");
        EXPECT_EQ(readFile(second / folder / "secret" / "token"), "second's token");
        EXPECT_EQ(stateOf(folder), SyncAction::doNothing);
    }
    // A link into an excluded place is left alone like the place itself.
    recordFiles({folder, ".netrc"});
    writeSetting(second, "private/netrc", "password");
    fs::create_symlink("private/netrc", second / ".netrc");
    local->setExcludedFileURLs({second / "private"});
    EXPECT_EQ(stateOf(".netrc"), SyncAction::doNothing);
    runOn(second, SyncAction::backUp);
    EXPECT_FALSE(file->dataItem(".netrc"));
}

// ".bashrc" recorded both as a file of its own and as a path of Bash: the
// copy stays while either item is recorded.
TEST_F(NewerWinsTest, RemovingAnItemKeepsTheCopyAnotherItemUses) {
    recordFiles({".bashrc"}, {"Bash"});
    writeSetting(first, ".bashrc", "alias ll='ls -l'");
    runOn(first, SyncAction::backUp);
    const auto record = file->dataItem(".bashrc");
    ASSERT_TRUE(record);

    file->removeFileItems({".bashrc"});
    file->save();
    EXPECT_EQ(file->dataItem(".bashrc"), record);
    EXPECT_TRUE(fs::exists(packageURL / "Data" / (record->uuid + ".qfdata")));

    file->removeExecItems({"Bash"});
    file->save();
    EXPECT_FALSE(file->dataItem(".bashrc"));
    EXPECT_FALSE(fs::exists(packageURL / "Data" / (record->uuid + ".qfdata")));
}

// The longest names the file system allows travel like any other.
TEST_F(NewerWinsTest, ANameNearTheFileNameLimitRoundTrips) {
    const std::string path = "notes/" + std::string(250, 'n');
    recordFiles({path});
    writeSetting(first, path, "long");
    runOn(first, SyncAction::backUp);
    writeSetting(second, path, "older", fs::perms(0644), kBase - 100);
    runOn(second, SyncAction::install);
    EXPECT_EQ(readFile(second / path), "long");
}

}  // namespace
}  // namespace quillfen
