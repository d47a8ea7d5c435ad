#include <gtest/gtest.h>

#include <string>

#include "backup/BackupError.h"
#include "backup/BackupFileData.h"
#include "catalog/BackupDecodingError.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace quillfen;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class BackupPackageOperationsTest : public ::testing::Test {
protected:
    testsupport::TemporaryDirectory dir;
    fs::path package = dir / "Mine.qfbackup";
    fs::path other = dir / "Other.qfbackup";

    void SetUp() override {
        writeFile(package / "Apps.json", R"([{"name": "Mine", "isEnabled": true}])");
        writeFile(package / "Data" / "extra.txt", "mine");
        writeFile(other / "Apps.json", R"([{"name": "Other", "isEnabled": true}])");
        writeFile(other / "Data" / "other.txt", "other");
    }

    // An unsaved change, which every operation must save first.
    static void addPendingChange(BackupFileData& data) {
        data.mutableExecItems()["git"] = {"git", true, std::nullopt};
    }

    static void expectMinePackageAt(const fs::path& location) {
        EXPECT_EQ(BackupFileData(location).appItems().count("Mine"), 1u) << location;
        EXPECT_EQ(readFile(location / "Data" / "extra.txt"), "mine");
    }
};

TEST_F(BackupPackageOperationsTest, MoveSavesThenMovesAndAdoptsTheLocation) {
    BackupFileData data(package);
    addPendingChange(data);
    const fs::path target = dir / "Moved.qfbackup";
    writeFile(target / "stale", "");
    data.move(target);
    EXPECT_EQ(data.url(), target);
    EXPECT_FALSE(fs::exists(package));
    EXPECT_FALSE(fs::exists(target / "stale"));
    expectMinePackageAt(target);
    EXPECT_EQ(BackupFileData(target).execItems().count("git"), 1u);

    data.move(target);  // onto itself: nothing to do
    expectMinePackageAt(target);
}

TEST_F(BackupPackageOperationsTest, MoveThatWouldDestroyThePackageIsRefused) {
    BackupFileData data(package);
    addPendingChange(data);
    EXPECT_THROW(data.move(dir / "Moved"), BackupError);
    EXPECT_THROW(data.move(package / "Data" / "Inner.qfbackup"), fs::filesystem_error);
    fs::create_symlink(package, dir / "Link.qfbackup");
    EXPECT_THROW(data.move(dir / "Link.qfbackup"), fs::filesystem_error);
    EXPECT_EQ(data.url(), package);
    expectMinePackageAt(package);
}

TEST_F(BackupPackageOperationsTest, ReplaceAdoptsTheOtherPackageOnlyWhenItOpens) {
    BackupFileData data(package);
    addPendingChange(data);
    writeFile(other / "History.json", R"([{"action": "backup", "date": 1}])");
    EXPECT_THROW(data.replace(other), BackupDecodingError);
    writeFile(dir / "File.qfbackup", "");
    EXPECT_THROW(data.replace(dir / "File.qfbackup"), BackupError);
    EXPECT_THROW(data.replace(dir / "NoExtension"), BackupError);
    EXPECT_EQ(data.url(), package);
    EXPECT_EQ(data.appItems().count("Mine"), 1u);
    EXPECT_EQ(data.execItems().count("git"), 1u);

    fs::remove(other / "History.json");
    data.replace(other);
    EXPECT_EQ(data.url(), other);
    EXPECT_EQ(data.appItems().count("Other"), 1u);
    EXPECT_TRUE(data.execItems().empty());
    EXPECT_FALSE(data.needsToWriteExecItems());
    EXPECT_EQ(BackupFileData(package).execItems().count("git"), 1u);  // saved before leaving
}

TEST_F(BackupPackageOperationsTest, ImportReplacesThePackageWithACopy) {
    BackupFileData data(package);
    addPendingChange(data);
    data.importPackage(other);
    EXPECT_EQ(data.url(), package);
    EXPECT_EQ(data.appItems().count("Other"), 1u);
    EXPECT_TRUE(data.execItems().empty());
    EXPECT_EQ(readFile(package / "Data" / "other.txt"), "other");
    EXPECT_FALSE(fs::exists(package / "Data" / "extra.txt"));
    EXPECT_TRUE(fs::exists(other / "Apps.json"));
}

TEST_F(BackupPackageOperationsTest, FailedImportLeavesThePackageIntact) {
    BackupFileData data(package);
    addPendingChange(data);
    writeFile(dir / "File.qfbackup", "");
    EXPECT_THROW(data.importPackage(dir / "File.qfbackup"), BackupError);
    EXPECT_THROW(data.importPackage(dir / "Missing.qfbackup"), fs::filesystem_error);
    EXPECT_THROW(data.importPackage(dir.path()), fs::filesystem_error);

    writeFile(other / "Notes.json", "[");
    EXPECT_THROW(data.importPackage(other), BackupDecodingError);
    fs::remove(other / "Notes.json");

    // A copy that fails part-way, on a file too large to be written.
    writeFile(other / "Data" / "large.qfdata", std::string(256 * 1024, 'x'));
    {
        testsupport::ScopedFileSizeLimit limit(64 * 1024);
        EXPECT_THROW(data.importPackage(other), fs::filesystem_error);
    }
    EXPECT_EQ(data.appItems().count("Mine"), 1u);
    expectMinePackageAt(package);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3);  // no leftovers
}

TEST_F(BackupPackageOperationsTest, ExportCopiesTheSavedPackageAndKeepsTheLocation) {
    BackupFileData data(package);
    addPendingChange(data);
    data.exportPackage(other);
    EXPECT_EQ(data.url(), package);
    expectMinePackageAt(other);
    EXPECT_EQ(BackupFileData(other).execItems().count("git"), 1u);
    EXPECT_FALSE(fs::exists(other / "Data" / "other.txt"));

    EXPECT_THROW(data.exportPackage(dir.path()), fs::filesystem_error);
    EXPECT_THROW(data.exportPackage(package), fs::filesystem_error);
    EXPECT_THROW(data.exportPackage(package / "Data" / "Copy.qfbackup"), fs::filesystem_error);
    expectMinePackageAt(package);
}

}  // namespace
