#include "keel/FileSystemFaults.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <vector>

#include "keel/FileManager.h"
#include "support/TestSupport.h"

using keel::FileManager;
using keel::FileSystemFaults;
using namespace testsupport;

namespace {

using Persistence = FileSystemFaults::Persistence;

using State = std::map<std::string, std::pair<std::string, unsigned>>;

// The item at `root` and, for a folder, everything in it, by relative path,
// with its content (a folder's is empty, a link's is its target) and mode.
State snapshot(const fs::path& root) {
    State items;
    const auto describe = [](const fs::path& path) -> std::pair<std::string, unsigned> {
        if (fs::is_symlink(path)) return {"-> " + fs::read_symlink(path).string(), 0};
        if (fs::is_regular_file(path)) return {readFile(path), modeOf(path)};
        return {"", modeOf(path)};
    };
    items["."] = describe(root);
    if (fs::is_directory(root) && !fs::is_symlink(root)) {
        for (const auto& entry : fs::recursive_directory_iterator(root))
            items[fs::relative(entry.path(), root).string()] = describe(entry.path());
    }
    return items;
}

std::vector<std::string> temporariesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (FileManager::isTemporaryName(entry.path().filename().string()))
            names.push_back(entry.path().filename().string());
    }
    return names;
}

struct Sweep {
    const char* name;
    std::function<void(const fs::path&)> prepare;    // the old state
    std::function<void(const fs::path&)> operation;  // replaces "target"
};

}  // namespace

// For every step N of each operation, a fault at N is reported and leaves the
// old target as it was, whichever way the copies take; with a passing fault
// the temporary is cleaned away.
// When no step fails any more, the operation has done its work.
TEST(FileSystemFaultsTest, EveryFailedStepIsReportedAndKeepsTheOldTarget) {
    const std::vector<Sweep> sweeps = {
        {"atomic write", [](const fs::path& dir) { writeFile(dir / "target", "old"); },
         [](const fs::path& dir) { FileManager::writeAtomically(dir / "target", "new"); }},
        {"file copy",
         [](const fs::path& dir) {
             writeFile(dir / "target", "old");
             writeFile(dir / "source", "new");
         },
         [](const fs::path& dir) { FileManager::overwritingCopy(dir / "source", dir / "target"); }},
        {"folder copy over a folder",
         [](const fs::path& dir) {
             writeFile(dir / "target" / "a", "old a");
             writeFile(dir / "source" / "a", "new a");
             writeFile(dir / "source" / "sub" / "b", "new b");
             fs::create_symlink("a", dir / "source" / "link");
         },
         [](const fs::path& dir) { FileManager::overwritingCopy(dir / "source", dir / "target"); }},
        {"folder copy over a file",
         [](const fs::path& dir) {
             writeFile(dir / "target", "old");
             writeFile(dir / "source" / "a", "new a");
         },
         [](const fs::path& dir) { FileManager::overwritingCopy(dir / "source", dir / "target"); }},
        // An excluded entry of the folder is never lost, whatever step fails.
        {"folder copy keeping excluded entries",
         [](const fs::path& dir) {
             writeFile(dir / "target" / "a", "old a");
             writeFile(dir / "target" / "secret" / "token", "kept");
             writeFile(dir / "target" / "sub" / "key", "kept too");
             writeFile(dir / "source" / "a", "new a");
             writeFile(dir / "source" / "secret" / "other", "from the copy");
         },
         [](const fs::path& dir) {
             keel::CopyOptions options;
             options.keptInDestination = {"secret", "sub/key"};
             options.datesFolderByNewest = true;
             FileManager::overwritingCopy(dir / "source", dir / "target", options);
         }},
    };
    // Each way a file's bytes may go: a clone, an in-kernel copy, or reading
    // and writing where the file system refuses the other two.
    using Operation = FileSystemFaults::Operation;
    struct Mode {
        std::vector<Operation> refused;
        Persistence persistence;
    };
    std::vector<Mode> modes;
    for (const auto& refused : std::vector<std::vector<Operation>>{
             {}, {Operation::cloneFile}, {Operation::cloneFile, Operation::copyBytes}}) {
        for (const auto persistence : {Persistence::once, Persistence::fromThenOn})
            modes.push_back({refused, persistence});
    }
    for (const auto& [refused, persistence] : modes) {
        for (const Operation operation : refused)
            FileSystemFaults::refuse(operation, EOPNOTSUPP);
        for (const auto& sweep : sweeps) {
            // What the operation makes when nothing fails.
            State after;
            {
                TemporaryDirectory dir;
                sweep.prepare(dir.path());
                sweep.operation(dir.path());
                after = snapshot(dir / "target");
            }
            bool completed = false;
            for (std::uint64_t n = 1; !completed && n < 200; ++n) {
                SCOPED_TRACE(std::string(sweep.name) + ", " + std::to_string(refused.size()) +
                             " ways refused, step " + std::to_string(n) +
                             (persistence == Persistence::once ? ", once" : ", from then on"));
                TemporaryDirectory dir;
                sweep.prepare(dir.path());
                const State before = snapshot(dir / "target");
                bool threw = false;
                {
                    FileSystemFaults::Scope fault(n, EIO, persistence);
                    try {
                        sweep.operation(dir.path());
                    } catch (const fs::filesystem_error& error) {
                        threw = true;
                        EXPECT_EQ(error.code().value(), EIO);
                    }
                    completed = !FileSystemFaults::didFire();
                }
                const State now = snapshot(dir / "target");
                if (completed || !threw) {
                    // Only the removal of the replaced version may fail
                    // unreported: the operation itself has succeeded.
                    EXPECT_EQ(now, after);
                    continue;
                }
                // Entirely old, or entirely new when only the flush of the
                // folder after the rename failed (the error is still reported).
                if (now != before) {
                    EXPECT_EQ(now, after);
                    EXPECT_EQ(FileSystemFaults::failedOperation(),
                              FileSystemFaults::Operation::flush);
                }
                if (persistence == Persistence::once) {
                    EXPECT_EQ(temporariesIn(dir.path()), std::vector<std::string>{});
                }
            }
            EXPECT_TRUE(completed) << sweep.name;
        }
        for (const Operation operation : refused)
            FileSystemFaults::allow(operation);
    }
}

TEST(FileSystemFaultsTest, TemporariesAreOwnerOnlyUntilComplete) {
    TemporaryDirectory dir;
    writeFile(dir / "source", "new");
    fs::permissions(dir / "source", fs::perms(0644));
    // Fail the first change of mode and everything after it: what is left is
    // the temporary as it was while being written.
    for (const auto& operation : std::vector<std::function<void()>>{
             [&] { FileManager::writeAtomically(dir / "written", "new"); },
             [&] { FileManager::overwritingCopy(dir / "source", dir / "copied"); }}) {
        for (std::uint64_t n = 1; n < 20; ++n) {
            FileSystemFaults::Scope fault(n, EIO, Persistence::fromThenOn);
            EXPECT_THROW(operation(), fs::filesystem_error);
            if (FileSystemFaults::failedOperation() == FileSystemFaults::Operation::setMode) break;
            for (const auto& name : temporariesIn(dir.path()))
                fs::remove(dir / name);
        }
        const auto left = temporariesIn(dir.path());
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(modeOf(dir / left.front()), 0600u);
        fs::remove(dir / left.front());
    }
}

TEST(FileSystemFaultsTest, AbandonedTemporariesAreThoseOfThisComputerOnly) {
    TemporaryDirectory dir;
    {
        // A crash at the rename leaves the temporary this process made.
        FileSystemFaults::Scope fault(1, EIO, Persistence::fromThenOn);
        for (std::uint64_t n = 1;; ++n) {
            FileSystemFaults::arm(n, EIO, Persistence::fromThenOn);
            EXPECT_THROW(FileManager::writeAtomically(dir / "file", "x"), fs::filesystem_error);
            if (FileSystemFaults::failedOperation() == FileSystemFaults::Operation::rename) break;
            for (const auto& name : temporariesIn(dir.path()))
                fs::remove(dir / name);
        }
    }
    const auto left = temporariesIn(dir.path());
    ASSERT_EQ(left.size(), 1u);
    const std::string own = left.front();
    ASSERT_EQ(own.rfind(".qftmp-", 0), 0u) << own;
    const std::string suffix = own.substr(7);
    ASSERT_EQ(suffix.size(), 40u);
    const std::string name = suffix.substr(0, 8);
    const std::string computer = suffix.substr(8, 8);
    const std::string otherComputer = computer == "00000000" ? "00000001" : "00000000";
    const std::string random = suffix.substr(24);
    // A process number above the system's limit runs nowhere.
    const std::string gone = "7ffffffe";
    const struct {
        std::string name;
        bool abandoned;
    } cases[] = {
        {own, false},  // this process may still be writing it
        {".qftmp-" + name + computer + gone + random, true},
        {".qftmp-" + name + otherComputer + gone + random, false},
        {".qftmp-" + name + computer + "00000001" + random, false},  // a running process
        {".qftmp-" + name + computer + gone + "x" + random.substr(1), false},
        {".qftmp-" + computer + gone + random, false},  // no name hash
        // The longer form that earlier versions made.
        {".file.qftmp-" + computer + gone + random, true},
        {".file.qftmp-" + otherComputer + gone + random, false},
        {".file.qftmp-1234", false},
        {"file", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileManager::isAbandonedTemporaryOfThisComputer(c.name), c.abandoned) << c.name;
}

// A temporary beside an item has the same short name whatever the item's
// name, so that every name the system allows can be written and replaced,
// and still says whose temporary it is.
TEST(FileSystemFaultsTest, TemporaryNamesFitBesideTheLongestNames) {
    TemporaryDirectory dir;
    const std::string longest(255, 'n');
    const fs::path temporary = FileManager::temporarySibling(dir / longest);
    EXPECT_EQ(temporary.parent_path(), dir.path());
    EXPECT_EQ(temporary.filename().string().size(), 47u);
    EXPECT_TRUE(FileManager::isTemporaryName(temporary.filename().string()));
    EXPECT_TRUE(FileManager::isTemporaryNameOf(temporary.filename().string(), longest));
    EXPECT_FALSE(FileManager::isTemporaryNameOf(temporary.filename().string(), "other"));
    EXPECT_TRUE(FileManager::isTemporaryNameOf(".file.qftmp-0123", "file"));
    EXPECT_FALSE(FileManager::isTemporaryNameOf(".file.qftmp-0123", "fil"));

    FileManager::writeAtomically(dir / longest, "old");
    writeFile(dir / "source" / longest, "new");
    FileManager::overwritingCopy(dir / "source" / longest, dir / longest);
    EXPECT_EQ(readFile(dir / longest), "new");
    FileManager::overwritingCopy(dir / "source", dir / longest);
    EXPECT_EQ(readFile(dir / longest / longest), "new");
    EXPECT_EQ(temporariesIn(dir.path()), std::vector<std::string>{});
}

TEST(FileSystemFaultsTest, OwnerOnlyFolderIsExactlyOwnerOnly) {
    TemporaryDirectory dir;
    const mode_t old = ::umask(0277);
    const bool created = FileManager::createOwnerOnlyFolder(dir / "made");
    ::umask(old);
    EXPECT_TRUE(created);
    EXPECT_EQ(modeOf(dir / "made"), 0700u);
    fs::permissions(dir / "made", fs::perms(0750));
    EXPECT_FALSE(FileManager::createOwnerOnlyFolder(dir / "made"));
    EXPECT_EQ(modeOf(dir / "made"), 0750u) << "an existing folder keeps its mode";
    writeFile(dir / "file", "x");
    EXPECT_THROW(FileManager::createOwnerOnlyFolder(dir / "file"), fs::filesystem_error);
}
