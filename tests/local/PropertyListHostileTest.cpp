// Binary property lists with values that the system's own writer never
// produces but a hostile or broken bundle can hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "local/PropertyList.h"

namespace quillfen {
namespace {

// A binary list of one dictionary with ASCII string keys and string values,
// written object by object: the dictionary, then each key, then each value. A
// value is written in UTF-16 (each char one code unit) when `utf16` is set.
std::string binaryDictionary(const std::vector<std::pair<std::string, std::string>>& entries,
                             bool utf16 = false) {
    std::string bytes = "bplist00";
    std::vector<std::size_t> offsets;
    const std::size_t count = entries.size();
    offsets.push_back(bytes.size());
    bytes += static_cast<char>(0xD0 | count);
    for (std::size_t i = 0; i < count; ++i)
        bytes += static_cast<char>(1 + i);
    for (std::size_t i = 0; i < count; ++i)
        bytes += static_cast<char>(1 + count + i);
    const auto string = [&](const std::string& text, bool wide) {
        offsets.push_back(bytes.size());
        const int marker = wide ? 0x60 : 0x50;
        if (text.size() < 15) {
            bytes += static_cast<char>(marker | text.size());
        } else {
            bytes += static_cast<char>(marker | 0x0F);
            bytes += static_cast<char>(0x10);
            bytes += static_cast<char>(text.size());
        }
        for (const char c : text) {
            if (wide) bytes += '\0';
            bytes += c;
        }
    };
    for (const auto& entry : entries)
        string(entry.first, false);
    for (const auto& entry : entries)
        string(entry.second, utf16);
    const std::size_t table = bytes.size();
    for (std::size_t offset : offsets)
        bytes += static_cast<char>(offset);
    bytes += std::string(6, '\0');
    bytes += '\x01';  // offset size
    bytes += '\x01';  // reference size
    const auto big = [&](std::uint64_t value) {
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes += static_cast<char>((value >> shift) & 0xFF);
    };
    big(offsets.size());
    big(0);
    big(table);
    return bytes;
}

TEST(PropertyListHostileTest, AStringHoldingANulCharacterIsAbsentAndDoesNotStopTheProcess) {
    const std::string withNul("com.example\0evil", 16);
    const PropertyList list = PropertyList::fromData(binaryDictionary(
        {{"CFBundleIdentifier", withNul}, {"CFBundleShortVersionString", "1.2.3"}}, true));
    ASSERT_TRUE(list.isDictionary());
    EXPECT_EQ(list.string("CFBundleIdentifier"), std::nullopt);
    EXPECT_EQ(list.string("CFBundleShortVersionString"), "1.2.3");
}

}  // namespace
}  // namespace quillfen
