#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "keel/JSONLimits.h"
#include "keel/UserSettings.h"
#include "support/TestSupport.h"

using namespace testsupport;
using keel::JSONLimitError;
using keel::JSONLimits;

namespace {

std::string nested(std::size_t levels, const std::string& inner = "") {
    std::string text;
    for (std::size_t i = 0; i < levels; ++i)
        text += i % 2 ? "{\"k\":" : "[";
    text += inner.empty() ? "1" : inner;
    for (std::size_t i = levels; i-- > 0;)
        text += i % 2 ? "}" : "]";
    return text;
}

std::optional<JSONLimitError::Limit> refusal(const std::string& text, JSONLimits limits = {}) {
    try {
        keel::checkJSONLimits(text, limits);
        return std::nullopt;
    } catch (const JSONLimitError& error) {
        return error.limit();
    }
}

}  // namespace

TEST(JSONLimitsTest, DepthAndSizeAreCountedOnTheTextAsTheParserSeesIt) {
    using Limit = JSONLimitError::Limit;
    struct Case {
        const char* what;
        std::string text;
        std::optional<Limit> expected;
    };
    const std::string brackets(1000, '[');
    std::string siblings = "[";
    for (int i = 0; i < 1000; ++i)
        siblings += "[[[[]]]],";
    siblings += "1]";
    const std::vector<Case> table = {
        {"at the depth limit", nested(64), std::nullopt},
        {"one past the depth limit", nested(65), Limit::depth},
        {"deep but malformed", std::string(100000, '['), Limit::depth},
        {"brackets inside a string", "[\"" + brackets + "\"]", std::nullopt},
        {"an escaped quote keeps the string open", "[\"\\\"" + brackets + "\"]", std::nullopt},
        {"an escaped backslash closes the string", nested(64, "\"\\\\\"") + brackets, Limit::depth},
        {"siblings do not add up", siblings, std::nullopt},
        {"stray closers do not buy depth", std::string(100, ']') + nested(65), Limit::depth},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(refusal(c.text), c.expected);
    }

    EXPECT_EQ(refusal(std::string(100, ' '), {100, 64}), std::nullopt);
    EXPECT_EQ(refusal(std::string(101, ' '), {100, 64}), Limit::size);

    try {
        keel::parseBoundedJSON(nested(65));
        ADD_FAILURE() << "a deep document was parsed";
    } catch (const JSONLimitError& error) {
        EXPECT_NE(std::string(error.what()).find("64 levels"), std::string::npos) << error.what();
    }
    EXPECT_EQ(keel::parseBoundedJSON(nested(64)).is_array(), true);
    EXPECT_THROW(keel::parseBoundedJSON("[1] // comment"), nlohmann::json::parse_error);
}

TEST(JSONLimitsTest, BoundedReadRefusesLargeFilesPipesAndLinksWhenAsked) {
    TemporaryDirectory dir;
    writeFile(dir / "ten", "0123456789");
    EXPECT_EQ(keel::readBoundedFile(dir / "ten", 10), "0123456789");
    EXPECT_THROW(keel::readBoundedFile(dir / "ten", 9), JSONLimitError);

    // A sparse file far past the default bound: refused from its size alone.
    writeFile(dir / "huge", "");
    fs::resize_file(dir / "huge", JSONLimits::defaultMaximumSize + 1);
    EXPECT_THROW(keel::readBoundedFile(dir / "huge"), JSONLimitError);

    // A pipe nobody writes to would block a plain read forever.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_THROW(keel::readBoundedFile(dir / "pipe"), fs::filesystem_error);
    EXPECT_THROW(keel::readBoundedFile(dir.path()), fs::filesystem_error);
    EXPECT_THROW(keel::readBoundedFile("/dev/zero"), fs::filesystem_error);

    fs::create_symlink(dir / "ten", dir / "link");
    EXPECT_EQ(keel::readBoundedFile(dir / "link"), "0123456789");
    EXPECT_THROW(keel::readBoundedFile(dir / "link", 100, false), fs::filesystem_error);
}

class BoundedSettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { settings.setFileURL(file); }
    void TearDown() override { settings.setFileURL(keel::UserSettings::defaultFileURL()); }

    TemporaryDirectory dir;
    fs::path file = dir / "settings.json";
    keel::UserSettings& settings = keel::UserSettings::standard();
};

TEST_F(BoundedSettingsFileTest, RefusedFilesReadAsEmptyAndAreKeptAsideOnWrite) {
    const keel::EvaluedUserSettingKey<bool> flag{"Flag", false};
    const std::string deep = "{\"Flag\": true, \"Deep\": " + nested(64) + "}";
    const std::string fits = "{\"Flag\": true, \"Deep\": " + nested(63) + "}";

    writeFile(file, fits);
    settings.setFileURL(file);
    EXPECT_TRUE(settings.get(flag));

    writeFile(file, deep);
    settings.setFileURL(file);
    EXPECT_FALSE(settings.get(flag));
    settings.set(flag, false);
    EXPECT_EQ(readFile(fs::path(file.string() + ".unreadable")), deep);
    EXPECT_EQ(nlohmann::json::parse(readFile(file)), nlohmann::json({{"Flag", false}}));

    fs::remove(fs::path(file.string() + ".unreadable"));
    fs::resize_file(file, JSONLimits::defaultMaximumSize + 1);
    settings.setFileURL(file);
    EXPECT_FALSE(settings.get(flag));
    settings.set(flag, true);
    EXPECT_EQ(fs::file_size(fs::path(file.string() + ".unreadable")),
              JSONLimits::defaultMaximumSize + 1);
    settings.setFileURL(file);
    EXPECT_TRUE(settings.get(flag));

    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    settings.setFileURL(file);
    EXPECT_FALSE(settings.get(flag));
}
