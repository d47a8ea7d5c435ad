#include <gtest/gtest.h>

#include "keel/DateFormatter.h"

using keel::Date;
using keel::DateFormatter;
using Style = DateFormatter::Style;

namespace {
// 2 January 2024, 15:04:05 UTC.
const Date moment = Date::fromUnixTime(1704207845);
}  // namespace

TEST(DateFormatterTest, StylesFollowTheLocaleAndTheTimeZone) {
    EXPECT_EQ(DateFormatter(Style::shortStyle, Style::none, "en_US", "UTC").string(moment),
              "1/2/24");
    EXPECT_EQ(DateFormatter(Style::shortStyle, Style::none, "de_DE", "UTC").string(moment),
              "02.01.24");
    EXPECT_EQ(DateFormatter(Style::mediumStyle, Style::none, "en_GB", "UTC").string(moment),
              "2 Jan 2024");
    // The same moment is already the next day in Tokyo.
    EXPECT_EQ(DateFormatter(Style::shortStyle, Style::none, "en_US", "Asia/Tokyo")
                  .string(Date::fromUnixTime(1704207845 + 10 * 3600)),
              "1/3/24");
    const std::string withTime =
        DateFormatter(Style::shortStyle, Style::shortStyle, "de_DE", "UTC").string(moment);
    EXPECT_NE(withTime.find("02.01.24"), std::string::npos) << withTime;
    EXPECT_NE(withTime.find("15:04"), std::string::npos) << withTime;
    // No style at all still says something: the short date.
    EXPECT_EQ(DateFormatter(Style::none, Style::none, "en_US", "UTC").string(moment), "1/2/24");
}

TEST(DateFormatterTest, ThePosixLocaleWritesEnglish) {
    EXPECT_EQ(DateFormatter(Style::shortStyle, Style::none, "C", "UTC").string(moment), "1/2/24");
    EXPECT_EQ(DateFormatter(Style::shortStyle, Style::none, "en_US_POSIX", "UTC").string(moment),
              "1/2/24");
}
