#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "LocalTestHelpers.h"
#include "local/LocalAppItem.h"
#include "local/LocalFileItem.h"

namespace quillfen {
namespace {

using testing::binaryPlist;
using testing::makeBundle;
using testing::xmlPlist;
using testsupport::TemporaryDirectory;
namespace fs = std::filesystem;

TEST(LocalAppItemTest, ReadsTheBundleDescription) {
    TemporaryDirectory folder;
    const fs::path xmlBundle = folder.path() / "My.Writer.app";
    makeBundle(xmlBundle,
               xmlPlist("<key>CFBundleIdentifier</key><string>com.example.Writer</string>\n"
                        "<key>CFBundleShortVersionString</key><string>3.2</string>\n"
                        "<key>CFBundleIconFile</key><string>AppIcon</string>\n"
                        "<key>NSUbiquitousContainers</key><dict>\n"
                        "  <key>iCloud.com.example.b</key><dict/>\n"
                        "  <key>iCloud.com.example.B</key><dict/>\n"
                        "  <key>iCloud.com.example.a</key><dict/>\n"
                        "</dict>\n"));
    const fs::path binaryBundle = folder.path() / "Painter.APP";
    makeBundle(binaryBundle, binaryPlist("com.example.Painter", "1.0", {"iCloud.z", "iCloud.a"}));

    LocalAppItem writer(xmlBundle);
    EXPECT_EQ(writer.bundleURL, xmlBundle);
    EXPECT_EQ(writer.name, "My.Writer");
    EXPECT_EQ(writer.infoURL, xmlBundle / "Contents" / "Info.plist");
    EXPECT_EQ(writer.identifier, "com.example.Writer");
    EXPECT_EQ(writer.version, "3.2");
    EXPECT_EQ(writer.containers,
              (std::vector<std::string>{"iCloud.com.example.B", "iCloud.com.example.a",
                                        "iCloud.com.example.b"}));
    EXPECT_EQ(writer.iconFileURL, xmlBundle / "Contents" / "Resources" / "AppIcon.icns");

    LocalAppItem painter(binaryBundle);
    EXPECT_EQ(painter.name, "Painter");
    EXPECT_EQ(painter.identifier, "com.example.Painter");
    EXPECT_EQ(painter.version, "1.0");
    EXPECT_EQ(painter.containers, (std::vector<std::string>{"iCloud.a", "iCloud.z"}));
    EXPECT_EQ(painter.iconFileURL, std::nullopt);
}

TEST(LocalAppItemTest, AnUnusableDescriptionLeavesOnlyTheLocation) {
    TemporaryDirectory folder;
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"NoPlist", std::nullopt},
        {"Empty", ""},
        {"Broken", "<?xml version=\"1.0\"?><plist><dict><key>CFBundleIdentifier</key>"},
        {"WrongTypes", xmlPlist("<key>CFBundleIdentifier</key><true/>\n"
                                "<key>CFBundleShortVersionString</key><real>1.5</real>\n"
                                "<key>CFBundleIconFile</key><integer>3</integer>\n"
                                "<key>NSUbiquitousContainers</key><string>iCloud.a</string>\n")},
    };
    for (const auto& [name, info] : cases) {
        const fs::path bundle = folder.path() / (name + ".app");
        makeBundle(bundle, info);
        LocalAppItem item(bundle);
        EXPECT_EQ(item.name, name);
        EXPECT_EQ(item.infoURL, bundle / "Contents" / "Info.plist");
        EXPECT_EQ(item.identifier, std::nullopt) << name;
        EXPECT_EQ(item.version, std::nullopt) << name;
        EXPECT_TRUE(item.containers.empty()) << name;
        EXPECT_EQ(item.iconFileURL, std::nullopt) << name;
    }
    LocalAppItem gone(folder.path() / "Gone.app");  // no bundle at all
    EXPECT_EQ(gone.name, "Gone");
    EXPECT_EQ(gone.identifier, std::nullopt);
}

TEST(LocalAppItemTest, IconFileStaysInsideTheBundle) {
    TemporaryDirectory folder;
    const fs::path resources = folder.path() / "Icons.app" / "Contents" / "Resources";
    const std::vector<std::pair<std::string, std::optional<fs::path>>> cases = {
        {"Icon.png", resources / "Icon.png"},
        {"Icon", resources / "Icon.icns"},
        {"../../../../etc/passwd", std::nullopt},
        {"/etc/passwd", std::nullopt},
        {"..", std::nullopt},
        {".", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [iconFile, expected] : cases) {
        makeBundle(folder.path() / "Icons.app",
                   xmlPlist("<key>CFBundleIconFile</key><string>" + iconFile + "</string>\n"));
        EXPECT_EQ(LocalAppItem(folder.path() / "Icons.app").iconFileURL, expected) << iconFile;
    }
}

TEST(LocalAppItemTest, IdentityIsTheBundleAndOrderIsTheFinders) {
    LocalAppItem first, same, other;
    first.bundleURL = same.bundleURL = "/Applications/Tool.app";
    other.bundleURL = "/Applications/Utilities/Tool.app";
    first.name = same.name = other.name = "Tool";
    same.version = "2.0";
    EXPECT_EQ(first, same);
    EXPECT_NE(first, other);
    std::unordered_set<LocalAppItem> set{first, same, other};
    EXPECT_EQ(set.size(), 2u);

    std::vector<LocalAppItem> items;
    for (const char* name : {"App 10", "beta", "App 2", "Alpha"}) {
        LocalAppItem item;
        item.name = name;
        item.bundleURL = std::string("/Applications/") + name + ".app";
        items.push_back(item);
    }
    std::sort(items.begin(), items.end());
    std::vector<std::string> names;
    for (const auto& item : items)
        names.push_back(item.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "App 2", "App 10", "beta"}));
}

TEST(LocalFileItemTest, NameIdentityAndOrder) {
    LocalFileItem archive("/home/me/Notes.tar.gz");
    EXPECT_EQ(archive.name, "Notes.tar");
    EXPECT_EQ(LocalFileItem("/home/me/.zshrc").name, ".zshrc");
    EXPECT_EQ(LocalFileItem("/home/me/Projects").name, "Projects");

    std::unordered_set<LocalFileItem> set{
        LocalFileItem("/a/File.txt"), LocalFileItem("/a/File.txt"), LocalFileItem("/b/File.txt")};
    EXPECT_EQ(set.size(), 2u);

    std::vector<LocalFileItem> items{LocalFileItem("/x/file 10.txt"), LocalFileItem("/y/file 9"),
                                     LocalFileItem("/z/archive.zip")};
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items[0].name, "archive");
    EXPECT_EQ(items[1].name, "file 9");
    EXPECT_EQ(items[2].name, "file 10");
}

}  // namespace
}  // namespace quillfen
