#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "backup/BackupAppItem.h"
#include "backup/BackupDataItem.h"
#include "backup/BackupError.h"
#include "backup/BackupEventItem.h"
#include "backup/BackupExecItem.h"
#include "backup/BackupFileItem.h"
#include "backup/BackupNoteItem.h"
#include "backup/SyncAction.h"
#include "catalog/BackupDecodingError.h"
#include "keel/Host.h"
#include "keel/UUID.h"

using nlohmann::json;
using namespace quillfen;

namespace {

constexpr const char* kUUID = "0F3A6E2C-91B4-4D7E-A5C8-2B1D9E4F6A70";

TEST(SyncActionTest, RawStringsRoundTripAndMatchExactly) {
    const std::vector<std::pair<SyncAction, std::string>> table = {
        {SyncAction::doNothing, "DoNothing"},    {SyncAction::unknown, "Unknown"},
        {SyncAction::multiple, "Multiple"},      {SyncAction::upToDate, "UpToDate"},
        {SyncAction::backUp, "BackUp"},          {SyncAction::install, "Install"},
        {SyncAction::synchronize, "Synchronize"}};
    for (const auto& [action, raw] : table) {
        EXPECT_EQ(rawValue(action), raw);
        EXPECT_EQ(syncActionFromRaw(raw), action) << raw;
    }
    for (const char* raw : {"backup", "BACKUP", "Backup", "BackUp ", "", "Sync"}) {
        EXPECT_EQ(syncActionFromRaw(raw), std::nullopt) << raw;
    }
}

TEST(BackupErrorTest, FixedTextsAndEqualityByCase) {
    using Code = BackupError::Code;
    const std::vector<std::pair<Code, std::string>> table = {
        {Code::autorizationRequired, "An autorization is required to get access to the disk."},
        {Code::noBackupLocation, "The backup file location is not defined."},
        {Code::backupFileIsNotReadable, "The backup file is not readable."},
        {Code::syncActionIsNotSupported, "The performed sync action is not supported."},
        {Code::backupFileIsNotADirectory, "The backup file should be a directory."},
        {Code::backupFileExtensionIsInvalid, "The backup file extension is invalid."},
        {Code::localDataCannotBeWritten,
         "The local data cannot be written by the application. It may due to the sandboxing of "
         "the application."}};
    std::unordered_set<BackupError> distinct;
    for (const auto& [code, text] : table) {
        EXPECT_EQ(std::string(BackupError(code).what()), text);
        distinct.insert(BackupError(code));
        distinct.insert(BackupError(code));
    }
    EXPECT_EQ(distinct.size(), table.size());
    EXPECT_NE(BackupError(Code::noBackupLocation), BackupError(Code::backupFileIsNotReadable));
}

TEST(BackupRecordsTest, NullOrMissingOptionalMembersReadAsAbsentAndAreNotWritten) {
    for (const char* text : {R"({"name": "Hazel", "isEnabled": true})",
                             R"({"name": "Hazel", "isEnabled": true, "comment": null})"}) {
        const auto app = json::parse(text).get<BackupAppItem>();
        EXPECT_EQ(app, (BackupAppItem{"Hazel", true, std::nullopt})) << text;
        EXPECT_FALSE(json(app).contains("comment"));
    }
    const auto data = json::parse(std::string(R"({"uuid": ")") + kUUID +
                                  R"(", "backupDate": 1.5, "originalDate": null})")
                          .get<BackupDataItem>();
    EXPECT_FALSE(data.originalDate);
    EXPECT_FALSE(json(data).contains("originalDate"));
    EXPECT_FALSE(json::parse(R"({"content": null})").get<BackupNoteItem>().content);
    EXPECT_EQ(json(BackupNoteItem{}), json::object());
}

TEST(BackupRecordsTest, RecordsRoundTripAndEscapedSlashesReadAsSlashes) {
    const auto file =
        json::parse(R"({"path": "Library\/Preferences\/a.plist", "isEnabled": false})")
            .get<BackupFileItem>();
    EXPECT_EQ(file.path, "Library/Preferences/a.plist");

    const BackupExecItem exec{"git", true, "ü \"quoted\""};
    EXPECT_EQ(json::parse(json(exec).dump()).get<BackupExecItem>(), exec);
    const BackupEventItem event{SyncAction::synchronize, keel::Date{723456789.123456789}, "Mac"};
    EXPECT_EQ(json(event)["action"], "Synchronize");
    EXPECT_EQ(json::parse(json(event).dump()).get<BackupEventItem>(), event);
}

TEST(BackupRecordsTest, MalformedRecordsAreDecodingErrors) {
    using Decode = std::function<void(const json&)>;
    const Decode app = [](const json& j) { j.get<BackupAppItem>(); };
    const Decode file = [](const json& j) { j.get<BackupFileItem>(); };
    const Decode event = [](const json& j) { j.get<BackupEventItem>(); };
    const Decode data = [](const json& j) { j.get<BackupDataItem>(); };
    const Decode note = [](const json& j) { j.get<BackupNoteItem>(); };
    const std::string uuid = kUUID;
    const std::vector<std::pair<Decode, std::string>> table = {
        {app, R"({"isEnabled": true})"},
        {app, R"({"name": 3, "isEnabled": true})"},
        {app, R"({"name": null, "isEnabled": true})"},
        {app, R"({"name": "A", "isEnabled": "true"})"},
        {app, R"({"name": "A", "isEnabled": 1})"},
        {app, R"({"name": "A", "isEnabled": true, "comment": 7})"},
        {app, R"(["A", true])"},
        {file, R"({"name": "A", "isEnabled": true})"},
        {event, R"({"action": "backUp", "date": 1})"},
        {event, R"({"action": "BACKUP", "date": 1})"},
        {event, R"({"action": "BackUp", "date": "2020-01-01T00:00:00Z"})"},
        {event, R"({"action": "BackUp"})"},
        {data, R"({"backupDate": 1})"},
        {data, R"({"uuid": ")" + uuid + R"(", "backupDate": 1, "originalDate": "x"})"},
        {note, R"({"content": false})"},
        {note, "null"},
    };
    for (const auto& [decode, text] : table) {
        EXPECT_THROW(decode(json::parse(text)), BackupDecodingError) << text;
    }
}

TEST(BackupRecordsTest, DataItemUUIDMustBeAUUIDBecauseItNamesAFile) {
    const std::string uuid = kUUID;
    const std::vector<std::string> hostile = {"../../etc/passwd",
                                              "",
                                              "/tmp/x",
                                              uuid + "x",
                                              uuid + "/../../x",
                                              "../" + uuid,
                                              " " + uuid,
                                              "{" + uuid + "}",
                                              "0F3A6E2C91B44D7EA5C82B1D9E4F6A70",
                                              "0F3A6E2C-91B4-4D7E-A5C8-2B1D9E4F6A7G"};
    for (const auto& value : hostile) {
        const json record = {{"uuid", value}, {"backupDate", 1.0}};
        EXPECT_THROW(record.get<BackupDataItem>(), BackupDecodingError) << value;
    }
    const json lowerCase = {{"uuid", "0f3a6e2c-91b4-4d7e-a5c8-2b1d9e4f6a70"}, {"backupDate", 1.0}};
    EXPECT_NO_THROW(lowerCase.get<BackupDataItem>());
}

TEST(BackupRecordsTest, MadeRecordsAreFreshAndLocal) {
    const keel::Date before = keel::Date::now();
    const auto first = BackupDataItem::make(keel::Date{12.25});
    const auto second = BackupDataItem::make(std::nullopt);
    EXPECT_TRUE(keel::isUUIDString(first.uuid));
    EXPECT_NE(first.uuid, second.uuid);
    for (char c : first.uuid)
        EXPECT_FALSE(c >= 'a' && c <= 'f') << first.uuid;
    EXPECT_EQ(first.originalDate, keel::Date{12.25});
    EXPECT_FALSE(second.originalDate);
    EXPECT_GE(first.backupDate, before);

    const auto event = BackupEventItem::make(SyncAction::backUp);
    EXPECT_EQ(event.action, SyncAction::backUp);
    EXPECT_EQ(event.comment, keel::localizedHostName());
    EXPECT_GE(event.date, before);
}

}  // namespace
