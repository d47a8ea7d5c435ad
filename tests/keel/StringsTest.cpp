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
        // Long ASCII runs are checked eight bytes at a time: what follows or
        // breaks such a run, at and across the boundaries of those blocks.
        {"a sequence across a block boundary",
         "1234567\xE2\x82\xAC"
         "890123456",
         true},
        {"a bad byte after two blocks", "1234567890123456\xE9", false},
        {"a bad byte inside the second block",
         "12345678901\xFF"
         "3456789",
         false},
        {"a sequence cut short by the end after a block", "12345678\xF0\x9F\x98", false},
        {"a sequence cut by ASCII inside a block",
         "\xC3"
         "2345678901234567",
         false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keel::isValidUTF8(c.text), c.valid) << c.name;
}

TEST(StringsTest, TerminalSafeTextEscapesControlsAndBrokenBytesOnly) {
    const struct {
        const char* text;
        const char* safe;
    } cases[] = {
        {"Caf\xC3\xA9 \xE2\x9C\x93", "Caf\xC3\xA9 \xE2\x9C\x93"},  // text stays text
        {"a\nb\tc", "a\\nb\\tc"},
        {"\x1B[2J", "\\x1b[2J"},
        {"del\x7F", "del\\x7f"},
        {"c1 \xC2\x9B", "c1 \\xc2\\x9b"},  // the one-character CSI of C1
        {"Caf\xE9", "Caf\\xe9"},           // Latin-1, no UTF-8
        {"cut \xE2\x9C", "cut \\xe2\\x9c"},
        {"back\\slash", "back\\slash"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keel::terminalSafe(c.text), c.safe) << c.text;
}
