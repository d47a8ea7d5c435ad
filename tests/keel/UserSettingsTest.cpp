#include <gtest/gtest.h>

#include "keel/LocalizedString.h"
#include "keel/NoteSubscriber.h"
#include "keel/UserSettings.h"
#include "support/TestSupport.h"

using namespace testsupport;
using keel::EvaluedUserSettingKey;
using keel::OptionalUserSettingKey;
using keel::UserSettings;

class UserSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { settings.setFileURL(file); }
    void TearDown() override { settings.setFileURL(UserSettings::defaultFileURL()); }

    TemporaryDirectory dir;
    fs::path file = dir / "config" / "Quillfen" / "settings.json";
    UserSettings& settings = UserSettings::standard();
};

TEST_F(UserSettingsTest, EveryValueTypeRoundTripsThroughTheFile) {
    const EvaluedUserSettingKey<bool> flag{"Flag", false};
    const EvaluedUserSettingKey<std::int64_t> count{"Count", 0};
    const OptionalUserSettingKey<std::string> text{"Text"};
    const OptionalUserSettingKey<keel::Date> date{"Date"};
    const OptionalUserSettingKey<fs::path> url{"URL"};
    const OptionalUserSettingKey<keel::Data> data{"Data"};
    const EvaluedUserSettingKey<std::vector<fs::path>> urls{"URLs", {}};

    EXPECT_FALSE(settings.get(flag));
    EXPECT_FALSE(settings.get(text));
    settings.set(flag, true);
    settings.set(count, std::int64_t{-42});
    settings.set(text, std::optional<std::string>("héllo"));
    settings.set(date, std::optional(keel::Date{786543210.123456789}));
    settings.set(url, std::optional(fs::path("/home/u/A.qfbackup")));
    settings.set(data, std::optional(keel::Data{0, 1, 2, 250, 255}));
    settings.set(urls, std::vector<fs::path>{"/a", "/b c"});

    settings.setFileURL(file);  // forget and read back from disk
    EXPECT_TRUE(settings.get(flag));
    EXPECT_EQ(settings.get(count), -42);
    EXPECT_EQ(settings.get(text), "héllo");
    EXPECT_EQ(settings.get(date), keel::Date{786543210.123456789});
    EXPECT_EQ(settings.get(url), fs::path("/home/u/A.qfbackup"));
    EXPECT_EQ(settings.get(data), (keel::Data{0, 1, 2, 250, 255}));
    EXPECT_EQ(settings.get(urls), (std::vector<fs::path>{"/a", "/b c"}));

    settings.set(text, std::optional<std::string>());
    EXPECT_FALSE(settings.get(text));
}

TEST_F(UserSettingsTest, RegisteredDefaultsApplyUntilAValueIsStored) {
    const EvaluedUserSettingKey<bool> key{"EnableNoteAfterProcessingTest", false};
    settings.registerDefault(EvaluedUserSettingKey<bool>{key.name, true});
    EXPECT_TRUE(settings.get(key));
    settings.set(key, false);
    EXPECT_FALSE(settings.get(key));
}

TEST_F(UserSettingsTest, AValueOfTheWrongTypeReadsAsTheDefault) {
    writeFile(file, R"({"Count": "not a number", "URLs": ["/a", 3]})");
    settings.setFileURL(file);
    EXPECT_EQ(settings.get(EvaluedUserSettingKey<std::int64_t>{"Count", 7}), 7);
    EXPECT_TRUE(settings.get(EvaluedUserSettingKey<std::vector<fs::path>>{"URLs", {}}).empty());
}

TEST_F(UserSettingsTest, AnUnreadableFileIsKeptAsideBeforeItIsOverwritten) {
    writeFile(file, "{ this is not json");
    settings.setFileURL(file);
    const EvaluedUserSettingKey<bool> key{"Flag", false};
    EXPECT_FALSE(settings.get(key));
    settings.set(key, true);
    EXPECT_EQ(readFile(fs::path(file.string() + ".unreadable")), "{ this is not json");
    settings.setFileURL(file);
    EXPECT_TRUE(settings.get(key));
}

TEST_F(UserSettingsTest, KeysWrittenByAnotherProcessAreKept) {
    const EvaluedUserSettingKey<bool> mine{"Mine", false};
    settings.set(mine, true);
    // Another process adds a key behind our back.
    writeFile(file, R"({"Mine": true, "Theirs": "kept"})");
    settings.set(EvaluedUserSettingKey<bool>{"Other", false}, true);
    settings.setFileURL(file);
    EXPECT_EQ(settings.get(OptionalUserSettingKey<std::string>{"Theirs"}), "kept");
    EXPECT_TRUE(settings.get(mine));
}

TEST_F(UserSettingsTest, StoringWhatTheFileHoldsLeavesTheFileAlone) {
    const EvaluedUserSettingKey<bool> flag{"Flag", false};
    const OptionalUserSettingKey<std::string> text{"Text"};
    // Written by hand, in a layout a rewrite would change.
    const std::string handWritten = R"({"Flag":true,"Other":1})";
    writeFile(file, handWritten);
    settings.set(flag, true);
    settings.set(text, std::optional<std::string>());  // absent already
    EXPECT_EQ(readFile(file), handWritten);

    // A value another process changed or removed on disk is written again,
    // even though this process last stored the same one.
    settings.set(text, std::optional<std::string>("mine"));
    writeFile(file, R"({"Flag":true})");
    settings.set(text, std::optional<std::string>("mine"));
    settings.setFileURL(file);
    EXPECT_EQ(settings.get(text), "mine");
    EXPECT_TRUE(settings.get(flag));
    settings.set(flag, false);
    settings.setFileURL(file);
    EXPECT_FALSE(settings.get(flag));

    // Without a file, even a default-valued store makes one.
    fs::remove(file);
    settings.set(flag, false);
    EXPECT_TRUE(fs::exists(file));
}

TEST_F(UserSettingsTest, EveryWritePostsTheEditedKeyName) {
    std::vector<std::string> names;
    keel::NoteSubscriber subscriber;
    subscriber.subscribe(
        {UserSettings::didEditKeyNotification}, nullptr,
        [&](const keel::Notification& n) { names.push_back(UserSettings::editedKeyName(n)); });
    settings.set(EvaluedUserSettingKey<bool>{"A", false}, true);
    settings.set(OptionalUserSettingKey<std::string>{"B"}, std::optional<std::string>());
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
}

TEST(LocalizedStringTest, UnknownKeysGiveThemselvesAndArgumentsAreFormatted) {
    EXPECT_EQ(keel::LocalizedString("NoSuchKeyAnywhere"), "NoSuchKeyAnywhere");
    EXPECT_EQ(keel::formatLocalized("%@ has %d items, %lu left, 100%%",
                                    {std::string("Vim"), std::int64_t{3}, std::uint64_t{2}}),
              "Vim has 3 items, 2 left, 100%");
    EXPECT_EQ(keel::formatLocalized("%2$@ before %1$@", {std::string("b"), std::string("a")}),
              "a before b");
    EXPECT_EQ(keel::formatLocalized("missing %@", {}), "missing ");
    EXPECT_EQ(keel::TL("NoSuchKey %@ %ld", "x", 5L), "NoSuchKey x 5");
}
