#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "local/LocalAppItem.h"
#include "local/LocalFileItem.h"
#include "support/FakeBundles.h"

namespace quillfen {
namespace {

using testing::binaryPlist;
using testing::makeBundle;
using testing::xmlPlist;
namespace fs = std::filesystem;

TEST(LocalAppItemTest, ReadsTheBundleDescriptionInEitherForm) {
    testsupport::TemporaryDirectory folder;
    const fs::path writer = folder / "My.Writer.app";
    makeBundle(writer, xmlPlist("<key>CFBundleIdentifier</key><string>com.example.W</string>\n"
                                "<key>CFBundleShortVersionString</key><string>3.2</string>\n"
                                "<key>CFBundleIconFile</key><string>AppIcon</string>\n"
                                "<key>NSUbiquitousContainers</key><dict>\n"
                                "  <key>iCloud.b</key><dict/><key>iCloud.B</key><dict/>\n"
                                "  <key>iCloud.a</key><dict/>\n"
                                "</dict>\n"));
    const fs::path painter = folder / "Painter.APP";
    makeBundle(painter, binaryPlist("com.example.P", "1.0", {"iCloud.z", "iCloud.a"}));

    LocalAppItem item(writer);
    EXPECT_EQ(item.name, "My.Writer");
    EXPECT_EQ(item.infoURL, writer / "Contents" / "Info.plist");
    EXPECT_EQ(item.identifier, "com.example.W");
    EXPECT_EQ(item.version, "3.2");
    EXPECT_EQ(item.containers, (std::vector<std::string>{"iCloud.B", "iCloud.a", "iCloud.b"}));
    EXPECT_EQ(item.iconFileURL, writer / "Contents" / "Resources" / "AppIcon.icns");

    item = LocalAppItem(painter);
    EXPECT_EQ(item.name, "Painter");
    EXPECT_EQ(item.identifier, "com.example.P");
    EXPECT_EQ(item.version, "1.0");
    EXPECT_EQ(item.containers, (std::vector<std::string>{"iCloud.a", "iCloud.z"}));
    EXPECT_EQ(item.iconFileURL, std::nullopt);
}

TEST(LocalAppItemTest, AnUnusableDescriptionLeavesOnlyTheLocation) {
    testsupport::TemporaryDirectory folder;
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"NoPlist", std::nullopt},
        {"Broken", "<?xml version=\"1.0\"?><plist><dict><key>CFBundleIdentifier</key>"},
        {"WrongTypes", xmlPlist("<key>CFBundleIdentifier</key><true/>\n"
                                "<key>CFBundleShortVersionString</key><real>1.5</real>\n"
                                "<key>CFBundleIconFile</key><integer>3</integer>\n"
                                "<key>NSUbiquitousContainers</key><array/>\n")},
    };
    for (const auto& [name, info] : cases) {
        makeBundle(folder / (name + ".app"), info);
        LocalAppItem item(folder / (name + ".app"));
        EXPECT_EQ(item.name, name);
        EXPECT_EQ(item.identifier, std::nullopt) << name;
        EXPECT_EQ(item.version, std::nullopt) << name;
        EXPECT_TRUE(item.containers.empty()) << name;
        EXPECT_EQ(item.iconFileURL, std::nullopt) << name;
    }
}

TEST(LocalAppItemTest, IconFileStaysInsideTheBundle) {
    testsupport::TemporaryDirectory folder;
    const fs::path resources = folder / "Icons.app" / "Contents" / "Resources";
    const std::vector<std::pair<std::string, std::optional<fs::path>>> cases = {
        {"Icon.png", resources / "Icon.png"},
        {"../../../../etc/passwd", std::nullopt},
        {"/etc/passwd", std::nullopt},
        {"..", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [iconFile, expected] : cases) {
        makeBundle(folder / "Icons.app",
                   xmlPlist("<key>CFBundleIconFile</key><string>" + iconFile + "</string>\n"));
        EXPECT_EQ(LocalAppItem(folder / "Icons.app").iconFileURL, expected) << iconFile;
    }
}

TEST(LocalItemTest, IdentityIsTheLocationAndOrderIsTheFinders) {
    LocalAppItem tool, sameBundle, otherBundle;
    tool.bundleURL = sameBundle.bundleURL = "/Applications/Tool.app";
    otherBundle.bundleURL = "/Applications/Utilities/Tool.app";
    sameBundle.version = "2.0";
    EXPECT_EQ((std::unordered_set<LocalAppItem>{tool, sameBundle, otherBundle}.size()), 2u);
    EXPECT_EQ((std::unordered_set<LocalFileItem>{
                  LocalFileItem("/a/F.txt"), LocalFileItem("/a/F.txt"), LocalFileItem("/b/F.txt")}
                   .size()),
              2u);

    std::vector<LocalFileItem> files{LocalFileItem("/x/file 10.txt"), LocalFileItem("/y/file 9"),
                                     LocalFileItem("/z/archive.tar.gz")};
    std::sort(files.begin(), files.end());
    std::vector<LocalAppItem> apps;
    for (const auto& file : files) {
        apps.emplace_back();
        apps.back().name = file.name;
    }
    std::reverse(apps.begin(), apps.end());
    std::sort(apps.begin(), apps.end());
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(apps[i].name, files[i].name);
    EXPECT_EQ(files[0].name, "archive.tar");
    EXPECT_EQ(files[1].name, "file 9");
    EXPECT_EQ(files[2].name, "file 10");
}

}  // namespace
}  // namespace quillfen
