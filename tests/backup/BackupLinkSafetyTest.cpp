// Symbolic links planted in a package, links inside copied folders, and local
// locations that no settings item can have: data copies are never written,
// read or deleted through them, and canary files outside stay untouched.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "backup/BackupFileData.h"
#include "keel/FileManager.h"
#include "support/PackageSnapshot.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace quillfen;
using quillfen::testing::snapshotOf;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

constexpr const char* kName = "3D2C1B0A-9F8E-4D7C-AB6A-5F4E3D2C1B0A";
const std::string kCopyFile = std::string(kName) + ".qfdata";

class BackupLinkSafetyTest : public ::testing::Test {
protected:
    testsupport::TemporaryDirectory dir;
    fs::path package = dir / "Shared.qfbackup";
    fs::path home = dir / "home";
    fs::path outside = dir / "outside";
    testsupport::ScopedEnv homeEnv{"HOME", home.string()};
    testsupport::ScopedEnv dataEnv{"XDG_DATA_HOME", (dir / "support").string()};
    testsupport::ScopedEnv configEnv{"XDG_CONFIG_HOME", (dir / "config").string()};

    void SetUp() override {
        writeFile(home / ".toolrc", "local settings");
        writeFile(home / ".config" / "tool" / "a.conf", "local folder");
        // Where a link planted in the package leads: a file under the copy's
        // own name, which a write, read or delete through the link would hit.
        writeFile(outside / kCopyFile, "canary");
        writeFile(outside / "folder" / "inner.txt", "canary folder");
        fs::create_directories(package / "Data");
    }

    fs::path copy() const { return package / "Data" / kCopyFile; }
};

// Every data copy operation, with what it must leave behind.
struct Operation {
    const char* name;
    std::function<void(BackupFileData&, const fs::path& home)> run;
};

const std::vector<Operation>& allOperations() {
    static const std::vector<Operation> operations = {
        {"store", [](BackupFileData& d, const fs::path& h) { d.storeData(h / ".toolrc", kName); }},
        {"store a folder",
         [](BackupFileData& d, const fs::path& h) { d.storeData(h / ".config" / "tool", kName); }},
        {"restore",
         [](BackupFileData& d, const fs::path& h) { d.restoreData(kName, h / ".toolrc"); }},
        {"restore where nothing is",
         [](BackupFileData& d, const fs::path& h) { d.restoreData(kName, h / ".newrc"); }},
        {"remove", [](BackupFileData& d, const fs::path&) { d.removeData(kName); }},
        {"save",
         [](BackupFileData& d, const fs::path&) {
             d.setNoteItems({BackupNoteItem{"note"}});
             d.write();
         }},
    };
    return operations;
}

TEST_F(BackupLinkSafetyTest, ADataFolderLinkLeadingOutOfThePackageIsNeverFollowed) {
    const std::vector<std::pair<const char*, fs::path>> targets = {
        {"a folder outside", outside},
        {"a relative path outside", fs::path("..") / "outside"},
        {"a missing folder outside", outside / "missing"},
        {"the package itself", "."},
        {"a link to a link outside", package / "Hop"},
    };
    fs::create_symlink(outside, package / "Hop");
    for (const auto& [what, target] : targets) {
        for (const auto& operation : allOperations()) {
            SCOPED_TRACE(std::string(what) + ", " + operation.name);
            fs::remove_all(package / "Data");
            fs::create_directory_symlink(target, package / "Data");
            const auto outsideBefore = snapshotOf(outside);
            const auto homeBefore = snapshotOf(home);
            BackupFileData data(package);
            try {
                operation.run(data, home);
                ADD_FAILURE() << "went through the link";
            } catch (const fs::filesystem_error& error) {
                EXPECT_EQ(error.code(), std::errc::operation_not_permitted) << error.what();
                EXPECT_NE(std::string(error.what()).find("Data"), std::string::npos);
            }
            EXPECT_EQ(snapshotOf(outside), outsideBefore);
            EXPECT_EQ(snapshotOf(home), homeBefore);
            EXPECT_EQ(fs::read_symlink(package / "Data"), target);
        }
    }
}

TEST_F(BackupLinkSafetyTest, ADataFolderLinkToAFolderInsideThePackageIsFollowed) {
    fs::remove_all(package / "Data");
    fs::create_directories(package / "Copies");
    fs::create_directory_symlink("Copies", package / "Data");
    BackupFileData data(package);
    data.storeData(home / ".toolrc", kName);
    EXPECT_EQ(readFile(package / "Copies" / kCopyFile), "local settings");
    data.restoreData(kName, home / "restored");
    EXPECT_EQ(readFile(home / "restored"), "local settings");
    data.removeData(kName);
    EXPECT_FALSE(fs::exists(package / "Copies" / kCopyFile));
    data.setNoteItems({BackupNoteItem{"note"}});
    data.write();
    EXPECT_TRUE(fs::is_symlink(package / "Data"));
}

TEST_F(BackupLinkSafetyTest, ADataCopyThatIsALinkIsReplacedOrRemovedButNeverRestored) {
    for (const fs::path& target : {outside / kCopyFile, outside / "folder"}) {
        SCOPED_TRACE(target.string());
        const auto outsideBefore = snapshotOf(outside);
        const auto homeBefore = snapshotOf(home);
        fs::remove_all(copy());
        fs::create_symlink(target, copy());
        BackupFileData data(package);

        for (const fs::path& local : {home / ".toolrc", home / ".newrc"}) {
            try {
                data.restoreData(kName, local);
                ADD_FAILURE() << "restored a link to " << local;
            } catch (const fs::filesystem_error& error) {
                EXPECT_EQ(error.code(), std::errc::operation_not_permitted) << error.what();
            }
        }
        EXPECT_EQ(snapshotOf(home), homeBefore);

        data.removeData(kName);
        EXPECT_FALSE(fs::exists(fs::symlink_status(copy())));
        fs::create_symlink(target, copy());
        data.storeData(home / ".toolrc", kName);
        EXPECT_FALSE(fs::is_symlink(copy()));
        EXPECT_EQ(readFile(copy()), "local settings");
        EXPECT_EQ(snapshotOf(outside), outsideBefore);
    }
}

TEST_F(BackupLinkSafetyTest, FolderCopiesKeepTheirLinksAndAreNeverWrittenThroughOne) {
    const fs::path local = home / ".config" / "tool";
    fs::create_symlink(outside / "folder", local / "shared");
    fs::create_symlink("a.conf", local / "alias.conf");
    const auto outsideBefore = snapshotOf(outside);

    BackupFileData data(package);
    data.storeData(local, kName);
    EXPECT_EQ(fs::read_symlink(copy() / "shared"), outside / "folder");
    EXPECT_EQ(fs::read_symlink(copy() / "alias.conf"), "a.conf");

    // The local folder now holds, under the names of the copy's entries, links
    // into the canary folder: restoring replaces them, never writes into them.
    fs::remove(local / "alias.conf");
    fs::remove_all(copy() / "shared");
    writeFile(copy() / "shared" / "inner.txt", "from the package");
    fs::create_symlink(outside / "folder" / "inner.txt", local / "alias.conf");
    fs::remove(copy() / "alias.conf");
    writeFile(copy() / "alias.conf", "from the package");
    data.restoreData(kName, local);
    EXPECT_FALSE(fs::is_symlink(local / "shared"));
    EXPECT_EQ(readFile(local / "shared" / "inner.txt"), "from the package");
    EXPECT_FALSE(fs::is_symlink(local / "alias.conf"));
    EXPECT_EQ(snapshotOf(outside), outsideBefore);

    // Restoring a copy that holds links recreates them as links.
    fs::remove_all(copy() / "shared");
    fs::create_symlink(outside / "folder", copy() / "shared");
    data.restoreData(kName, local);
    EXPECT_EQ(fs::read_symlink(local / "shared"), outside / "folder");

    // Deleting a copy, or a folder replaced by a restore, does not follow its links.
    data.restoreData(kName, local);
    data.removeData(kName);
    EXPECT_FALSE(fs::exists(copy()));
    EXPECT_EQ(snapshotOf(outside), outsideBefore);
}

TEST_F(BackupLinkSafetyTest, LocationsThatNoSettingsItemHasAreRefusedBeforeAnythingHappens) {
    // A folder copy exists, so a restore that went ahead would replace
    // whatever it was pointed at.
    writeFile(copy() / "inner.txt", "from the package");
    const std::vector<std::pair<const char*, fs::path>> table = {
        {"the home folder", home},
        {"the home folder with a trailing separator", home.string() + "/"},
        {"a folder containing the home folder", dir.path()},
        {"the root folder", "/"},
        {"a path climbing out of the home folder", home / ".." / "outside" / "folder"},
        {"a path climbing back in", home / ".config" / ".." / ".toolrc"},
        {"a path with a NUL character",
         fs::path((home / ".toolrc").string() + std::string(1, '\0') + "x")},
        {"an empty path", fs::path()},
    };
    for (const auto& [what, location] : table) {
        SCOPED_TRACE(what);
        const auto before = snapshotOf(dir.path());
        BackupFileData data(package);
        EXPECT_THROW(data.restoreData(kName, location), std::invalid_argument);
        EXPECT_THROW(data.storeData(location, kName), std::invalid_argument);
        EXPECT_EQ(snapshotOf(dir.path()), before);
    }
}

TEST_F(BackupLinkSafetyTest, FolderCopyLinksAreRestoredAsLinksOverWhateverIsThere) {
    // Links a folder copy may hold: made from local links, or planted.
    const std::vector<std::pair<const char*, fs::path>> links = {
        {"absolute to a file", outside / kCopyFile},
        {"absolute to a folder", outside / "folder"},
        {"relative, climbing out", fs::path("..") / ".." / ".." / "outside" / "folder"},
        {"the parent folder", ".."},
        {"dangling", outside / "missing"},
    };
    // What the local folder holds under the same names before the restore.
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> locals = {
        {"nothing", [](const fs::path&) {}},
        {"files", [](const fs::path& at) { writeFile(at, "local"); }},
        {"folders", [](const fs::path& at) { writeFile(at / "inner.txt", "local"); }},
        {"links into the canaries",
         [this](const fs::path& at) { fs::create_symlink(outside / "folder" / "inner.txt", at); }},
        {"links to the canary folder",
         [this](const fs::path& at) { fs::create_symlink(outside / "folder", at); }},
    };
    fs::create_directories(copy());
    for (std::size_t i = 0; i < links.size(); ++i)
        fs::create_symlink(links[i].second, copy() / ("link" + std::to_string(i)));
    writeFile(copy() / "plain.txt", "from the package");

    const fs::path local = home / ".config" / "linked";
    for (const auto& [what, make] : locals) {
        SCOPED_TRACE(what);
        fs::remove_all(local);
        fs::create_directories(local);
        for (std::size_t i = 0; i < links.size(); ++i)
            make(local / ("link" + std::to_string(i)));
        const auto outsideBefore = snapshotOf(outside);

        BackupFileData data(package);
        data.restoreData(kName, local);
        for (std::size_t i = 0; i < links.size(); ++i) {
            SCOPED_TRACE(links[i].first);
            const fs::path restored = local / ("link" + std::to_string(i));
            ASSERT_TRUE(fs::is_symlink(restored));
            EXPECT_EQ(fs::read_symlink(restored), links[i].second);
        }
        EXPECT_EQ(readFile(local / "plain.txt"), "from the package");
        EXPECT_EQ(snapshotOf(outside), outsideBefore);

        // Backing the restored folder up again keeps the links as they are.
        data.storeData(local, kName);
        EXPECT_EQ(fs::read_symlink(copy() / "link1"), outside / "folder");
        EXPECT_EQ(snapshotOf(outside), outsideBefore);
    }
}

TEST_F(BackupLinkSafetyTest, ALocalLocationThatIsALinkIsNeitherCopiedNorOverwritten) {
    writeFile(copy(), "from the package");
    const std::vector<std::pair<const char*, fs::path>> targets = {
        {"a file outside", outside / kCopyFile},
        {"a folder outside", outside / "folder"},
        {"a missing file outside", outside / "missing"},
        {"itself", home / ".linkrc"},
    };
    const fs::path local = home / ".linkrc";
    for (const auto& [what, target] : targets) {
        SCOPED_TRACE(what);
        fs::remove(local);
        fs::create_symlink(target, local);
        const auto outsideBefore = snapshotOf(outside);
        const auto packageBefore = snapshotOf(package);
        BackupFileData data(package);
        data.restoreData(kName, local);
        data.storeData(local, kName);
        EXPECT_EQ(fs::read_symlink(local), target);
        EXPECT_EQ(snapshotOf(outside), outsideBefore);
        EXPECT_EQ(snapshotOf(package), packageBefore);
    }
}

// Moving, exporting and importing handle the package as a whole: a planted
// "Data" link travels as a link and is never followed, not even to copy what
// it leads to.
TEST_F(BackupLinkSafetyTest, PackageOperationsCarryAPlantedDataLinkWithoutFollowingIt) {
    const auto plant = [this](const fs::path& at) {
        fs::remove_all(at / "Data");
        fs::create_directories(at);
        fs::create_directory_symlink(outside, at / "Data");
    };
    const auto outsideBefore = snapshotOf(outside);
    const auto expectLinkAt = [this](const fs::path& at) {
        ASSERT_TRUE(fs::is_symlink(at / "Data"));
        EXPECT_EQ(fs::read_symlink(at / "Data"), outside);
    };

    {
        SCOPED_TRACE("move");
        plant(package);
        BackupFileData data(package);
        EXPECT_THROW(data.move(dir / "Moved.qfbackup"), fs::filesystem_error);
        expectLinkAt(package);
    }
    {
        SCOPED_TRACE("export");
        BackupFileData data(package);
        EXPECT_THROW(data.exportPackage(dir / "Exported.qfbackup"), fs::filesystem_error);
        EXPECT_FALSE(fs::exists(dir / "Exported.qfbackup"));
    }
    {
        SCOPED_TRACE("import of a package with a planted link");
        const fs::path planted = dir / "Planted.qfbackup";
        plant(planted);
        writeFile(planted / "Notes.json", R"([{"content": "planted"}])");
        fs::remove_all(package);
        BackupFileData data(package);
        data.importPackage(planted);
        expectLinkAt(package);
        EXPECT_EQ(data.noteItems().at(0).content, "planted");
        EXPECT_THROW(data.removeData(kName), fs::filesystem_error);
        EXPECT_THROW(data.storeData(home / ".toolrc", kName), fs::filesystem_error);
    }
    {
        SCOPED_TRACE("replace by a package with a planted link");
        const fs::path planted = dir / "Planted.qfbackup";
        fs::remove_all(package);
        BackupFileData data(package);
        data.replace(planted);
        EXPECT_THROW(data.restoreData(kName, home / ".toolrc"), fs::filesystem_error);
        EXPECT_EQ(readFile(home / ".toolrc"), "local settings");
    }
    EXPECT_EQ(snapshotOf(outside), outsideBefore);
}

// A crafted record may name the package itself, its "Data" folder, one of
// its files, or a folder around it as the settings path of an item. Restoring
// a copy there replaces the package by the copy and loses every record;
// backing it up copies the package into itself, level after level, until the
// path grows too long. Both must be refused before anything is touched.
TEST_F(BackupLinkSafetyTest, ThePackageAndTheFoldersAroundItAreNoLocalLocations) {
    writeFile(copy() / "inner.txt", "from the package");
    writeFile(package / "Notes.json", R"([{"content": "must stay"}])");
    // A package in the home folder, as the default package is.
    const fs::path inHome = home / ".local" / "share" / "Quillfen" / "Default.qfbackup";
    writeFile(inHome / "Data" / kCopyFile / "inner.txt", "from the package");
    const std::vector<std::tuple<const char*, fs::path, fs::path>> table = {
        {"the package", package, package},
        {"the package with a trailing separator", package, package.string() + "/"},
        {"its Data folder", package, package / "Data"},
        {"one of its files", package, package / "Notes.json"},
        {"the copy itself", package, copy()},
        {"the folder around the package", package, dir.path()},
        {"a folder around a package in the home folder", inHome, home / ".local" / "share"},
        {"a file of the package through a link", package, home / "link.qfbackup" / "Notes.json"},
    };
    fs::create_directory_symlink(package, home / "link.qfbackup");
    for (const auto& [what, at, location] : table) {
        SCOPED_TRACE(what);
        const auto before = snapshotOf(dir.path());
        BackupFileData data(at);
        EXPECT_THROW(data.restoreData(kName, location), std::invalid_argument);
        EXPECT_THROW(data.storeData(location, kName), std::invalid_argument);
        EXPECT_EQ(snapshotOf(dir.path()), before);
    }
}

// One instance checks every path of a run against the same home folder and
// package; a link made during the run, a changed home folder or a moved
// package must still count.
TEST_F(BackupLinkSafetyTest, LaterLinksAndChangedLocationsAreStillRefused) {
    writeFile(package / "Notes.json", R"([{"content": "must stay"}])");
    BackupFileData data(package);
    EXPECT_TRUE(data.storeData(home / ".toolrc", kName));

    fs::create_directory_symlink(package, home / "later.qfbackup");
    EXPECT_THROW(data.storeData(home / "later.qfbackup" / "Notes.json", kName),
                 std::invalid_argument);
    fs::create_directory_symlink(dir.path(), home / "around");
    EXPECT_THROW(data.storeData(home / "around", kName), std::invalid_argument);

    const fs::path otherHome = dir / "other-home";
    writeFile(otherHome / ".toolrc", "other");
    {
        testsupport::ScopedEnv otherHomeEnv{"HOME", otherHome.string()};
        EXPECT_THROW(data.storeData(otherHome, kName), std::invalid_argument);
        EXPECT_TRUE(data.storeData(otherHome / ".toolrc", kName));
    }

    const fs::path moved = dir / "Moved.qfbackup";
    data.move(moved);
    EXPECT_THROW(data.storeData(moved / "Notes.json", kName), std::invalid_argument);
    EXPECT_EQ(readFile(moved / "Notes.json"), R"([{"content": "must stay"}])");

    // The home folder is found through a link that is pointed elsewhere
    // between two runs: the run after the save goes by the new target.
    const fs::path real = dir / "real-home";
    writeFile(real / ".toolrc", "real");
    fs::create_directory_symlink(home, dir / "home-link");
    testsupport::ScopedEnv linkedHomeEnv{"HOME", (dir / "home-link").string()};
    EXPECT_THROW(data.storeData(home, kName), std::invalid_argument);
    data.write();
    fs::remove(dir / "home-link");
    fs::create_directory_symlink(real, dir / "home-link");
    EXPECT_TRUE(data.storeData(home / ".toolrc", kName));
    EXPECT_THROW(data.storeData(real, kName), std::invalid_argument);
}

}  // namespace
