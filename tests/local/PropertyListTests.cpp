#include "local/PropertyList.h"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/FakeBundles.h"

namespace quillfen {
namespace {

using testing::binaryFrom;
using testing::xmlPlist;

const std::string kIdentifierXML =
    xmlPlist("<key>CFBundleIdentifier</key><string>com.example.Writer</string>\n");

// A binary list of `count` arrays in which array i refers `references` times to
// array i + 1 (the last one is empty), or, with `cycle`, the last refers back
// to the first. Written by hand: no writer produces such files.
std::string binaryArrayChain(std::size_t count, int references, bool cycle = false) {
    std::string bytes = "bplist00";
    std::vector<std::uint32_t> offsets;
    for (std::size_t i = 0; i < count; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(bytes.size()));
        const bool last = i + 1 == count && !cycle;
        bytes.push_back(char(0xA0 | (last ? 0 : references)));
        for (int r = 0; r < references && !last; ++r) {
            for (int shift = 16; shift >= 0; shift -= 8)
                bytes.push_back(char((i + 1) % count >> shift));
        }
    }
    const std::uint64_t tableOffset = bytes.size();
    for (std::uint32_t offset : offsets) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(char(offset >> shift));
    }
    std::string trailer(32, '\0');
    trailer[6] = 4;  // offset size
    trailer[7] = 3;  // reference size
    for (int k = 0; k < 8; ++k) {
        trailer[8 + k] = char(std::uint64_t(count) >> (56 - 8 * k));
        trailer[24 + k] = char(tableOffset >> (56 - 8 * k));
    }
    return bytes + trailer;
}

// A dictionary with the identifier and `depth` arrays nested under "Nested".
std::string nestedList(std::size_t depth, bool binary) {
    if (binary) {
        plist_t root = plist_new_dict();
        plist_dict_set_item(root, "CFBundleIdentifier", plist_new_string("com.example.Writer"));
        plist_t inner = plist_new_array();
        for (std::size_t i = 1; i < depth; ++i) {
            plist_t outer = plist_new_array();
            plist_array_append_item(outer, inner);
            inner = outer;
        }
        plist_dict_set_item(root, "Nested", inner);
        return binaryFrom(root);
    }
    std::string nested;
    for (std::size_t i = 0; i < depth; ++i)
        nested += "<array>";
    for (std::size_t i = 0; i < depth; ++i)
        nested += "</array>";
    return xmlPlist(
        "<key>CFBundleIdentifier</key><string>com.example.Writer</string>\n"
        "<key>Nested</key>" +
        nested + "\n");
}

TEST(PropertyListTest, ListsWithinTheBoundsAreRead) {
    // Every kind of value a writer produces, and counts past the short form.
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "CFBundleIdentifier", plist_new_string("com.example.Writer"));
    plist_t containers = plist_new_dict();
    for (int i = 0; i < 40; ++i) {
        plist_dict_set_item(containers, ("iCloud.c" + std::to_string(i)).c_str(), plist_new_dict());
    }
    plist_dict_set_item(root, "NSUbiquitousContainers", containers);
    plist_t values = plist_new_array();
    for (int i = 0; i < 20; ++i)
        plist_array_append_item(values, plist_new_uint(1u << i));
    plist_array_append_item(values, plist_new_real(2.5));
    plist_array_append_item(values, plist_new_data("\x01\x02", 2));
    plist_array_append_item(values, plist_new_date(600000000, 0));
    plist_array_append_item(values, plist_new_string("com.example.Writer"));  // shared
    plist_dict_set_item(root, "Values", values);
    const std::string rich = binaryFrom(root);
    EXPECT_EQ(PropertyList::fromData(rich).dictionaryKeys("NSUbiquitousContainers").size(), 40u);

    const std::size_t deepest = PropertyList::maximumDepth - 2;  // below <plist> and the root
    for (const std::string& bytes : {rich, nestedList(deepest, true), nestedList(deepest, false),
                                     binaryArrayChain(10, 2), binaryArrayChain(100, 1)}) {
        EXPECT_FALSE(PropertyList::fromData(bytes).isEmpty());
    }
}

TEST(PropertyListTest, MalformedOrHostileDataGivesNoValues) {
    std::string manyValues = "<plist version=\"1.0\"><array>";
    for (std::size_t i = 0; i <= PropertyList::maximumValueCount; ++i)
        manyValues += "<true/>";
    manyValues += "</array></plist>";
    std::string unclosed = "<plist version=\"1.0\">";  // deep enough to overflow the parser's stack
    for (int i = 0; i < 2000000; ++i)
        unclosed += "<array>";
    const std::string binary = binaryFrom([] {
        plist_t root = plist_new_dict();
        plist_dict_set_item(root, "CFBundleIdentifier", plist_new_string("com.example.Writer"));
        return root;
    }());

    std::vector<std::pair<std::string, std::string>> cases = {
        {"empty", ""},
        {"not a list", "x"},
        {"unterminated", kIdentifierXML.substr(0, kIdentifierXML.size() / 2)},
        {"root is an array", "<plist version=\"1.0\"><array><string>x</string></array></plist>"},
        {"key without value", "<plist><dict><key>CFBundleIdentifier</key></dict></plist>"},
        {"binary garbage", "bplist00" + std::string(40, '\xff')},
        {"zero bytes", std::string(1000, '\0')},
        {"XML one level too deep", nestedList(PropertyList::maximumDepth, false)},
        {"XML two million levels deep", unclosed},
        {"XML too many values", manyValues},
        {"binary one level too deep", nestedList(PropertyList::maximumDepth, true)},
        {"binary a million levels deep", binaryArrayChain(1000000, 1)},
        // 60 arrays each referring twice to the next would unfold into 2^60 arrays.
        {"binary shared references", binaryArrayChain(60, 2)},
        {"binary cycle", binaryArrayChain(3, 1, true)},
        {"binary self-reference", binaryArrayChain(1, 1, true)},
    };
    for (std::size_t length = 0; length + 1 < binary.size(); ++length) {
        cases.emplace_back("binary cut at " + std::to_string(length), binary.substr(0, length));
    }
    for (const auto& [label, bytes] : cases) {
        PropertyList list = PropertyList::fromData(bytes);
        EXPECT_FALSE(list.isDictionary() && list.string("CFBundleIdentifier")) << label;
        EXPECT_TRUE(list.dictionaryKeys("NSUbiquitousContainers").empty()) << label;
    }
}

TEST(PropertyListTest, OnlyRegularFilesWithinTheSizeLimitAreRead) {
    testsupport::TemporaryDirectory folder;
    const auto pipe = folder / "pipe.plist";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);  // a reader that opened it would block
    std::filesystem::create_directory(folder / "folder.plist");
    // A valid list padded with trailing white space to the limit, and one byte past it.
    std::string padded = kIdentifierXML;
    padded.resize(PropertyList::maximumFileSize, ' ');
    testsupport::writeFile(folder / "at-limit.plist", padded);
    testsupport::writeFile(folder / "above-limit.plist", padded + " ");
    std::filesystem::create_symlink(folder / "at-limit.plist", folder / "link.plist");

    for (const char* name : {"missing.plist", "folder.plist", "pipe.plist", "above-limit.plist"}) {
        EXPECT_TRUE(PropertyList::fromFile(folder / name).isEmpty()) << name;
    }
    for (const char* name : {"at-limit.plist", "link.plist"}) {
        EXPECT_EQ(PropertyList::fromFile(folder / name).string("CFBundleIdentifier"),
                  "com.example.Writer")
            << name;
    }
}

}  // namespace
}  // namespace quillfen
