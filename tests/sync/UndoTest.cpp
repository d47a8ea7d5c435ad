#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>
#include <cerrno>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/FileSystemFaults.h"
#include "keel/UserSettings.h"
#include "local/LocalResources.h"
#include "local/TemporaryLeftovers.h"
#include "support/PackageSnapshot.h"
#include "support/TestSupport.h"
#include "support/TwoComputers.h"
#include "sync/SyncEngine.h"
#include "sync/UndoRun.h"
#include "sync/UndoStore.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using testing::Snapshot;
using testsupport::ScopedEnv;
using testsupport::TemporaryDirectory;

// Everything about the settings items at `paths` under `home` that undo must
// put back: per entry inside each, its kind, content or link target, mode and
// date.
Snapshot snapshot(const fs::path& home, const std::vector<std::string>& paths) {
    Snapshot result;
    for (const auto& path : paths) {
        for (auto& [relative, facts] : testing::snapshotOf(home / path))
            result[relative.empty() ? path : path + "/" + relative] = std::move(facts);
    }
    return result;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void setDate(const fs::path& path, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Fingerprints are stored in the manifests of runs and compared by later
// versions: the same item must give the same value as ever.
TEST(UndoRunTest, FingerprintsOfTheSameItemStayTheSame) {
    TemporaryDirectory dir;
    const fs::path folder = dir / "folder";
    testsupport::writeFile(folder / "b.conf", "bee");
    testsupport::writeFile(folder / "a" / "inner", std::string(300, 'x'));
    fs::create_symlink("../elsewhere/target", folder / "link");
    ::chmod((folder / "b.conf").c_str(), 0640);
    ::chmod((folder / "a").c_str(), 0750);
    ::chmod(folder.c_str(), 0700);
    setDate(folder / "b.conf", 1'600'000'000, 5);
    setDate(folder / "a" / "inner", -86'400, 999'999'999);
    setDate(folder / "link", 1'700'000'000, 123'456'789);
    setDate(folder / "a", 1'650'000'000, 0);
    setDate(folder, 1'650'000'001, 10);

    std::uint64_t bytes = 0;
    EXPECT_EQ(UndoRun::fingerprint(folder / "b.conf", &bytes), "f:3:65116b3768d12d8b");
    EXPECT_EQ(bytes, 3u);
    EXPECT_EQ(UndoRun::fingerprint(folder / "link", &bytes), "l:19:958a6be1d8832b95");
    EXPECT_EQ(UndoRun::fingerprint(folder, &bytes), "d:322:5a7085ae8db96271");
    EXPECT_EQ(bytes, 322u);
    EXPECT_EQ(UndoRun::fingerprint(dir / "missing", &bytes), "none");
    EXPECT_EQ(bytes, 0u);
}

class UndoTest : public testing::TwoComputers {
protected:
    SyncLogs run(SyncAction action, std::optional<std::chrono::seconds> leftoverAge = {}) {
        SyncEngine engine(file, action, *local);
        if (leftoverAge) engine.setLeftoverAge(*leftoverAge);
        return engine.run();
    }

    UndoStore store() const { return *UndoStore::standard(); }

    static void write(const fs::path& home, const std::string& path, const std::string& content,
                      unsigned mode = 0644, time_t date = 1'600'000'000) {
        writeSetting(home, path, content, fs::perms(mode), date);
    }

    void recordFiles(const std::vector<std::string>& paths) {
        std::vector<BackupFileItem> items;
        for (const auto& path : paths)
            items.push_back({path, true, std::nullopt});
        file->setFileItems(items);
        file->save();
    }

    void expectEveryFailingStepLosesNothing(const std::vector<std::string>& paths,
                                            const std::string& createdFolder);

    // Backs up `paths` from the first computer, as it has them now.
    void backUpFromFirst(const std::vector<std::string>& paths) {
        useComputer(first);
        recordFiles(paths);
        ASSERT_TRUE(run(SyncAction::backUp).results().empty());
        useComputer(second);
    }
};

TEST_F(UndoTest, UndoPutsBackFilesFoldersWithLinksAndRemovesWhatWasNotThere) {
    const std::string profile = ".profile";
    const std::string folder = ".config/tool";
    const std::string fresh = ".fresh/deep/conf";
    const std::vector<std::string> paths = {profile, folder, fresh};

    write(first, profile, "new profile", 0644, 1'700'000'000);
    write(first, folder + "/settings.json", "{\"new\": true}", 0600, 1'700'000'100);
    write(first, fresh, "fresh", 0640);
    backUpFromFirst(paths);

    // The second computer has older versions of two of them, with other
    // modes, a link and a nested folder, and nothing at the third.
    write(second, profile, "old profile", 0600);
    write(second, folder + "/settings.json", "{}", 0644, 1'500'000'000);
    write(second, folder + "/nested/more.txt", "more", 0400, 1'500'000'100);
    fs::create_symlink("settings.json", second / folder / "current");
    testsupport::setModifyDate(second / folder / "nested", 1'500'000'200, 7);
    fs::permissions(second / folder, fs::perms(0750));
    testsupport::setModifyDate(second / folder, 1'500'000'300, 9);
    const Snapshot before = snapshot(second, paths);

    ASSERT_TRUE(run(SyncAction::install).results().empty());
    EXPECT_EQ(testsupport::readFile(second / profile), "new profile");
    EXPECT_FALSE(fs::exists(second / folder / "nested"));
    EXPECT_EQ(testsupport::readFile(second / fresh), "fresh");

    const auto runs = store().runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0]->action(), SyncAction::install);
    EXPECT_EQ(runs[0]->package(), packageURL.string());
    EXPECT_EQ(runs[0]->entries().size(), 3u);

    const auto result = store().undoLastRun();
    EXPECT_TRUE(result.failures.empty());
    EXPECT_TRUE(result.leftAlone.empty());
    EXPECT_EQ(result.restored.size(), 2u);
    EXPECT_EQ(result.removed, std::vector<std::string>{fresh});
    EXPECT_EQ(snapshot(second, paths), before);
    // The folders made for the new file went with it.
    EXPECT_FALSE(fs::exists(second / ".fresh"));
    // The package was not touched, and the run is spent.
    EXPECT_TRUE(file->dataItem(profile));
    EXPECT_TRUE(store().runs()[0]->undoneDate());
    EXPECT_THROW(store().undoLastRun(), UndoStore::NothingToUndo);
}

TEST_F(UndoTest, ASynchronizeKeepsOnlyWhatItInstalledAndEachUndoGoesOneRunBack) {
    write(first, ".a", "a from first", 0644, 1'700'000'000);
    write(first, ".b", "b from first", 0644, 1'500'000'000);
    backUpFromFirst({".a", ".b"});
    // Package copies count as made when backed up, that is now.
    write(second, ".a", "a on second", 0644, 1'600'000'000);
    write(second, ".b", "b on second", 0644, std::time(nullptr) + 3600);
    const Snapshot original = snapshot(second, {".a", ".b"});

    // ".a" is newer in the package, ".b" newer here.
    ASSERT_TRUE(run(SyncAction::synchronize).results().empty());
    const Snapshot afterSync = snapshot(second, {".a", ".b"});
    EXPECT_EQ(testsupport::readFile(second / ".a"), "a from first");
    ASSERT_EQ(store().runs().size(), 1u);
    const auto entries = store().runs()[0]->entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, ".a");

    // A nothing-changed synchronize records no run.
    ASSERT_TRUE(run(SyncAction::synchronize).results().empty());
    EXPECT_EQ(store().runs().size(), 1u);

    // An install replaces both; undo goes back to after the synchronize, then
    // to before it.
    ASSERT_TRUE(run(SyncAction::install).results().empty());
    EXPECT_EQ(store().runs().size(), 2u);
    store().undoLastRun();
    EXPECT_EQ(snapshot(second, {".a", ".b"}), afterSync);
    store().undoLastRun();
    EXPECT_EQ(snapshot(second, {".a", ".b"}), original);
}

TEST_F(UndoTest, APathChangedSinceTheRunIsLeftAndReportedWithItsCopyKept) {
    write(first, ".a", "new a");
    write(first, ".b", "new b");
    write(first, ".c", "new c");
    backUpFromFirst({".a", ".b", ".c"});
    write(second, ".a", "old a");
    write(second, ".b", "old b");
    write(second, ".c", "old c");
    ASSERT_TRUE(run(SyncAction::install).results().empty());

    write(second, ".a", "edited a", 0644, 1'650'000'000);
    fs::remove(second / ".c");
    const auto result = store().undoLastRun();
    EXPECT_EQ(result.leftAlone, std::vector<std::string>{".a"});
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(testsupport::readFile(second / ".a"), "edited a");
    EXPECT_EQ(testsupport::readFile(second / ".b"), "old b");
    // A path removed since loses nothing when its old version comes back.
    EXPECT_EQ(testsupport::readFile(second / ".c"), "old c");

    const auto runs = store().runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0]->undoneDate());
    ASSERT_EQ(runs[0]->entries().size(), 1u);
    const auto kept = runs[0]->entries()[0];
    EXPECT_TRUE(kept.leftAlone);
    EXPECT_EQ(testsupport::readFile(runs[0]->directory() / kept.kept), "old a");
    EXPECT_EQ(namesIn(runs[0]->directory()),
              (std::vector<std::string>{UndoRun::journalName, UndoRun::manifestName,
                                        UndoRun::summaryName, kept.kept}));
    EXPECT_EQ(UndoRun::summarizedSize(runs[0]->directory()), runs[0]->size());
}

TEST_F(UndoTest, TheStoreKeepsTheLastTenRunsWithinItsSizeBound) {
    write(first, ".a", "from the package");
    backUpFromFirst({".a"});
    write(second, ".a", "local");
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(run(SyncAction::install).results().empty());
    auto runs = store().runs();
    ASSERT_EQ(runs.size(), UndoStore::maximumRuns);
    for (std::size_t i = 1; i < runs.size(); ++i)
        EXPECT_GT(runs[i - 1]->name(), runs[i]->name());
    EXPECT_EQ(store().totalSize(), 10u * std::string("from the package").size());

    // Over the bound, old runs go first, but never the one being recorded,
    // even when it alone is larger.
    SyncEngine engine(file, SyncAction::install, *local);
    engine.setUndoStore(UndoStore(store().directory(), 1));
    const std::string newest = runs[0]->name();
    ASSERT_TRUE(engine.run().results().empty());
    runs = store().runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_GT(runs[0]->name(), newest);
}

// The store totals finished runs from their summaries; a run killed part-way
// has kept more than its summary says, and must count with all of it.
TEST_F(UndoTest, TheSizeBoundCountsWhatARunKilledPartWayKept) {
    write(first, ".a", "from the package");
    backUpFromFirst({".a"});
    write(second, ".a", "local");
    ASSERT_TRUE(run(SyncAction::install).results().empty());
    const auto finished = store().runs();
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(UndoRun::summarizedSize(finished[0]->directory()), std::string("local").size());

    const auto killed = store().beginRun(SyncAction::install, packageURL.string());
    write(second, ".big", std::string(1000, 'x'));
    killed->keep(".big", second / ".big");
    EXPECT_EQ(UndoRun::summarizedSize(killed->directory()), std::nullopt);

    // 5 + 1000 bytes are over the bound: the oldest run goes, the killed one
    // alone fits.
    const auto next = UndoStore(store().directory(), 1000).beginRun(SyncAction::install, "p");
    std::vector<std::string> names;
    for (const auto& kept : store().runs())
        names.push_back(kept->name());
    EXPECT_EQ(names, (std::vector<std::string>{next->name(), killed->name()}));
}

TEST_F(UndoTest, APathThatCannotBeKeptIsNotReplaced) {
    write(first, ".a", "new");
    backUpFromFirst({".a"});
    write(second, ".a", "old");
    testsupport::writeFile(base / "blocker", "a file where the store's folder should be");

    SyncEngine engine(file, SyncAction::install, *local);
    engine.setUndoStore(UndoStore(base / "blocker" / "Undo"));
    const auto logs = engine.run();
    ASSERT_EQ(logs.results().size(), 1u);
    ASSERT_EQ(logs.results()[0].errors.count(".a"), 1u);
    EXPECT_NE(logs.results()[0].errors.at(".a").description.find("kept for undo"),
              std::string::npos);
    EXPECT_EQ(testsupport::readFile(second / ".a"), "old");
}

TEST_F(UndoTest, ARunKilledPartWayCanStillBeUndone) {
    useComputer(second);
    write(second, ".a", "old a", 0600);
    write(second, ".b", "old b");
    const Snapshot before = snapshot(second, {".a", ".b", ".c"});
    {
        // As the engine does it, then killed: ".a" replaced but not
        // confirmed, ".b" kept only, ".c" created; no manifest since the start.
        const auto undoRun = store().beginRun(SyncAction::install, packageURL.string());
        undoRun->keep(".a", second / ".a");
        write(second, ".a", "new a");
        undoRun->keep(".b", second / ".b");
        undoRun->keep(".c", second / ".c");
        write(second, ".c", "new c");
        undoRun->didInstall(3, second / ".c");
        // A line torn by the kill.
        std::ofstream(undoRun->directory() / UndoRun::journalName, std::ios::app)
            << "{\"installed\": 2, \"fingerp";
    }
    const auto result = store().undoLastRun();
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(snapshot(second, {".a", ".b", ".c"}), before);
}

TEST_F(UndoTest, LeftoverTemporariesOfRestoredPathsAreRemovedAndNothingElse) {
    write(first, "a", "new");
    backUpFromFirst({"a"});
    write(second, "a", "old");
    const std::string shortForm =
        keel::FileManager::temporarySibling(second / "a").filename().string();
    const std::vector<std::string> leftovers = {".a.qftmp-0123456789abcdef", ".a.qftmp-undo42",
                                                shortForm};
    const std::vector<std::string> others = {
        ".b.qftmp-0123456789abcdef",
        "a.qftmp-1",
        ".a.qftmp",
        ".ab.qftmp-1",
        ".a.bak",
        keel::FileManager::temporarySibling(second / "b").filename().string()};
    for (const auto& name : leftovers)
        testsupport::writeFile(second / name, "leftover");
    fs::create_directories(second / ".a.qftmp-fedcba9876543210" / "inside");
    for (const auto& name : others)
        testsupport::writeFile(second / name, "not ours");

    // Fresh temporaries may belong to a copy under way: they stay.
    ASSERT_TRUE(run(SyncAction::install).results().empty());
    for (const auto& name : leftovers)
        EXPECT_TRUE(fs::exists(second / name)) << name;

    ASSERT_TRUE(run(SyncAction::install, std::chrono::seconds(-1)).results().empty());
    for (const auto& name : leftovers)
        EXPECT_FALSE(fs::exists(second / name)) << name;
    EXPECT_FALSE(fs::exists(second / ".a.qftmp-fedcba9876543210"));
    for (const auto& name : others)
        EXPECT_EQ(testsupport::readFile(second / name), "not ours") << name;
    EXPECT_EQ(testsupport::readFile(second / "a"), "new");
}

// Installs the package onto the second computer with each file-system step
// failing in turn, once and from then on, and checks each time that every
// path is its old or its new version and that undo puts back the old one.
// `createdFolder` is a folder the install creates, empty if none.
void UndoTest::expectEveryFailingStepLosesNothing(const std::vector<std::string>& paths,
                                                  const std::string& createdFolder) {
    const fs::path pristine = base / "pristine";
    keel::FileManager::overwritingCopy(second, pristine);
    const auto reset = [&] {
        keel::FileManager::overwritingCopy(pristine, second, keel::CopyDurability::deferred);
        fs::remove_all(store().directory());
        file = BackupFile::open(packageURL);
    };
    std::map<std::string, Snapshot> before, after;
    for (const auto& path : paths)
        before[path] = snapshot(second, {path});
    ASSERT_TRUE(run(SyncAction::install).results().empty());
    for (const auto& path : paths)
        after[path] = snapshot(second, {path});

    // A step failing once (the run goes on), and every step failing from the
    // Nth on, as when the computer stops there.
    using Persistence = keel::FileSystemFaults::Persistence;
    for (const Persistence persistence : {Persistence::once, Persistence::fromThenOn}) {
        for (std::uint64_t n = 1;; ++n) {
            SCOPED_TRACE("failing step " + std::to_string(n) +
                         (persistence == Persistence::once ? " once" : " and every step after"));
            reset();
            std::set<std::string> failed;
            bool threw = false;
            bool fired = false;
            {
                keel::FileSystemFaults::Scope fault(n, EIO, persistence);
                try {
                    for (const auto& result : run(SyncAction::install).results())
                        for (const auto& [path, error] : result.errors)
                            failed.insert(path);
                } catch (const std::exception&) {
                    threw = true;  // the save of the package failed
                }
                fired = keel::FileSystemFaults::didFire();
            }
            // A path reported as installed is the new version; any other is the
            // old or the new one, never a mix.
            for (const auto& path : paths) {
                const Snapshot now = snapshot(second, {path});
                if (threw || failed.count(path)) {
                    EXPECT_TRUE(now == before[path] || now == after[path]) << path;
                } else {
                    EXPECT_EQ(now, after[path]) << path;
                }
            }
            if (!store().runs().empty()) {
                const auto result = store().undoLastRun();
                EXPECT_TRUE(result.failures.empty());
                EXPECT_TRUE(result.leftAlone.empty());
            }
            for (const auto& path : paths)
                EXPECT_EQ(snapshot(second, {path}), before[path]) << path;
            // Only a stop part-way may leave a temporary beside a path, for
            // the next run to remove; it keeps its folder.
            if (createdFolder.empty()) {
            } else if (persistence == Persistence::once || !fs::exists(second / createdFolder)) {
                EXPECT_FALSE(fs::exists(second / createdFolder));
            } else {
                for (const auto& entry : fs::directory_iterator(second / createdFolder))
                    EXPECT_TRUE(TemporaryLeftovers::isTemporaryOf(entry.path().filename(), "conf"))
                        << entry.path();
            }
            if (!fired || HasFailure()) break;
        }
    }
}

TEST_F(UndoTest, AnInstallFailingAtAnyStepLosesNothingAndCanBeUndone) {
    write(first, ".a", "new a", 0644, 1'700'000'000);
    write(first, ".config/tool/settings.json", "new", 0600, 1'700'000'100);
    write(first, ".fresh/conf", "fresh");
    backUpFromFirst({".a", ".config/tool", ".fresh/conf"});
    write(second, ".a", "old a", 0600);
    write(second, ".config/tool/settings.json", "old", 0644, 1'500'000'000);
    fs::create_symlink("settings.json", second / ".config/tool/current");
    expectEveryFailingStepLosesNothing({".a", ".config/tool", ".fresh/conf"}, ".fresh");
}

// Paths kept ahead of their install are flushed together, before the first
// of them may be replaced; a flush that fails keeps the path from being
// replaced.
TEST_F(UndoTest, PathsKeptAheadAreFlushedOnceBeforeAnyIsReplaced) {
    using keel::FileSystemFaults;
    useComputer(second);
    write(second, ".a", "old a");
    write(second, ".b", "old b");
    const auto undoRun = store().beginRun(SyncAction::install, packageURL.string());
    {
        FileSystemFaults::Scope counting(0, 0);
        EXPECT_EQ(undoRun->keep(".a", second / ".a", false), 1);
        EXPECT_EQ(undoRun->keep(".b", second / ".b", false), 2);
        EXPECT_EQ(undoRun->keep(".c", second / ".c", false), 3);
        EXPECT_EQ(FileSystemFaults::passed(FileSystemFaults::Operation::flush), 0u);
    }
    FileSystemFaults::refuse(FileSystemFaults::Operation::flush, EIO);
    EXPECT_THROW(undoRun->keep(".a", second / ".a"), fs::filesystem_error);
    FileSystemFaults::allow(FileSystemFaults::Operation::flush);
    {
        FileSystemFaults::Scope counting(0, 0);
        EXPECT_EQ(undoRun->keep(".b", second / ".b"), 2);
        EXPECT_EQ(undoRun->keep(".a", second / ".a"), 1);
        EXPECT_EQ(FileSystemFaults::passed(FileSystemFaults::Operation::flush), 1u);
    }
    const auto loaded = UndoRun::load(undoRun->directory());
    ASSERT_EQ(loaded->entries().size(), 3u);
    EXPECT_EQ(testsupport::readFile(undoRun->directory() / loaded->entries()[1].kept), "old b");
}

// The paths of one item are all kept before the first is replaced.
TEST_F(UndoTest, AnItemOfSeveralPathsFailingAtAnyStepLosesNothingAndCanBeUndone) {
    write(first, ".ssh/config", "new config", 0600, 1'700'000'000);
    write(first, ".ssh/authorized_keys", "new keys", 0600, 1'700'000'100);
    useComputer(first);
    file->setExecItems({{"SSH", true, std::nullopt}});
    file->save();
    ASSERT_TRUE(run(SyncAction::backUp).results().empty());
    useComputer(second);
    write(second, ".ssh/config", "old config", 0644, 1'500'000'000);
    expectEveryFailingStepLosesNothing({".ssh/authorized_keys", ".ssh/config"}, "");
}

using UndoConcurrencyTest = UndoTest;

TEST_F(UndoConcurrencyTest, ItemsInstalledInParallelAreAllKeptAndPutBack) {
    std::vector<std::string> paths;
    for (int i = 0; i < 3 * SyncEngine::maxConcurrentItems; ++i) {
        const std::string path = ".many/item" + std::to_string(i);
        paths.push_back(path);
        write(first, path, "new " + std::to_string(i), 0644, 1'700'000'000 + i);
        // Every other one exists on the second computer.
        if (i % 2 == 0) write(second, path, "old " + std::to_string(i), 0600);
    }
    backUpFromFirst(paths);
    const Snapshot before = snapshot(second, paths);
    ASSERT_TRUE(run(SyncAction::install).results().empty());
    ASSERT_EQ(store().runs().size(), 1u);
    EXPECT_EQ(store().runs()[0]->entries().size(), paths.size());
    const auto result = store().undoLastRun();
    EXPECT_EQ(result.restored.size() + result.removed.size(), paths.size());
    EXPECT_EQ(snapshot(second, paths), before);
}

}  // namespace
}  // namespace quillfen
