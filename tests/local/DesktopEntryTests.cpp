#include "local/DesktopEntry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/FakeDesktopEntries.h"
#include "support/TestSupport.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using testsupport::writeFile;

TEST(DesktopEntryTest, ReadsTheUntranslatedValuesOfTheMainGroupOnly) {
    const auto entry = DesktopEntry::parse(
        "# a comment before the first group\n"
        "\n"
        "[Desktop Entry]\r\n"
        "Type = Application\n"
        "Name[fr]=Éditeur\n"
        "Name=Text\\sEditor\\\\Pro\n"
        "Name[de_DE@euro]=Editor\n"
        "  Icon=accessories-text-editor\n"
        "NoDisplay=false\n"
        "Hidden=true\n"
        "OnlyShowIn=GNOME;Semi\\;Colon;\n"
        "X-Flatpak=org.example.Editor\n"
        "X-AppImage-Version=2.1\n"
        "\n"
        "[Desktop Action window]\n"
        "Name=New Window\n"
        "Icon=other\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->type, "Application");
    EXPECT_EQ(entry->name, "Text Editor\\Pro");
    EXPECT_EQ(entry->icon, "accessories-text-editor");
    EXPECT_FALSE(entry->noDisplay);
    EXPECT_TRUE(entry->hidden);
    EXPECT_EQ(entry->onlyShowIn, (std::vector<std::string>{"GNOME", "Semi;Colon"}));
    EXPECT_TRUE(entry->notShowIn.empty());
    EXPECT_EQ(entry->flatpakID, "org.example.Editor");
    EXPECT_EQ(entry->snapInstanceName, std::nullopt);
    EXPECT_EQ(entry->appImageVersion, "2.1");
}

TEST(DesktopEntryTest, MalformedFilesGiveNoEntry) {
    const std::string good = "[Desktop Entry]\nType=Application\nName=App\n";
    ASSERT_TRUE(DesktopEntry::parse(good));
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"comments only", "# nothing\n\n"},
        {"a key before any group", "Type=Application\n" + good},
        {"another group first", "[Desktop Action x]\nName=X\n" + good},
        {"the main group twice", good + "[Desktop Entry]\nComment=again\n"},
        {"another group twice", good + "[G]\nA=1\n[G]\nB=2\n"},
        {"a key twice", good + "Name=Other\n"},
        {"a line without =", good + "just words\n"},
        {"an unclosed group header", "[Desktop Entry\nType=Application\nName=App\n"},
        {"a key with a blank inside", good + "Bad Key=1\n"},
        {"an empty locale", good + "Name[]=x\n"},
        {"no Name", "[Desktop Entry]\nType=Application\n"},
        {"no Type", "[Desktop Entry]\nName=App\n"},
        {"invalid UTF-8", "[Desktop Entry]\nType=Application\nName=App \xff\xfe\n"},
        {"a NUL byte", std::string("[Desktop Entry]\nType=Application\nName=A\0pp\n", 40)},
        {"binary noise", std::string("\x7f"
                                     "ELF\x02\x01\x01\0\0\0",
                                     10)},
    };
    for (const auto& [what, text] : cases)
        EXPECT_FALSE(DesktopEntry::parse(text)) << what;
}

TEST(DesktopEntryTest, OnlyShowInAndNotShowInDecideForTheCurrentDesktops) {
    DesktopEntry entry;
    EXPECT_TRUE(entry.isShownIn({}));
    entry.notShowIn = {"KDE"};
    EXPECT_TRUE(entry.isShownIn({}));
    EXPECT_TRUE(entry.isShownIn({"GNOME"}));
    EXPECT_FALSE(entry.isShownIn({"ubuntu", "KDE"}));
    entry.notShowIn.clear();
    entry.onlyShowIn = std::vector<std::string>{"XFCE", "LXQt"};
    EXPECT_FALSE(entry.isShownIn({}));
    EXPECT_FALSE(entry.isShownIn({"GNOME"}));
    EXPECT_TRUE(entry.isShownIn({"X-Generic", "LXQt"}));
    entry.onlyShowIn = std::vector<std::string>{};
    EXPECT_FALSE(entry.isShownIn({"GNOME"}));
}

TEST(DesktopEntryTest, ReadsOnlyRegularFilesOfBoundedSizeAndNeverWaits) {
    testsupport::TemporaryDirectory folder;
    quillfen::testing::writeDesktopEntry(folder / "app.desktop", "App");
    ASSERT_TRUE(DesktopEntry::read(folder / "app.desktop"));
    fs::create_symlink("app.desktop", folder / "link.desktop");
    EXPECT_TRUE(DesktopEntry::read(folder / "link.desktop"));

    // A valid entry padded with comments to 10 MB.
    {
        std::ofstream big(folder / "big.desktop");
        big << quillfen::testing::desktopEntryText("Big");
        const std::string comment = "# " + std::string(1000, 'x') + "\n";
        for (int i = 0; i < 10'000; ++i)
            big << comment;
    }
    EXPECT_FALSE(DesktopEntry::read(folder / "big.desktop"));
    // At the bound it is still read.
    {
        std::string text = quillfen::testing::desktopEntryText("Edge");
        text += "#" + std::string(DesktopEntry::maximumFileSize - text.size() - 2, 'x') + "\n";
        writeFile(folder / "edge.desktop", text);
    }
    EXPECT_TRUE(DesktopEntry::read(folder / "edge.desktop"));

    fs::create_symlink("loop-b.desktop", folder / "loop-a.desktop");
    fs::create_symlink("loop-a.desktop", folder / "loop-b.desktop");
    EXPECT_FALSE(DesktopEntry::read(folder / "loop-a.desktop"));
    fs::create_symlink("missing.desktop", folder / "dangling.desktop");
    EXPECT_FALSE(DesktopEntry::read(folder / "dangling.desktop"));
    fs::create_directory(folder / "folder.desktop");
    EXPECT_FALSE(DesktopEntry::read(folder / "folder.desktop"));
    // Opening a FIFO for reading would block until a writer came.
    ASSERT_EQ(::mkfifo((folder / "fifo.desktop").c_str(), 0644), 0);
    EXPECT_FALSE(DesktopEntry::read(folder / "fifo.desktop"));
}

}  // namespace
}  // namespace quillfen
