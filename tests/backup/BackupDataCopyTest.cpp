#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "backup/BackupError.h"
#include "backup/BackupFileData.h"
#include "keel/FileManager.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace quillfen;
using keel::FileManager;
using testsupport::modeOf;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

constexpr const char* kName = "6B0E2F1A-3C4D-4E5F-8A9B-0C1D2E3F4A5B";

class BackupDataCopyTest : public ::testing::Test {
protected:
    testsupport::TemporaryDirectory dir;
    fs::path home = dir / "home";
    BackupFileData data{dir / "Test.qfbackup"};

    fs::path copyOf(const std::string& name) const {
        return data.url() / "Data" / (name + ".qfdata");
    }
};

// Creates a file or a folder holding a file, with given modes and dates.
void makeLocalItem(const fs::path& item, bool folder) {
    if (folder) {
        writeFile(item / "inner.conf", "inner");
        fs::permissions(item / "inner.conf", fs::perms(0600));
        testsupport::setModifyDate(item / "inner.conf", 1500000000, 111);
        fs::permissions(item, fs::perms(0750));
    } else {
        writeFile(item, "settings");
        fs::permissions(item, fs::perms(0640));
    }
    testsupport::setModifyDate(item, 1600000000, 987654321);
}

void expectSameItem(const fs::path& a, const fs::path& b) {
    EXPECT_EQ(modeOf(a), modeOf(b));
    EXPECT_EQ(FileManager::modifyDateForFile(a), FileManager::modifyDateForFile(b));
    if (fs::is_directory(a)) {
        expectSameItem(a / "inner.conf", b / "inner.conf");
    } else {
        EXPECT_EQ(readFile(a), readFile(b));
    }
}

TEST_F(BackupDataCopyTest, StoreAndRestoreKeepContentsModesAndDates) {
    for (const bool folder : {false, true}) {
        SCOPED_TRACE(folder ? "folder" : "file");
        const fs::path local = home / (folder ? ".config/tool" : ".toolrc");
        makeLocalItem(local, folder);
        const fs::path original = dir / "original";
        FileManager::overwritingCopy(local, original);

        data.storeData(local, kName);
        expectSameItem(copyOf(kName), original);

        if (folder) {
            writeFile(local / "inner.conf", "changed");
        } else {
            writeFile(local, "changed");
        }
        data.restoreData(kName, local);
        expectSameItem(local, original);
        fs::remove_all(original);
    }
}

TEST_F(BackupDataCopyTest, StoringTwiceKeepsOneCopyAndMissingThingsAreNoErrors) {
    const fs::path local = home / ".toolrc";
    writeFile(local, "first");
    data.storeData(local, kName);
    writeFile(local, "second");
    data.storeData(local, kName);
    EXPECT_EQ(readFile(copyOf(kName)), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(data.url() / "Data"), {}), 1);

    data.removeData(kName);
    EXPECT_FALSE(fs::exists(copyOf(kName)));
    EXPECT_NO_THROW(data.removeData(kName));

    EXPECT_NO_THROW(data.storeData(home / "missing", kName));
    EXPECT_FALSE(fs::exists(copyOf(kName)));
    // A record whose copy is gone cannot be installed, and says so.
    EXPECT_THROW(data.restoreData(kName, local), BackupError);
    EXPECT_EQ(readFile(local), "second");
}

TEST_F(BackupDataCopyTest, AliasesAreNeitherCopiedNorOverwritten) {
    const fs::path target = home / "target";
    const fs::path link = home / ".toolrc";
    writeFile(target, "target");
    fs::create_symlink(target, link);

    data.storeData(link, kName);
    EXPECT_FALSE(fs::exists(fs::symlink_status(copyOf(kName))));

    writeFile(copyOf(kName), "stored");
    data.restoreData(kName, link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), "target");
}

TEST_F(BackupDataCopyTest, RestoringCreatesParentsAndPutsAFolderWhereNothingWas) {
    writeFile(copyOf(kName), "stored");
    data.restoreData(kName, home / "new/deep/file");
    EXPECT_EQ(readFile(home / "new/deep/file"), "stored");

    // A settings folder installed on a computer that does not have it yet.
    fs::remove(copyOf(kName));
    writeFile(copyOf(kName) / "inner", "stored");
    data.restoreData(kName, home / "new/folder");
    EXPECT_EQ(readFile(home / "new/folder/inner"), "stored");
}

TEST_F(BackupDataCopyTest, AFolderIsNotRestoredOverALocalFolderThatCannotBeWritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write anything";
    writeFile(copyOf(kName) / "inner", "stored");
    writeFile(home / "locked" / "mine", "mine");
    fs::permissions(home / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    try {
        data.restoreData(kName, home / "locked");
        ADD_FAILURE() << "restored over a folder that cannot be written";
    } catch (const BackupError& error) {
        EXPECT_EQ(error.code(), BackupError::Code::localDataCannotBeWritten);
    }
    EXPECT_EQ(readFile(home / "locked" / "mine"), "mine");
}

TEST_F(BackupDataCopyTest, CopyNamesThatAreNotUUIDsAreRefused) {
    // Without the check, "../../victim" would reach dir/victim.qfdata.
    writeFile(dir / "victim.qfdata", "victim");
    writeFile(home / ".toolrc", "local");
    const std::string uuid = kName;
    for (const std::string& name :
         {std::string("../../victim"), std::string(""), std::string("/tmp/x"), uuid + "x",
          uuid + "/../../../victim", std::string("..")}) {
        EXPECT_THROW(data.removeData(name), std::invalid_argument) << name;
        EXPECT_THROW(data.storeData(home / ".toolrc", name), std::invalid_argument) << name;
        EXPECT_THROW(data.restoreData(name, home / ".toolrc"), std::invalid_argument) << name;
    }
    EXPECT_EQ(readFile(dir / "victim.qfdata"), "victim");
    EXPECT_EQ(readFile(home / ".toolrc"), "local");
}

}  // namespace
