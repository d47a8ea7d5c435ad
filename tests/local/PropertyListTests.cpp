#include "local/PropertyList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
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
