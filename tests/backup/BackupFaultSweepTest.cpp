// Failure at every step: each test arms the file-system fault seam to fail the
// Nth step of a back-up, a save or an install, for every N until the run no
// longer meets the fault, and checks that the failure is reported and that
// what was on disk before is intact. A fault that lasts ("from then on")
// leaves the disk as a crash at that step would.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "backup/BackupFileData.h"
#include "backup/BackupFileTestHelpers.h"
#include "backup/DataCopyDeletionSchedule.h"
#include "keel/FileManager.h"
#include "keel/FileSystemFaults.h"
#include "support/PackageSnapshot.h"
#include "support/TestSupport.h"

namespace quillfen::testing {
namespace {

using keel::FileSystemFaults;
using Persistence = FileSystemFaults::Persistence;
using testsupport::readFile;
using testsupport::writeFile;

constexpr std::uint64_t kMaximumSteps = 400;

const char* nameOf(Persistence persistence) {
    return persistence == Persistence::once ? "once" : "from then on";
}

// The records of the "Data.json" on disk: settings path to copy name.
std::map<std::string, std::string> savedRecords(const fs::path& package) {
    std::map<std::string, std::string> records;
    if (!fs::exists(package / "Data.json")) return records;
    const auto content = nlohmann::json::parse(readFile(package / "Data.json"));
    for (const auto& member : content.items())
        records[member.key()] = member.value().at("uuid").get<std::string>();
    return records;
}

// The copies in "Data", by name, without temporaries.
std::set<std::string> storedCopies(const fs::path& package) {
    std::set<std::string> names;
    if (!fs::exists(package / "Data")) return names;
    for (const auto& entry : fs::directory_iterator(package / "Data")) {
        const std::string name = entry.path().filename().string();
        if (!keel::FileManager::isTemporaryName(name)) names.insert(entry.path().stem().string());
    }
    return names;
}

class BackupFaultSweepTest : public BackupFileFixture {
protected:
    fs::path copyURL(const std::string& uuid) const { return dataCopyURL(uuid); }

    // Every record of the saved "Data.json" refers to a complete copy: a copy
    // known before the run has its old content, a new one the content of the
    // local item it was made from.
    void expectSavedRecordsComplete(const std::map<std::string, Snapshot>& oldCopies) const {
        for (const auto& [path, uuid] : savedRecords(packageURL())) {
            SCOPED_TRACE(path);
            ASSERT_TRUE(fs::exists(copyURL(uuid))) << "a saved record lost its copy";
            const auto known = oldCopies.find(uuid);
            Snapshot expected =
                known != oldCopies.end() ? known->second : snapshotOf(home() / path);
            Snapshot copy = snapshotOf(copyURL(uuid));
            // A new folder copy is dated by the newest date in it, not by
            // the local folder's own date.
            if (known == oldCopies.end() && fs::is_directory(copyURL(uuid))) {
                expected.erase("");
                copy.erase("");
            }
            EXPECT_EQ(copy, expected);
        }
    }

    std::map<std::string, Snapshot> copiesOfSavedRecords() const {
        std::map<std::string, Snapshot> copies;
        for (const auto& [path, uuid] : savedRecords(packageURL()))
            copies[uuid] = snapshotOf(copyURL(uuid));
        return copies;
    }

    // A file, a folder of files and a link, backed up and saved once.
    void backUpFirstVersions() {
        writeLocal(".toolrc", "first tool");
        writeLocal(".config/app/settings.json", "first settings");
        writeLocal(".config/app/themes/dark", "first dark");
        fs::create_symlink("settings.json", home() / ".config/app/current");
        writeLocal(".editorrc", "first editor");
        file->setFileItems(
            {{".toolrc", true, {}}, {".config/app", true, {}}, {".editorrc", true, {}}});
        for (const auto& path : paths())
            file->backUpData(path);
        file->save();
    }

    static std::vector<std::string> paths() { return {".toolrc", ".config/app", ".editorrc"}; }

    void writeSecondVersions() const {
        writeLocal(".toolrc", "second tool, longer than the first");
        writeLocal(".config/app/settings.json", "second settings");
        writeLocal(".config/app/new", "a new file");
        writeLocal(".editorrc", "second editor");
    }

    // A back-up run as the engine makes one: every path, failures collected,
    // then an event and a save. True when anything failed.
    bool runBackUp(const std::shared_ptr<BackupFile>& target) const {
        bool failed = false;
        for (const auto& path : paths()) {
            try {
                target->backUpData(path);
            } catch (const std::exception&) {
                failed = true;
            }
        }
        target->addEvent(SyncAction::backUp);
        try {
            target->save();
        } catch (const std::exception&) {
            failed = true;
        }
        return failed;
    }
};

TEST_F(BackupFaultSweepTest, BackUpKeepsEverySavedRecordsCopyAtEveryFailedStep) {
    backUpFirstVersions();
    const testsupport::TemporaryDirectory pristine;
    fs::copy(folder(""), pristine.path() / "state",
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);

    for (const auto persistence : {Persistence::once, Persistence::fromThenOn}) {
        bool completed = false;
        for (std::uint64_t n = 1; !completed && n < kMaximumSteps; ++n) {
            SCOPED_TRACE(std::string(nameOf(persistence)) + ", step " + std::to_string(n));
            // Each step starts from the state after the first back-up.
            file.reset();
            fs::remove_all(folder("home"));
            fs::remove_all(packageURL());
            fs::remove_all(folder("data"));
            for (const auto* name : {"home", "Test.qfbackup", "data"}) {
                if (fs::exists(pristine.path() / "state" / name))
                    fs::copy(pristine.path() / "state" / name, folder(name),
                             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            }
            writeSecondVersions();
            file = BackupFile::open(packageURL());
            const auto oldCopies = copiesOfSavedRecords();

            bool failed = false;
            {
                FileSystemFaults::Scope fault(n, EIO, persistence);
                failed = runBackUp(file);
                completed = !FileSystemFaults::didFire();
            }
            expectSavedRecordsComplete(oldCopies);
            if (completed) {
                EXPECT_FALSE(failed);
            } else if (!failed) {
                // Only the tidying after the save (deleting the replaced copies
                // and taking them off the schedule) may fail unreported: the
                // back-up itself is complete.
                for (const auto& [path, uuid] : savedRecords(packageURL()))
                    EXPECT_EQ(oldCopies.count(uuid), 0u) << path;
            }
            if (persistence == Persistence::once && !completed) {
                // The same file saves what is pending once the fault is gone,
                // and then "Data" holds exactly the recorded copies.
                EXPECT_NO_THROW(file->save());
                expectSavedRecordsComplete(oldCopies);
                std::set<std::string> recorded;
                for (const auto& [path, uuid] : savedRecords(packageURL()))
                    recorded.insert(uuid);
                const auto stored = storedCopies(packageURL());
                for (const auto& uuid : stored) {
                    // A replaced copy whose deletion failed stays scheduled.
                    if (recorded.contains(uuid)) continue;
                    EXPECT_TRUE(
                        DataCopyDeletionSchedule::standard()->copies(packageURL()).contains(uuid))
                        << uuid;
                }
            }
            if (persistence == Persistence::fromThenOn && !completed) {
                // The next run on this computer opens the package, backs up
                // again and leaves every record complete and nothing scheduled.
                file = BackupFile::open(packageURL());
                EXPECT_FALSE(runBackUp(file));
                expectSavedRecordsComplete(oldCopies);
                EXPECT_EQ(savedRecords(packageURL()).size(), paths().size());
                EXPECT_TRUE(DataCopyDeletionSchedule::standard()->copies(packageURL()).empty());
                for (const auto& [uuid, copy] : oldCopies)
                    EXPECT_FALSE(fs::exists(copyURL(uuid))) << "a replaced copy was left";
            }
        }
        EXPECT_TRUE(completed);
    }
}

TEST_F(BackupFaultSweepTest, SaveOfEditedListsWritesEachFileWholeOrNotAtAll) {
    backUpFirstVersions();
    file->setAppItems({{"Hazel", true, {}}});
    file->setNote("first note");
    file->save();
    const auto savedPackage = folder("saved.qfbackup");
    fs::copy(packageURL(), savedPackage, fs::copy_options::recursive);
    const auto savedSchedule = folder("data");

    for (const auto persistence : {Persistence::once, Persistence::fromThenOn}) {
        bool completed = false;
        for (std::uint64_t n = 1; !completed && n < kMaximumSteps; ++n) {
            SCOPED_TRACE(std::string(nameOf(persistence)) + ", step " + std::to_string(n));
            file.reset();
            fs::remove_all(packageURL());
            fs::copy(savedPackage, packageURL(), fs::copy_options::recursive);
            fs::remove_all(savedSchedule);
            file = BackupFile::open(packageURL());
            const auto oldCopies = copiesOfSavedRecords();
            std::map<std::string, std::string> before;
            for (const auto& entry : fs::directory_iterator(packageURL())) {
                if (entry.is_regular_file())
                    before[entry.path().filename().string()] = readFile(entry.path());
            }
            // Edits of every list, one of which drops a data copy.
            file->setAppItems({{"Hazel", false, {"off for now"}}});
            file->setExecItems({{"vim", true, {}}});
            file->removeFileItems({".editorrc"});
            file->setNote("second note");
            file->addEvent(SyncAction::synchronize);

            bool failed = false;
            {
                FileSystemFaults::Scope fault(n, EIO, persistence);
                try {
                    file->save();
                } catch (const std::exception&) {
                    failed = true;
                }
                completed = !FileSystemFaults::didFire();
            }
            expectSavedRecordsComplete(oldCopies);
            // A failure left unreported is one of the tidying after the save.
            if (!completed && !failed) {
                EXPECT_EQ(savedRecords(packageURL()).count(".editorrc"), 0u);
            }
            // Every file is its old content or its new one, never a mixture.
            std::map<std::string, std::string> during;
            for (const auto& entry : fs::directory_iterator(packageURL())) {
                const std::string name = entry.path().filename().string();
                if (entry.is_regular_file() && !keel::FileManager::isTemporaryName(name))
                    during[name] = readFile(entry.path());
            }
            file.reset();
            {
                auto retry = BackupFile::open(packageURL());
                retry->setAppItems({{"Hazel", false, {"off for now"}}});
                retry->setExecItems({{"vim", true, {}}});
                retry->removeFileItems({".editorrc"});
                retry->setNote("second note");
                EXPECT_NO_THROW(retry->save());
            }
            for (const auto& [name, content] : during) {
                SCOPED_TRACE(name);
                const bool old = before.count(name) && before.at(name) == content;
                const bool renewed = name == "History.json"
                                         ? content.find("Synchronize") != std::string::npos
                                         : readFile(packageURL() / name) == content;
                EXPECT_TRUE(old || renewed) << content;
            }
            EXPECT_TRUE(fs::exists(packageURL() / "Data.json"));
            EXPECT_EQ(savedRecords(packageURL()).count(".editorrc"), 0u);
            expectSavedRecordsComplete(oldCopies);
            EXPECT_EQ(storedCopies(packageURL()).size(), savedRecords(packageURL()).size())
                << "the dropped copy goes once a save no longer refers to it";
        }
        EXPECT_TRUE(completed);
    }
}

TEST_F(BackupFaultSweepTest, InstallLeavesEachLocalItemOldOrNewAtEveryFailedStep) {
    backUpFirstVersions();
    // What an install puts in place: the copies, which are the first versions.
    const auto newVersions =
        std::map<std::string, Snapshot>{{".toolrc", snapshotOf(home() / ".toolrc")},
                                        {".config/app", snapshotOf(home() / ".config/app")}};
    const auto writeLocalVersion = [&](const std::string& path) {
        fs::remove_all(home() / path);
        if (path == ".toolrc") {
            writeLocal(".toolrc", "second tool, longer than the first");
        } else {
            writeLocal(".config/app/settings.json", "second settings");
            writeLocal(".config/app/new", "a new file");
        }
    };
    const auto temporariesBeside = [&](const std::string& path) {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator((home() / path).parent_path())) {
            if (keel::FileManager::isTemporaryName(entry.path().filename().string()))
                found.push_back(entry.path());
        }
        return found;
    };

    for (const std::string path : {".toolrc", ".config/app"}) {
        for (const auto persistence : {Persistence::once, Persistence::fromThenOn}) {
            bool completed = false;
            for (std::uint64_t n = 1; !completed && n < kMaximumSteps; ++n) {
                SCOPED_TRACE(path + ", " + nameOf(persistence) + ", step " + std::to_string(n));
                writeLocalVersion(path);
                const Snapshot before = snapshotOf(home() / path);
                bool failed = false;
                {
                    FileSystemFaults::Scope fault(n, EIO, persistence);
                    try {
                        file->installData(path);
                    } catch (const std::exception&) {
                        failed = true;
                    }
                    completed = !FileSystemFaults::didFire();
                }
                const Snapshot after = snapshotOf(home() / path);
                if (completed || !failed) {
                    // Only the creation of the parent folders (which are
                    // there) and the removal of the replaced version, once the
                    // new one is in place, may fail unreported.
                    EXPECT_EQ(after, newVersions.at(path));
                    if (!completed) {
                        const auto operation = FileSystemFaults::failedOperation();
                        EXPECT_TRUE(operation == FileSystemFaults::Operation::remove ||
                                    operation == FileSystemFaults::Operation::createFolder);
                    }
                } else if (after != before) {
                    // In place, but its folder could not be flushed: reported.
                    EXPECT_EQ(after, newVersions.at(path));
                    EXPECT_EQ(FileSystemFaults::failedOperation(),
                              FileSystemFaults::Operation::flush);
                }
                if (failed && persistence == Persistence::once) {
                    EXPECT_EQ(temporariesBeside(path).size(), 0u);
                }
                for (const auto& leftover : temporariesBeside(path))
                    fs::remove_all(leftover);
            }
            EXPECT_TRUE(completed);
        }
    }
}

// MARK: Deferred deletion

TEST_F(BackupFaultSweepTest, OpeningDeletesOnlyWhatThisComputerScheduledAndNoRecordNeeds) {
    writeLocal(".toolrc", "tool");
    file->setFileItems({{".toolrc", true, {}}});
    file->backUpData(".toolrc");
    file->save();
    const std::string recorded = file->dataItem(".toolrc")->uuid;
    file.reset();

    // Copies in "Data" that no record refers to.
    const std::string dropped = "00000000-0000-4000-8000-000000000001";  // this computer's
    const std::string others = "00000000-0000-4000-8000-000000000002";   // another computer's
    const std::string unknown = "00000000-0000-4000-8000-000000000003";  // nobody's
    for (const auto& name : {dropped, others, unknown})
        writeFile(copyURL(name), name);
    // An interrupted run: a dropped copy whose deletion never came, and a copy
    // scheduled before a save that never happened, which the saved "Data.json"
    // still refers to.
    const auto schedule = *DataCopyDeletionSchedule::standard();
    schedule.add(packageURL(), {dropped, recorded});
    const DataCopyDeletionSchedule otherComputer(folder("other computer") / "schedule.json");
    otherComputer.add(packageURL(), {others});

    file = BackupFile::open(packageURL());

    EXPECT_FALSE(fs::exists(copyURL(dropped)));
    EXPECT_EQ(readFile(copyURL(recorded)), "tool");
    EXPECT_TRUE(fs::exists(copyURL(others)));
    EXPECT_TRUE(fs::exists(copyURL(unknown)));
    EXPECT_TRUE(schedule.copies(packageURL()).empty());
    EXPECT_EQ(otherComputer.copies(packageURL()), std::set<std::string>{others});
}

TEST_F(BackupFaultSweepTest, ScheduleIsKeptPerPackageAndFollowsAMove) {
    const auto schedule = *DataCopyDeletionSchedule::standard();
    const std::string a = "00000000-0000-4000-8000-00000000000A";
    const std::string b = "00000000-0000-4000-8000-00000000000B";
    fs::create_directories(folder("One.qfbackup"));
    schedule.add(folder("One.qfbackup"), {a, b});
    schedule.add(folder("./Two.qfbackup"), {a});
    schedule.add(folder("One.qfbackup/"), {"not a copy name"});
    EXPECT_EQ(schedule.copies(folder("One.qfbackup")), (std::set<std::string>{a, b}));
    schedule.remove(folder("One.qfbackup"), {a});
    EXPECT_EQ(schedule.copies(folder("One.qfbackup")), std::set<std::string>{b});
    EXPECT_EQ(schedule.copies(folder("Two.qfbackup")), std::set<std::string>{a});

    fs::rename(folder("One.qfbackup"), folder("Three.qfbackup"));
    schedule.move(folder("One.qfbackup"), folder("Three.qfbackup"));
    EXPECT_TRUE(schedule.copies(folder("One.qfbackup")).empty());
    EXPECT_EQ(schedule.copies(folder("Three.qfbackup")), std::set<std::string>{b});

    // A damaged schedule reads as empty: nothing is deleted on its word.
    writeFile(schedule.fileURL(), "{\"" + folder("Two.qfbackup").string() + "\": [\"../x\"");
    EXPECT_TRUE(schedule.copies(folder("Two.qfbackup")).empty());
}

TEST_F(BackupFaultSweepTest, PackageAndDataFoldersAreOwnerOnlyWhateverTheUmask) {
    const mode_t old = ::umask(0);
    file->setNote("note");
    EXPECT_NO_THROW(file->save());
    ::umask(old);
    EXPECT_EQ(testsupport::modeOf(packageURL()), 0700u);
    EXPECT_EQ(testsupport::modeOf(packageURL() / "Data"), 0700u);
}

}  // namespace
}  // namespace quillfen::testing
