#include "local/PropertyList.h"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "LocalTestHelpers.h"

namespace quillfen {
namespace {

using testing::binaryPlist;
using testing::xmlPlist;
using testsupport::TemporaryDirectory;
using testsupport::writeFile;

const std::string kTypicalXML = xmlPlist(
    "<key>CFBundleIdentifier</key><string>com.example.Writer</string>\n"
    "<key>CFBundleShortVersionString</key><string>2.1 &amp; more</string>\n"
    "<key>NSUbiquitousContainers</key><dict>\n"
    "  <key>iCloud.com.example.Writer</key><dict/>\n"
    "  <key>iCloud.com.example.Shared</key><dict/>\n"
    "</dict>\n");

TEST(PropertyListTest, ReadsXMLAndBinaryFormsAlike) {
    const std::string binary =
        binaryPlist("com.example.Writer", "2.1 & more",
                    {"iCloud.com.example.Writer", "iCloud.com.example.Shared"});
    for (const std::string& bytes : {kTypicalXML, binary}) {
        PropertyList list = PropertyList::fromData(bytes);
        ASSERT_TRUE(list.isDictionary());
        EXPECT_EQ(list.string("CFBundleIdentifier"), "com.example.Writer");
        EXPECT_EQ(list.string("CFBundleShortVersionString"), "2.1 & more");
        EXPECT_EQ(list.string("Missing"), std::nullopt);
        std::vector<std::string> keys = list.dictionaryKeys("NSUbiquitousContainers");
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(keys, (std::vector<std::string>{"iCloud.com.example.Shared",
                                                  "iCloud.com.example.Writer"}));
    }
}

TEST(PropertyListTest, ValuesOfAnotherTypeCountAsAbsent) {
    PropertyList list = PropertyList::fromData(
        xmlPlist("<key>CFBundleIdentifier</key><integer>42</integer>\n"
                 "<key>CFBundleShortVersionString</key><array><string>1.0</string></array>\n"
                 "<key>NSUbiquitousContainers</key><array><string>iCloud.a</string></array>\n"
                 "<key>Nested</key><string>not a dictionary</string>\n"));
    ASSERT_TRUE(list.isDictionary());
    EXPECT_EQ(list.string("CFBundleIdentifier"), std::nullopt);
    EXPECT_EQ(list.string("CFBundleShortVersionString"), std::nullopt);
    EXPECT_TRUE(list.dictionaryKeys("NSUbiquitousContainers").empty());
    EXPECT_TRUE(list.dictionaryKeys("Nested").empty());

    PropertyList array = PropertyList::fromData(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>");
    EXPECT_FALSE(array.isDictionary());
    EXPECT_EQ(array.string("CFBundleIdentifier"), std::nullopt);
    EXPECT_TRUE(array.dictionaryKeys("NSUbiquitousContainers").empty());
}

TEST(PropertyListTest, MalformedDataGivesNoValues) {
    std::string deepNesting = "<plist version=\"1.0\">";
    for (int i = 0; i < 5000; ++i)
        deepNesting += "<array>";
    std::string unterminated = kTypicalXML.substr(0, kTypicalXML.size() / 2);
    const std::vector<std::string> inputs = {
        "",
        "x",
        "<plist>",
        unterminated,
        "<?xml version=\"1.0\"?><plist><dict><key>A</key></dict></plist>",
        "<?xml version=\"1.0\"?><plist><dict><string>no key</string></dict></plist>",
        std::string("bplist00") + std::string(40, '\xff'),
        std::string("bplist00\0\0\0\0", 12),
        deepNesting,
        std::string(1000, '\0'),
    };
    for (const std::string& bytes : inputs) {
        PropertyList list = PropertyList::fromData(bytes);
        EXPECT_EQ(list.string("CFBundleIdentifier"), std::nullopt) << bytes.substr(0, 60);
        EXPECT_TRUE(list.dictionaryKeys("NSUbiquitousContainers").empty());
    }
}

// A binary list of `count` arrays in which array i refers `references` times to
// array i + 1 (the last one is empty), or, with `cycle`, the last refers back
// to the first. Written by hand: no writer produces such files.
std::string binaryArrayChain(std::size_t count, int references, bool cycle = false) {
    std::string bytes = "bplist00";
    std::vector<std::uint32_t> offsets;
    auto appendReference = [&](std::size_t target) {
        for (int shift = 16; shift >= 0; shift -= 8)
            bytes.push_back(char(target >> shift));
    };
    for (std::size_t i = 0; i < count; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(bytes.size()));
        if (i + 1 == count && !cycle) {
            bytes.push_back(char(0xA0));
            continue;
        }
        bytes.push_back(char(0xA0 | references));
        for (int r = 0; r < references; ++r)
            appendReference((i + 1) % count);
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

std::string binaryFrom(plist_t root) {
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    std::string result(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(root);
    return result;
}

// A dictionary holding the identifier and, under "Nested", `depth` arrays one
// inside the other.
std::string binaryNestedDictionary(std::size_t depth) {
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "CFBundleIdentifier", plist_new_string("com.example.Deep"));
    plist_t inner = plist_new_array();
    for (std::size_t i = 1; i < depth; ++i) {
        plist_t outer = plist_new_array();
        plist_array_append_item(outer, inner);
        inner = outer;
    }
    plist_dict_set_item(root, "Nested", inner);
    return binaryFrom(root);
}

std::string xmlNestedDictionary(std::size_t depth) {
    std::string nested;
    for (std::size_t i = 0; i < depth; ++i)
        nested += "<array>";
    for (std::size_t i = 0; i < depth; ++i)
        nested += "</array>";
    return xmlPlist(
        "<key>CFBundleIdentifier</key><string>com.example.Deep</string>\n"
        "<key>Nested</key>" +
        nested + "\n");
}

TEST(PropertyListTest, ListsWithinTheBoundsAreRead) {
    // Every kind of value a writer produces, counts past the short form, and
    // as much nesting as allowed.
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "CFBundleIdentifier", plist_new_string("com.example.Rich"));
    plist_t containers = plist_new_dict();
    for (int i = 0; i < 40; ++i) {
        plist_dict_set_item(containers, ("iCloud.item" + std::to_string(i)).c_str(),
                            plist_new_dict());
    }
    plist_dict_set_item(root, "NSUbiquitousContainers", containers);
    plist_t values = plist_new_array();
    for (int i = 0; i < 20; ++i)
        plist_array_append_item(values, plist_new_uint(1u << i));
    plist_array_append_item(values, plist_new_real(2.5));
    plist_array_append_item(values, plist_new_bool(0));
    plist_array_append_item(values, plist_new_data("\x01\x02", 2));
    plist_array_append_item(values, plist_new_date(600000000, 0));
    plist_array_append_item(values,
                            plist_new_string("com.example.Rich"));  // shared with the key's value
    plist_dict_set_item(root, "Values", values);
    const std::string rich = binaryFrom(root);

    const std::size_t deepest = PropertyList::maximumDepth - 2;  // below the root dictionary
    for (const std::string& bytes :
         {rich, binaryNestedDictionary(deepest), xmlNestedDictionary(deepest)}) {
        PropertyList list = PropertyList::fromData(bytes);
        EXPECT_TRUE(list.string("CFBundleIdentifier").has_value());
    }
    EXPECT_EQ(PropertyList::fromData(rich).dictionaryKeys("NSUbiquitousContainers").size(), 40u);
}

TEST(PropertyListTest, HostileStructuresAreRefusedBeforeParsing) {
    std::string manyValues = "<plist version=\"1.0\"><array>";
    for (std::size_t i = 0; i <= PropertyList::maximumValueCount; ++i)
        manyValues += "<true/>";
    manyValues += "</array></plist>";
    std::string strayClosers;  // end tags first must not make room for deeper nesting
    for (int i = 0; i < 1000; ++i)
        strayClosers += "</array>";
    strayClosers = xmlPlist(strayClosers + "<key>Nested</key>" +
                            xmlNestedDictionary(PropertyList::maximumDepth + 1));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"XML one level too deep", xmlNestedDictionary(PropertyList::maximumDepth)},
        {"XML a million levels deep", xmlNestedDictionary(1000000)},
        {"XML stray end tags", strayClosers},
        {"XML too many values", manyValues},
        {"binary one level too deep", binaryNestedDictionary(PropertyList::maximumDepth)},
        {"binary a million levels deep", binaryArrayChain(1000000, 1)},
        // 60 arrays, each referring twice to the next, would unfold into 2^60 arrays.
        {"binary shared references", binaryArrayChain(60, 2)},
        {"binary cycle", binaryArrayChain(3, 1, true)},
        {"binary self-reference", binaryArrayChain(1, 1, true)},
    };
    for (const auto& [label, bytes] : cases) {
        PropertyList list = PropertyList::fromData(bytes);
        EXPECT_TRUE(list.isEmpty()) << label;
    }
    // The same shapes, small, are fine.
    EXPECT_FALSE(PropertyList::fromData(binaryArrayChain(10, 2)).isEmpty());
    EXPECT_FALSE(PropertyList::fromData(binaryArrayChain(100, 1)).isEmpty());
}

TEST(PropertyListTest, EveryTruncationOfABinaryListIsHandled) {
    const std::string binary = binaryPlist("com.example.Cut", "1.0", {"iCloud.one", "iCloud.two"});
    for (std::size_t length = 0; length < binary.size(); ++length) {
        PropertyList list = PropertyList::fromData(std::string_view(binary).substr(0, length));
        // Nothing to check but the absence of a crash; values may or may not survive.
        (void)list.string("CFBundleIdentifier");
        (void)list.dictionaryKeys("NSUbiquitousContainers");
    }
    EXPECT_EQ(PropertyList::fromData(binary).string("CFBundleIdentifier"), "com.example.Cut");
}

TEST(PropertyListTest, FilesThatCannotBeReadGiveAnEmptyList) {
    TemporaryDirectory folder;
    const auto missing = folder.path() / "missing.plist";
    const auto directory = folder.path() / "folder.plist";
    std::filesystem::create_directory(directory);
    const auto pipe = folder.path() / "pipe.plist";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);  // a reader that opened it would block

    for (const auto& url : {missing, directory, pipe}) {
        PropertyList list = PropertyList::fromFile(url);
        EXPECT_TRUE(list.isEmpty()) << url;
    }

    const auto link = folder.path() / "link.plist";
    writeFile(folder.path() / "real.plist", kTypicalXML);
    std::filesystem::create_symlink(folder.path() / "real.plist", link);
    EXPECT_EQ(PropertyList::fromFile(link).string("CFBundleIdentifier"), "com.example.Writer");
}

TEST(PropertyListTest, FilesAboveTheSizeLimitAreNotParsed) {
    TemporaryDirectory folder;
    // The same valid list, padded with trailing white space to the limit and one byte past it.
    const auto atLimit = folder.path() / "at-limit.plist";
    const auto aboveLimit = folder.path() / "above-limit.plist";
    std::string padded = kTypicalXML;
    padded.resize(PropertyList::maximumFileSize, ' ');
    writeFile(atLimit, padded);
    padded.push_back(' ');
    writeFile(aboveLimit, padded);

    EXPECT_EQ(PropertyList::fromFile(atLimit).string("CFBundleIdentifier"), "com.example.Writer");
    EXPECT_TRUE(PropertyList::fromFile(aboveLimit).isEmpty());
}

}  // namespace
}  // namespace quillfen
