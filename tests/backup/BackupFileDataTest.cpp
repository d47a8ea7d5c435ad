#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "backup/BackupError.h"
#include "backup/BackupFileData.h"
#include "catalog/BackupDecodingError.h"
#include "keel/FileManager.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using nlohmann::json;
using namespace quillfen;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const char* const kListFiles[] = {"Apps.json",    "Execs.json", "Files.json",
                                  "History.json", "Data.json",  "Notes.json"};

class BackupFileDataTest : public ::testing::Test {
protected:
    testsupport::TemporaryDirectory dir;
    fs::path package = dir / "Test.qfbackup";

    static std::vector<std::string> namesIn(const fs::path& file, const char* key) {
        std::vector<std::string> names;
        for (const auto& record : json::parse(readFile(file)))
            names.push_back(record[key].get<std::string>());
        return names;
    }
};

TEST_F(BackupFileDataTest, NewLocationOpensEmptyAndFirstSaveWritesOnlyChangedLists) {
    BackupFileData data(package);
    EXPECT_TRUE(data.appItems().empty() && data.execItems().empty() && data.fileItems().empty());
    EXPECT_TRUE(data.eventItems().empty() && data.dataItems().empty() && data.noteItems().empty());
    EXPECT_FALSE(fs::exists(package));

    data.mutableAppItems()["Hazel"] = {"Hazel", true, std::nullopt};
    data.setNoteItems({BackupNoteItem{"# Hello"}});
    EXPECT_TRUE(data.needsToWriteAppItems() && data.needsToWriteNoteItems());
    EXPECT_FALSE(data.needsToWriteExecItems() || data.needsToWriteDataItems());
    data.write();

    EXPECT_TRUE(fs::is_directory(package / "Data"));
    for (const char* file : kListFiles) {
        const bool expected = std::string(file) == "Apps.json" || std::string(file) == "Notes.json";
        EXPECT_EQ(fs::exists(package / file), expected) << file;
    }
    EXPECT_FALSE(data.needsToWriteAppItems() || data.needsToWriteNoteItems());

    BackupFileData reopened(package);
    EXPECT_EQ(reopened.appItems(), data.appItems());
    EXPECT_EQ(reopened.noteItems(), data.noteItems());
}

TEST_F(BackupFileDataTest, PackageWithOnlyAppsKeepsTheLaterOfTwoRecordsWithOneName) {
    writeFile(package / "Apps.json", R"([{"name": "A", "isEnabled": true},
        {"name": "B", "isEnabled": false, "comment": "b"},
        {"name": "A", "isEnabled": false, "comment": "later"}])");
    writeFile(package / "Other.txt", "untouched");
    BackupFileData data(package);
    EXPECT_EQ(data.appItems().size(), 2u);
    EXPECT_EQ(data.appItems().at("A"), (BackupAppItem{"A", false, "later"}));
    EXPECT_TRUE(data.execItems().empty() && data.eventItems().empty() && data.dataItems().empty());

    data.mutableExecItems();
    data.write();
    EXPECT_EQ(readFile(package / "Other.txt"), "untouched");
}

TEST_F(BackupFileDataTest, InvalidLocationsDoNotOpen) {
    using Code = BackupError::Code;
    fs::create_directories(dir / "Upper.QFBACKUP");
    fs::create_directories(dir / "Plain");
    writeFile(dir / "File.qfbackup", "{}");
    const std::vector<std::pair<fs::path, Code>> table = {
        {dir / "Upper.QFBACKUP", Code::backupFileExtensionIsInvalid},
        {dir / "Plain", Code::backupFileExtensionIsInvalid},
        {dir / "Missing.qfbackupx", Code::backupFileExtensionIsInvalid},
        {dir / ".qfbackup", Code::backupFileExtensionIsInvalid},
        {dir / "File.qfbackup", Code::backupFileIsNotADirectory},
    };
    for (const auto& [location, code] : table) {
        try {
            BackupFileData data(location);
            ADD_FAILURE() << location << " opened";
        } catch (const BackupError& error) {
            EXPECT_EQ(error.code(), code) << location;
        }
    }
    EXPECT_EQ(BackupFileData(dir / "Slash.qfbackup/").url(), dir / "Slash.qfbackup");
}

TEST_F(BackupFileDataTest, UndecodableFilesFailOpeningWithTheirPath) {
    const std::vector<std::pair<std::string, std::string>> table = {
        {"History.json", R"([{"action": "backUp", "date": 1}])"},
        {"Apps.json", R"([{"name": "A", "isEnabled": true},)"},
        {"Apps.json", R"({"name": "A", "isEnabled": true})"},
        {"Execs.json", ""},
        {"Data.json", R"({"a": {"uuid": "../../../etc/passwd", "backupDate": 1}})"},
        {"Data.json", "[]"},
        {"Notes.json", R"([{"content": 1}])"},
    };
    for (const auto& [file, content] : table) {
        fs::remove_all(package);
        writeFile(package / file, content);
        try {
            BackupFileData data(package);
            ADD_FAILURE() << file << " read: " << content;
        } catch (const BackupDecodingError& error) {
            EXPECT_EQ(error.file(), package / file);
            EXPECT_NE(std::string(error.what()).find(file), std::string::npos) << error.what();
        }
        EXPECT_EQ(readFile(package / file), content);
    }
}

TEST_F(BackupFileDataTest, FileDatesRoundTripExactlyThroughThePackage) {
    const std::vector<std::pair<time_t, long>> stamps = {
        {1700000000, 123456789}, {1234567890, 1}, {978307200, 999999999}, {1600000000, 0}};
    BackupFileData data(package);
    for (std::size_t i = 0; i < stamps.size(); ++i) {
        const fs::path local = dir / ("local" + std::to_string(i));
        writeFile(local, "x");
        testsupport::setModifyDate(local, stamps[i].first, stamps[i].second);
        const auto date = keel::FileManager::modifyDateForFile(local);
        ASSERT_TRUE(date);
        data.mutableDataItems()[local.string()] = BackupDataItem::make(date);
        data.mutableEventItems().push_back({SyncAction::backUp, *date, std::nullopt});
    }
    data.write();

    BackupFileData reopened(package);
    EXPECT_EQ(reopened.dataItems(), data.dataItems());
    EXPECT_EQ(reopened.eventItems(), data.eventItems());
    for (std::size_t i = 0; i < stamps.size(); ++i) {
        const fs::path local = dir / ("local" + std::to_string(i));
        EXPECT_EQ(reopened.dataItems().at(local.string()).originalDate,
                  keel::FileManager::modifyDateForFile(local));
    }
}

TEST_F(BackupFileDataTest, KeyedListsAreWrittenInFinderOrder) {
    BackupFileData data(package);
    for (const char* name : {"App 10", "banana", "App 2", "apple", "App 1"}) {
        data.mutableAppItems()[name] = {name, true, std::nullopt};
        data.mutableFileItems()[name] = {name, true, std::nullopt};
    }
    data.write();
    const std::vector<std::string> expected = {"App 1", "App 2", "App 10", "apple", "banana"};
    EXPECT_EQ(namesIn(package / "Apps.json", "name"), expected);
    EXPECT_EQ(namesIn(package / "Files.json", "path"), expected);
}

TEST_F(BackupFileDataTest, FailedSaveKeepsUnwrittenListsFlaggedAndRetriesExactlyThem) {
    BackupFileData data(package);
    data.mutableAppItems()["A"] = {"A", true, std::nullopt};
    data.mutableExecItems()["git"] = {"git", true, std::nullopt};
    data.mutableFileItems()[".zshrc"] = {".zshrc", true, std::nullopt};
    data.mutableEventItems().push_back(BackupEventItem::make(SyncAction::backUp));
    writeFile(package / "Files.json" / "blocker", "");  // a folder cannot be replaced by a file

    EXPECT_THROW(data.write(), fs::filesystem_error);
    EXPECT_TRUE(fs::is_regular_file(package / "Apps.json"));
    EXPECT_TRUE(fs::is_regular_file(package / "Execs.json"));
    EXPECT_FALSE(fs::exists(package / "History.json"));
    EXPECT_FALSE(data.needsToWriteAppItems() || data.needsToWriteExecItems());
    EXPECT_TRUE(data.needsToWriteFileItems() && data.needsToWriteEventItems());

    fs::remove_all(package / "Files.json");
    writeFile(package / "Apps.json", "[]");  // must not be written again
    data.write();
    EXPECT_EQ(readFile(package / "Apps.json"), "[]");
    EXPECT_EQ(namesIn(package / "Files.json", "path"), std::vector<std::string>{".zshrc"});
    EXPECT_TRUE(fs::is_regular_file(package / "History.json"));
    EXPECT_FALSE(data.needsToWriteFileItems() || data.needsToWriteEventItems());
}

TEST_F(BackupFileDataTest, FailedWriteKeepsThePreviousFile) {
    BackupFileData data(package);
    data.mutableAppItems()["Small"] = {"Small", true, std::nullopt};
    data.write();
    const std::string before = readFile(package / "Apps.json");

    data.mutableAppItems()["Big"] = {"Big", true, std::string(64 * 1024, 'x')};
    {
        testsupport::ScopedFileSizeLimit limit(16 * 1024);
        EXPECT_THROW(data.write(), fs::filesystem_error);
    }
    EXPECT_EQ(readFile(package / "Apps.json"), before);
    EXPECT_TRUE(data.needsToWriteAppItems());
}

TEST_F(BackupFileDataTest, ReadStopsAtTheFirstBadFile) {
    BackupFileData data(package);
    data.setAppItems({{"Old", {"Old", true, std::nullopt}}});
    data.setFileItems({{"old", {"old", true, std::nullopt}}});
    writeFile(package / "Apps.json", R"([{"name": "New", "isEnabled": false}])");
    writeFile(package / "Execs.json", "not json");

    EXPECT_THROW(data.read(), BackupDecodingError);
    EXPECT_EQ(data.appItems().count("New"), 1u);
    EXPECT_FALSE(data.needsToWriteAppItems());
    EXPECT_EQ(data.fileItems().count("old"), 1u);
    EXPECT_TRUE(data.needsToWriteFileItems());
}

}  // namespace
