#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/UserSettings.h"
#include "local/LocalResources.h"
#include "local/PreferencesTool.h"
#include "support/TestSupport.h"
#include "support/TwoComputers.h"
#include "sync/SyncEngine.h"
#include "sync/SyncItemState.h"
#include "sync/SyncLogs.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnv;
using testsupport::TemporaryDirectory;

const std::string hazelPlist = "Library/Preferences/com.noodlesoft.Hazel.plist";
const std::vector<std::string> sshPaths = {".ssh/authorized_keys", ".ssh/config"};
const std::vector<std::string> mavenPaths = {".m2/settings-security.xml", ".m2/settings.xml",
                                             ".mavenrc"};

// What another computer must see of a file after it was carried over.
struct FileFacts {
    std::string content;
    unsigned mode = 0;
    std::optional<keel::Date> date;
    friend bool operator==(const FileFacts&, const FileFacts&) = default;
};

std::ostream& operator<<(std::ostream& out, const FileFacts& facts) {
    return out << "{\"" << facts.content << "\", mode " << std::oct << facts.mode << std::dec
               << ", date "
               << (facts.date ? std::to_string(facts.date->timeIntervalSinceReferenceDate) : "none")
               << "}";
}

FileFacts factsOf(const fs::path& path) {
    return {testsupport::readFile(path), testsupport::modeOf(path),
            keel::FileManager::modifyDateForFile(path)};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

// A date well after any copy the test makes, as seconds since 1970.
time_t later(int hours = 1) {
    return std::time(nullptr) + hours * 3600;
}

class SyncEngineTest : public testing::TwoComputers {
protected:
    SyncLogs run(SyncAction action) { return SyncEngine(file, action, *local).run(); }

    void record(const std::vector<std::string>& apps, const std::vector<std::string>& execs,
                const std::vector<std::string>& files, bool isEnabled = true) {
        std::vector<BackupAppItem> appItems;
        for (const auto& name : apps)
            appItems.push_back({name, isEnabled, std::nullopt});
        std::vector<BackupExecItem> execItems;
        for (const auto& name : execs)
            execItems.push_back({name, isEnabled, std::nullopt});
        std::vector<BackupFileItem> fileItems;
        for (const auto& path : files)
            fileItems.push_back({path, isEnabled, std::nullopt});
        file->setAppItems(appItems);
        file->setExecItems(execItems);
        file->setFileItems(fileItems);
        file->save();
    }

    std::map<std::string, std::optional<BackupDataItem>> dataRecords(
        const std::vector<std::string>& paths) {
        std::map<std::string, std::optional<BackupDataItem>> records;
        for (const auto& path : paths)
            records[path] = file->dataItem(path);
        return records;
    }

    // The history as the package on disk holds it, newest first.
    std::vector<SyncAction> savedHistory() {
        std::vector<SyncAction> actions;
        for (const auto& event : BackupFile::open(packageURL)->eventItems())
            actions.push_back(event.action);
        return actions;
    }

    // Every recorded item of the package needs nothing on the current computer.
    void expectNothingToDo() {
        for (const auto& app : file->appItems())
            EXPECT_EQ(SyncItemState::forAppName(file, app.name, *local).action,
                      SyncAction::doNothing)
                << app.name;
        for (const auto& exec : file->execItems())
            EXPECT_EQ(SyncItemState::forExecName(file, exec.name, *local).action,
                      SyncAction::doNothing)
                << exec.name;
        for (const auto& custom : file->fileItems())
            EXPECT_EQ(SyncItemState::forFilePath(file, custom.path, *local).action,
                      SyncAction::doNothing)
                << custom.path;
    }

    // Puts a shell script in the preferences tool's place.
    fs::path installTool(const std::string& body) {
        const fs::path tool = base / "tools" / "defaults";
        testsupport::writeFile(tool, "#!/bin/sh\n" + body + "\n");
        fs::permissions(tool, fs::perms(0755));
        SyncEngine::setPreferencesToolPath(tool);
        return tool;
    }

    // A tool that logs its arguments and what the file held when it ran.
    fs::path installRecordingTool() {
        return installTool("printf '%s|%s\\n' \"$*\" \"$(cat \"$3\" 2>/dev/null)\" >> '" +
                           toolLog.string() + "'");
    }

    std::vector<std::string> toolCalls() const {
        if (!fs::exists(toolLog)) return {};
        return lines(testsupport::readFile(toolLog));
    }

    static std::string readCall(const fs::path& url, const std::string& content) {
        return "-currentHost read " + url.string() + "|" + content;
    }

    const fs::path toolLog = base / "tool.log";
};

using SyncEngineConcurrencyTest = SyncEngineTest;

TEST_F(SyncEngineTest, TwoComputersStayInStep) {
    const std::string hazelFolder = "Library/Application Support/Hazel";
    writeSetting(first, ".ssh/config", "Host *\n", fs::perms(0600));
    writeSetting(first, ".ssh/authorized_keys", "ssh-ed25519 AAAA\n", fs::perms(0644),
                 1'600'000'100);
    writeSetting(first, hazelPlist, "<plist/>\n", fs::perms(0640), 1'600'000'200, 0);
    writeSetting(first, hazelFolder + "/rules/main.json", "{}", fs::perms(0600), 1'600'000'250);
    testsupport::setModifyDate(first / hazelFolder, 1'600'000'260, 5);
    writeSetting(first, ".profile", "export A=1\n", fs::perms(0755), 1'600'000'300, 999'999'999);
    record({"Hazel"}, {"SSH"}, {".profile"});
    const std::vector<std::string> paths = {".ssh/config", ".ssh/authorized_keys", hazelPlist,
                                            hazelFolder, ".profile"};
    // What must look the same on both computers.
    const std::vector<std::string> files = {".ssh/config", ".ssh/authorized_keys", hazelPlist,
                                            hazelFolder + "/rules/main.json", ".profile"};
    const auto expectSameFiles = [&](const fs::path& home, const fs::path& other) {
        for (const auto& path : files)
            EXPECT_EQ(factsOf(home / path), factsOf(other / path)) << path;
        // An installed folder is dated by the newest date in it.
        EXPECT_EQ(keel::FileManager::newestModifyDate(home / hazelFolder),
                  keel::FileManager::newestModifyDate(other / hazelFolder));
    };

    EXPECT_TRUE(run(SyncAction::backUp).results().empty());
    for (const auto& path : paths)
        EXPECT_TRUE(file->dataItem(path)) << path;

    useComputer(second);
    EXPECT_TRUE(run(SyncAction::install).results().empty());
    expectSameFiles(second, first);
    expectNothingToDo();

    // The second computer changes one file: synchronizing there backs up that
    // file alone.
    const auto before = dataRecords(paths);
    writeSetting(second, ".ssh/config", "Host *\n  ForwardAgent no\n", fs::perms(0600), later());
    EXPECT_TRUE(run(SyncAction::synchronize).results().empty());
    for (const auto& path : paths) {
        if (path == ".ssh/config") {
            ASSERT_TRUE(file->dataItem(path));
            EXPECT_NE(file->dataItem(path)->uuid, before.at(path)->uuid);
        } else {
            EXPECT_EQ(file->dataItem(path), before.at(path)) << path;
        }
    }

    // Synchronizing on the first computer brings the change over.
    useComputer(first);
    EXPECT_TRUE(run(SyncAction::synchronize).results().empty());
    expectSameFiles(first, second);

    // Afterwards neither computer has anything to do, and a synchronization
    // changes nothing on either side.
    for (const fs::path& home : {first, second}) {
        SCOPED_TRACE(home.filename().string());
        useComputer(home);
        expectNothingToDo();
        const auto records = dataRecords(paths);
        std::map<std::string, FileFacts> facts;
        for (const auto& path : files)
            facts[path] = factsOf(home / path);
        EXPECT_TRUE(run(SyncAction::synchronize).results().empty());
        EXPECT_EQ(dataRecords(paths), records);
        for (const auto& path : files)
            EXPECT_EQ(factsOf(home / path), facts[path]) << path;
    }

    EXPECT_EQ(savedHistory(),
              (std::vector<SyncAction>{SyncAction::synchronize, SyncAction::synchronize,
                                       SyncAction::synchronize, SyncAction::synchronize,
                                       SyncAction::install, SyncAction::backUp}));
}

// A sparse file (a disk image, a database with room reserved) takes only its
// data on the disk, in the package and on the other computer alike.
TEST_F(SyncEngineTest, SparseFilesKeepTheirHolesThroughBackUpAndInstall) {
    if (!testsupport::keepsHoles(base)) GTEST_SKIP() << "this file system fills holes";
    constexpr off_t kSize = off_t{64} << 20;
    const std::vector<testsupport::SparsePiece> pieces = {
        {0, std::string(4096, 'h')}, {off_t{40} << 20, std::string(10000, 'm')}};
    const std::string image = "vm/disk.img";
    const std::string folder = ".local/share/boxes";
    testsupport::writeSparseFile(first / image, kSize, pieces);
    testsupport::writeSparseFile(first / folder / "box.img", kSize, pieces);
    record({}, {}, {image, folder});
    const auto expectSparseCopy = [&](const fs::path& copy, const fs::path& original) {
        EXPECT_EQ(fs::file_size(copy), fs::file_size(original)) << copy;
        EXPECT_LT(testsupport::allocatedBytes(copy), 1u << 20) << copy << ": holes filled";
        EXPECT_TRUE(testsupport::readFile(copy) == testsupport::readFile(original)) << copy;
    };

    EXPECT_TRUE(run(SyncAction::backUp).results().empty());
    const auto copyOf = [&](const std::string& path) {
        return packageURL / "Data" / (file->dataItem(path)->uuid + ".qfdata");
    };
    ASSERT_TRUE(file->dataItem(image) && file->dataItem(folder));
    expectSparseCopy(copyOf(image), first / image);
    expectSparseCopy(copyOf(folder) / "box.img", first / folder / "box.img");

    // The other computer has a filled-in version of the image, which the
    // install replaces.
    useComputer(second);
    writeSetting(second, image, std::string(1 << 20, 'x'));
    EXPECT_TRUE(run(SyncAction::install).results().empty());
    expectSparseCopy(second / image, first / image);
    expectSparseCopy(second / folder / "box.img", first / folder / "box.img");
}

TEST_F(SyncEngineTest, DisabledAndUnrecordedItemsAreLeftAloneYetEveryRunIsRecorded) {
    for (const auto& path : sshPaths)
        writeSetting(first, path, "ssh " + path);
    writeSetting(first, hazelPlist, "hazel");
    writeSetting(first, ".profile", "profile");
    writeSetting(first, ".vimrc", "vimrc");    // a custom file the package does not record
    writeSetting(first, ".mavenrc", "maven");  // an executable the package does not record
    record({}, {"SSH"}, {".profile"});
    EXPECT_TRUE(run(SyncAction::backUp).results().empty());
    const auto copied = dataRecords({".profile", sshPaths[0], sshPaths[1]});

    // Disabled now, with the package's copies older than the local files.
    record({"Hazel"}, {"SSH"}, {".profile"}, false);
    for (const auto& path : {sshPaths[0], sshPaths[1], hazelPlist, std::string(".profile")})
        writeSetting(first, path, "changed " + path, fs::perms(0644), later());

    std::vector<SyncAction> history = {SyncAction::backUp};
    for (const SyncAction action :
         {SyncAction::backUp, SyncAction::install, SyncAction::synchronize, SyncAction::unknown}) {
        SCOPED_TRACE(std::string(rawValue(action)));
        EXPECT_TRUE(run(action).results().empty());
        EXPECT_EQ(dataRecords({".profile", sshPaths[0], sshPaths[1]}), copied);
        for (const auto& path : {hazelPlist, std::string(".vimrc"), std::string(".mavenrc")})
            EXPECT_FALSE(file->dataItem(path)) << path;
        for (const auto& path : {sshPaths[0], sshPaths[1], hazelPlist, std::string(".profile")})
            EXPECT_EQ(testsupport::readFile(first / path), "changed " + path);
        history.insert(history.begin(), action);
        EXPECT_EQ(savedHistory(), history);
    }
}

TEST_F(SyncEngineTest, ExcludedFoldersAreLeftAloneInEveryKindOfRun) {
    for (const auto& path : sshPaths)
        writeSetting(first, path, "old " + path);
    writeSetting(first, ".profile", "old profile");
    record({}, {"SSH"}, {".profile"});
    EXPECT_TRUE(run(SyncAction::backUp).results().empty());
    const auto copies = dataRecords(sshPaths);

    // Both sides changed since: whatever the run, the excluded side stays.
    for (const auto& path : sshPaths)
        writeSetting(first, path, "new " + path, fs::perms(0644), later());
    local->setExcludedFileURLs({first / ".ssh"});

    int hours = 1;
    for (const SyncAction action :
         {SyncAction::backUp, SyncAction::install, SyncAction::synchronize, SyncAction::upToDate}) {
        SCOPED_TRACE(std::string(rawValue(action)));
        // A new content and date each time, newer than any copy.
        const std::string changed = "changed profile " + std::string(rawValue(action));
        writeSetting(first, ".profile", changed, fs::perms(0644), later(++hours));
        const auto profileCopy = file->dataItem(".profile");

        const auto results = run(action).results();
        EXPECT_EQ(dataRecords(sshPaths), copies);
        for (const auto& path : sshPaths)
            EXPECT_EQ(testsupport::readFile(first / path), "new " + path);
        for (const auto& result : results)
            EXPECT_NE(result.identifier, "SSH");

        // The item next to the excluded folder is processed as usual.
        if (action == SyncAction::backUp || action == SyncAction::synchronize) {
            EXPECT_NE(file->dataItem(".profile"), profileCopy);
        } else if (action == SyncAction::install) {
            EXPECT_NE(testsupport::readFile(first / ".profile"), changed);
        } else {
            ASSERT_EQ(results.size(), 1u);
            EXPECT_EQ(results[0].identifier, ".profile");
        }
    }
}

TEST_F(SyncEngineTest, TheSharedExclusionListServesEnginesMadeWithoutOne) {
    LocalResources::setApplicationsDirectory(base / "Applications");
    LocalResources::setDesktopEntryFolders({});
    LocalResources& shared = LocalResources::shared();
    const auto kept = shared.excludedFileURLs();
    writeSetting(first, ".ssh/config", "config");
    record({}, {"SSH"}, {});

    shared.setExcludedFileURLs({first / ".ssh"});
    EXPECT_TRUE(SyncEngine(file, SyncAction::backUp).run().results().empty());
    EXPECT_FALSE(file->dataItem(".ssh/config"));

    shared.setExcludedFileURLs({});
    EXPECT_TRUE(SyncEngine(file, SyncAction::backUp).run().results().empty());
    EXPECT_TRUE(file->dataItem(".ssh/config"));
    shared.setExcludedFileURLs(kept);
}

TEST_F(SyncEngineTest, ThreeFailingPathsGiveOneResultWithThreeErrors) {
    for (const auto& path : mavenPaths)
        writeSetting(first, path, path);
    const fs::path elsewhere = base / "elsewhere.conf";
    writeSetting(base, "elsewhere.conf", "outside the home folder");
    record({}, {"Maven"}, {elsewhere.string()});
    EXPECT_TRUE(run(SyncAction::backUp).results().empty());

    // A computer whose home folder is a plain file: nothing can be restored
    // into it, while the file outside it still can.
    testsupport::writeFile(base / "home-file", "");
    useComputer(base / "home-file");
    writeSetting(base, "elsewhere.conf", "changed");

    const auto results = run(SyncAction::install).results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].identifier, "Maven");
    ASSERT_EQ(results[0].errors.size(), 3u);
    for (const auto& path : mavenPaths) {
        ASSERT_TRUE(results[0].errors.contains(path)) << path;
        const SyncResult::Error& error = results[0].errors.at(path);
        EXPECT_FALSE(error.description.empty());
        EXPECT_TRUE(error.as<fs::filesystem_error>()) << error.description;
    }
    EXPECT_EQ(testsupport::readFile(elsewhere), "outside the home folder");
    EXPECT_EQ(savedHistory().front(), SyncAction::install);
}

TEST_F(SyncEngineTest, UnsupportedActionsFailEveryPathOfEnabledItems) {
    writeSetting(first, ".ssh/config", "config");  // the other SSH path does not exist
    writeSetting(first, ".profile", "profile");
    record({"Hazel"}, {"SSH"}, {".profile"});
    file->setAppItems({{"Hazel", false, std::nullopt}});

    for (const SyncAction action :
         {SyncAction::doNothing, SyncAction::unknown, SyncAction::multiple, SyncAction::upToDate}) {
        SCOPED_TRACE(std::string(rawValue(action)));
        const SyncLogs logs = run(action);
        EXPECT_EQ(logs.action(), action);
        std::map<std::string, std::vector<std::string>> failed;
        for (const auto& result : logs.results()) {
            for (const auto& [path, error] : result.errors) {
                failed[result.identifier].push_back(path);
                EXPECT_EQ(error.description, "The performed sync action is not supported.");
                ASSERT_TRUE(error.as<BackupError>());
                EXPECT_EQ(error.as<BackupError>()->code(),
                          BackupError::Code::syncActionIsNotSupported);
            }
        }
        EXPECT_EQ(failed, (std::map<std::string, std::vector<std::string>>{
                              {"SSH", sshPaths}, {".profile", {".profile"}}}));
        EXPECT_FALSE(file->dataItem(".ssh/config"));
        EXPECT_EQ(savedHistory().front(), action);
    }
}

TEST_F(SyncEngineTest, AFailedSaveIsTheErrorOfTheRunAndKeepsTheEventInMemory) {
    writeSetting(first, ".profile", "profile");
    record({}, {}, {".profile"});
    // A folder where the history goes: the copies are made, the save fails.
    testsupport::writeFile(packageURL / "History.json" / "in the way", "");

    SyncEngine engine(file, SyncAction::backUp, *local);
    EXPECT_THROW(engine.run(), fs::filesystem_error);
    ASSERT_FALSE(file->eventItems().empty());
    EXPECT_EQ(file->eventItems().front().action, SyncAction::backUp);
}

TEST_F(SyncEngineTest, APackageThatWentAwayStopsTheRunWithoutMakingItAgain) {
    writeSetting(first, ".profile", "profile");
    record({}, {}, {".profile"});
    // The package's folder turns into a file.
    fs::remove_all(base / "Cloud");
    testsupport::writeFile(base / "Cloud", "");

    SyncEngine engine(file, SyncAction::backUp, *local);
    try {
        engine.run();
        ADD_FAILURE() << "the run did not fail";
    } catch (const BackupError& error) {
        EXPECT_EQ(error.code(), BackupError::Code::backupFileWasMovedOrDeleted);
    }
    EXPECT_TRUE(fs::is_regular_file(base / "Cloud"));
    ASSERT_FALSE(file->eventItems().empty());
}

TEST_F(SyncEngineTest, PreferencesToolReadsPropertyListsAroundTheCopies) {
    installRecordingTool();
    const fs::path plist = first / hazelPlist;
    writeSetting(first, hazelPlist, "backed up");
    record({"Hazel"}, {}, {});

    EXPECT_TRUE(run(SyncAction::backUp).results().empty());
    EXPECT_EQ(toolCalls(), std::vector<std::string>{readCall(plist, "backed up")});
    EXPECT_TRUE(file->dataItem(hazelPlist));

    // Install: once over the local file, once over the restored one.
    fs::remove(toolLog);
    writeSetting(first, hazelPlist, "local");
    EXPECT_TRUE(run(SyncAction::install).results().empty());
    EXPECT_EQ(toolCalls(),
              (std::vector<std::string>{readCall(plist, "local"), readCall(plist, "backed up")}));

    // Synchronizing a path that needs nothing leaves the tool alone.
    fs::remove(toolLog);
    EXPECT_TRUE(run(SyncAction::synchronize).results().empty());
    EXPECT_TRUE(toolCalls().empty());
}

TEST_F(SyncEngineTest, PreferencesToolIsOnlyForExistingPropertyListFiles) {
    installRecordingTool();
    fs::create_directories(first / "Library/Preferences/folder.plist");
    testsupport::writeFile(first / "Library/Preferences/folder.plist/inner", "inner");
    const std::vector<std::string> others = {"Library/Preferences/upper.PLIST",
                                             "Library/Preferences/backup.plist.bak",
                                             "Library/Preferences/plist"};
    for (const auto& path : others)
        writeSetting(first, path, path);
    std::vector<std::string> custom = others;
    custom.push_back("Library/Preferences/folder.plist");
    custom.push_back("Library/Preferences/missing.plist");
    record({}, {}, custom);

    for (const SyncAction action : {SyncAction::backUp, SyncAction::install}) {
        SCOPED_TRACE(std::string(rawValue(action)));
        EXPECT_TRUE(run(action).results().empty());
        EXPECT_TRUE(toolCalls().empty());
    }
    for (const auto& path : others)
        EXPECT_TRUE(file->dataItem(path)) << path;
    EXPECT_TRUE(file->dataItem("Library/Preferences/folder.plist"));
    EXPECT_EQ(testsupport::readFile(first / "Library/Preferences/folder.plist/inner"), "inner");
}

TEST_F(SyncEngineTest, PreferencesToolIsSkippedAfterAFailedRestore) {
    installRecordingTool();
    const std::string path = "Library/Preferences/com.example.tool.plist";
    writeSetting(first, path, "backed up");
    record({}, {}, {path});
    EXPECT_TRUE(run(SyncAction::backUp).results().empty());
    ASSERT_TRUE(file->dataItem(path));
    // A copy replaced by a link is never restored: the restore fails.
    const fs::path copy = packageURL / "Data" / (file->dataItem(path)->uuid + ".qfdata");
    fs::remove(copy);
    fs::create_symlink(first / path, copy);

    fs::remove(toolLog);
    writeSetting(first, path, "local");
    const auto results = run(SyncAction::install).results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].errors.contains(path));
    EXPECT_EQ(toolCalls(), std::vector<std::string>{readCall(first / path, "local")});
}

TEST_F(SyncEngineTest, CopiesGoAheadWithoutAUsablePreferencesTool) {
    const fs::path notExecutable = base / "tools" / "plain";
    testsupport::writeFile(notExecutable, "#!/bin/sh\ntouch '" + toolLog.string() + "'\n");
    fs::permissions(notExecutable, fs::perms(0644));
    fs::create_directories(base / "tools" / "folder");
    writeSetting(first, hazelPlist, "hazel");
    record({"Hazel"}, {}, {});

    for (const fs::path& tool :
         {base / "missing", notExecutable, base / "tools" / "folder", fs::path()}) {
        SCOPED_TRACE(tool.string());
        SyncEngine::setPreferencesToolPath(tool);
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(run(SyncAction::backUp).results().empty());
        EXPECT_TRUE(run(SyncAction::install).results().empty());
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        EXPECT_TRUE(file->dataItem(hazelPlist));
        EXPECT_FALSE(fs::exists(toolLog));
    }
}

TEST(SyncLogsTest, KeepsOnlyResultsWithErrorsInTheOrderGiven) {
    SyncLogs logs(SyncAction::install);
    const auto error = SyncResult::Error::from(
        std::make_exception_ptr(BackupError(BackupError::Code::localDataCannotBeWritten)));
    logs.append({"Clean", {}});
    logs.append({"Second", {{"b", error}}});
    logs.append({"First", {{"a", error}, {"c", error}}});

    const SyncLogs copy = logs;
    logs.append({"Third", {{"d", error}}});
    for (const auto& [log, expected] : std::vector<std::pair<SyncLogs, std::vector<std::string>>>{
             {copy, {"Second", "First"}}, {logs, {"Second", "First", "Third"}}}) {
        std::vector<std::string> identifiers;
        for (const auto& result : log.results())
            identifiers.push_back(result.identifier);
        EXPECT_EQ(identifiers, expected);
        EXPECT_EQ(log.action(), SyncAction::install);
    }
    EXPECT_EQ(error.description,
              BackupError::description(BackupError::Code::localDataCannotBeWritten));
    EXPECT_EQ(SyncResult::Error::from(std::make_exception_ptr(42)).description,
              "An unknown error occurred.");
    EXPECT_FALSE(SyncResult::Error::from(std::make_exception_ptr(42)).as<BackupError>());
}

// --- Threads: the worker queue, the preferences tool's timer and children ---

TEST_F(SyncEngineConcurrencyTest, AHangingToolIsInterruptedAndTheCopyGoesAhead) {
    installTool("sleep 30");
    writeSetting(first, hazelPlist, "hazel");
    record({"Hazel"}, {}, {});

    ::testing::internal::CaptureStdout();
    const auto results = run(SyncAction::backUp).results();
    const std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(results.empty());
    EXPECT_EQ(output, "KILL for " + (first / hazelPlist).string() + "\n");
    EXPECT_TRUE(file->dataItem(hazelPlist));
}

TEST_F(SyncEngineConcurrencyTest, AToolThatPrintsALotIsNotStalled) {
    // More than any pipe holds, on both output streams.
    installTool("head -c 1000000 /dev/zero; head -c 1000000 /dev/zero >&2; echo done >> '" +
                toolLog.string() + "'");
    writeSetting(first, hazelPlist, "hazel");
    record({"Hazel"}, {}, {});

    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(run(SyncAction::backUp).results().empty());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(toolCalls(), std::vector<std::string>{"done"});
}

TEST_F(SyncEngineConcurrencyTest, AToolThatIgnoresTheInterruptionIsKilledWithWhatItStarted) {
    const fs::path pidFile = base / "sleeper.pid";
    installTool("trap '' INT\nsleep 30 &\necho $! > '" + pidFile.string() + "'\nwait");
    const PreferencesTool tool(SyncEngine::preferencesToolPath(), 0.5, 0.2);

    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(tool.run({"-currentHost", "read", "/nowhere.plist"}, "/nowhere.plist"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "KILL for /nowhere.plist\n");

    // The sleeper started by the tool went down with it (it may linger as a
    // zombie until its new parent collects it).
    ASSERT_TRUE(fs::exists(pidFile));
    const std::string pid = lines(testsupport::readFile(pidFile)).at(0);
    const auto gone = [&] {
        std::ifstream stat("/proc/" + pid + "/stat");
        std::string text;
        if (!std::getline(stat, text)) return true;
        const auto close = text.rfind(')');
        return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!gone() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(gone()) << "process " << pid << " still runs";
}

TEST_F(SyncEngineConcurrencyTest, ManyItemsAreProcessedAtMostEightAtATime) {
    // Each call counts the calls running beside it.
    const fs::path running = base / "running";
    fs::create_directories(running);
    installTool("marker='" + running.string() + "'/$$\nmkdir \"$marker\"\nls '" + running.string() +
                "' | wc -l >> '" + toolLog.string() + "'\nsleep 0.2\nrmdir \"$marker\"");
    std::vector<std::string> custom;
    for (int i = 0; i < 20; ++i) {
        custom.push_back("Library/Preferences/com.example.item" + std::to_string(i) + ".plist");
        writeSetting(first, custom.back(), "item " + std::to_string(i));
    }
    record({}, {}, custom);

    std::mutex mutex;
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    std::vector<std::thread::id> threads;
    SyncEngine engine(file, SyncAction::backUp, *local);
    engine.setProgressHandler([&](std::size_t done, std::size_t total) {
        std::lock_guard lock(mutex);
        progress.emplace_back(done, total);
        threads.push_back(std::this_thread::get_id());
    });
    EXPECT_TRUE(engine.run().results().empty());

    for (const auto& path : custom)
        EXPECT_TRUE(file->dataItem(path)) << path;
    const auto calls = toolCalls();
    ASSERT_EQ(calls.size(), custom.size());
    for (const auto& call : calls) {
        const int count = std::stoi(call);
        EXPECT_GE(count, 1);
        EXPECT_LE(count, SyncEngine::maxConcurrentItems);
    }
    ASSERT_EQ(progress.size(), custom.size());
    for (std::size_t i = 0; i < progress.size(); ++i)
        EXPECT_EQ(progress[i], std::make_pair(i + 1, custom.size()));
    EXPECT_EQ(std::count(threads.begin(), threads.end(), std::this_thread::get_id()), 0);
}

}  // namespace
}  // namespace quillfen
