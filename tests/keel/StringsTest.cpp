#include "keel/Strings.h"

#include <gtest/gtest.h>

#include <string>

TEST(StringsTest, OnlyWellFormedUTF8IsValid) {
    struct Case {
        const char* name;
        std::string text;
        bool valid;
    } cases[] = {
        {"empty", "", true},
        {"ASCII with a NUL", std::string("a\0b", 3), true},
        {"two, three and four bytes", "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true},
        {"the last code point", "\xF4\x8F\xBF\xBF", true},
        {"Latin-1", "Caf\xE9", false},
        {"a lone continuation byte", "\x80", false},
        {"a sequence cut short", "\xE2\x82", false},
        {"a sequence cut by ASCII",
         "\xE2"
         "a\x82",
         false},
        {"an overlong slash", "\xC0\xAF", false},
        {"an overlong three-byte form", "\xE0\x80\xAF", false},
        {"a surrogate", "\xED\xA0\x80", false},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", false},
        {"a five-byte lead", "\xF8\x88\x80\x80\x80", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keel::isValidUTF8(c.text), c.valid) << c.name;
}
