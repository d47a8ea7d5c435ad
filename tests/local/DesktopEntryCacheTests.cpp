#include "local/DesktopEntryCache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "local/DesktopEntryScanner.h"
#include "support/FakeDesktopEntries.h"
#include "support/IsolatedSettings.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using testing::desktopEntryText;
using testing::writeDesktopEntry;
using testsupport::readFile;
using testsupport::writeFile;

struct stat statOf(const fs::path& file) {
    struct stat info {};
    EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
    return info;
}

class DesktopEntryCacheTest : public ::testing::Test {
protected:
    testing::IsolatedSettings settings;
    fs::path folder = settings / "share/applications";
    fs::path cacheFile = settings / "cache/Quillfen/Desktop Entries";

    // The names found, sorted, scanning through a cache read from `cacheFile`.
    std::vector<std::string> scan() const {
        DesktopEntryCache cache(cacheFile);
        std::vector<std::string> names;
        for (const auto& item : DesktopEntryScanner::applications({folder}, {}, &cache))
            names.push_back(item.name);
        std::sort(names.begin(), names.end());
        return names;
    }

    // A cache file that holds an entry named `name` for `file` as it now is.
    void forgeCache(const fs::path& file, const std::string& name) const {
        DesktopEntryCache forged(cacheFile);
        forged.remember(file.native(), statOf(file), *DesktopEntry::parse(desktopEntryText(name)));
        forged.save({file.native()});
    }
};

TEST_F(DesktopEntryCacheTest, UnchangedEntriesAreTakenFromTheCacheAndChangedOnesReadAgain) {
    writeDesktopEntry(folder / "org.example.Notes.desktop", "Notes");
    writeDesktopEntry(folder / "org.example.Paint.desktop", "Paint");
    EXPECT_EQ(scan(), (std::vector<std::string>{"Notes", "Paint"}));
    ASSERT_TRUE(fs::exists(cacheFile));
    {
        const DesktopEntryCache cache(cacheFile);
        const fs::path notes = folder / "org.example.Notes.desktop";
        const auto entry = cache.entry(notes.native(), statOf(notes));
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry, DesktopEntry::parse(desktopEntryText("Notes")));
    }

    // The cache is what is read while the file stays as it was: a cached
    // entry that differs from the file shows.
    const fs::path paint = folder / "org.example.Paint.desktop";
    forgeCache(paint, "Cached Paint");
    EXPECT_EQ(scan(), (std::vector<std::string>{"Cached Paint", "Notes"}));

    // Rewritten with the same size and its old modification time put back:
    // only the status-change time tells, and it is enough.
    const struct stat before = statOf(paint);
    writeFile(paint, desktopEntryText("Brush"));
    ASSERT_EQ(statOf(paint).st_size, before.st_size);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, paint.c_str(), times, 0), 0);
    EXPECT_EQ(scan(), (std::vector<std::string>{"Brush", "Notes"}));
    // And the fresh entry is what the cache holds from then on.
    EXPECT_EQ(DesktopEntryCache(cacheFile).entry(paint.native(), statOf(paint))->name, "Brush");

    // Replaced by another file under the same name, or removed.
    writeDesktopEntry(folder / "replacement", "Easel");
    fs::rename(folder / "replacement", paint);
    fs::remove(folder / "org.example.Notes.desktop");
    EXPECT_EQ(scan(), (std::vector<std::string>{"Easel"}));
    const fs::path notes = folder / "org.example.Notes.desktop";
    writeDesktopEntry(notes, "Notes");
    const DesktopEntryCache cache(cacheFile);
    EXPECT_EQ(cache.entry(notes.native(), statOf(notes)), std::nullopt);
}

TEST_F(DesktopEntryCacheTest, EveryFieldComesBackAsItWasStored) {
    writeDesktopEntry(folder / "a.desktop", "A");
    writeDesktopEntry(folder / "b.desktop", "B");
    const fs::path a = folder / "a.desktop";
    const fs::path b = folder / "b.desktop";
    DesktopEntry full;
    full.type = "Application";
    // Bytes the stored form uses itself and a line break; empty strings.
    full.name = "12:3* - \n:";
    full.icon = "-";
    full.noDisplay = true;
    full.hidden = true;
    full.onlyShowIn = std::vector<std::string>{"GNOME", "", "KDE*"};
    full.notShowIn = {"XFCE"};
    full.flatpakID = "org.example.App";
    full.snapInstanceName = "";
    full.appImageVersion = "3:2";
    DesktopEntry bare;
    bare.type = "Link";
    bare.name = "B";
    bare.onlyShowIn = std::vector<std::string>{};
    {
        DesktopEntryCache cache(cacheFile);
        cache.remember(a.native(), statOf(a), full);
        cache.remember(b.native(), statOf(b), bare);
        cache.save({a.native(), b.native()});
    }
    const DesktopEntryCache cache(cacheFile);
    EXPECT_EQ(cache.entry(a.native(), statOf(a)), full);
    EXPECT_EQ(cache.entry(b.native(), statOf(b)), bare);
}

TEST_F(DesktopEntryCacheTest, AnEntryReachedThroughALinkFollowsTheLinksTarget) {
    writeDesktopEntry(settings / "deploy/one.desktop", "One");
    writeDesktopEntry(settings / "deploy/two.desktop", "Two");
    fs::create_directories(folder);
    fs::create_symlink(settings / "deploy/one.desktop", folder / "app.desktop");
    EXPECT_EQ(scan(), (std::vector<std::string>{"One"}));
    fs::remove(folder / "app.desktop");
    fs::create_symlink(settings / "deploy/two.desktop", folder / "app.desktop");
    EXPECT_EQ(scan(), (std::vector<std::string>{"Two"}));
}

TEST_F(DesktopEntryCacheTest, ADamagedCacheCountsAsEmptyAndIsWrittenAfresh) {
    writeDesktopEntry(folder / "org.example.Notes.desktop", "Notes");
    EXPECT_EQ(scan(), (std::vector<std::string>{"Notes"}));
    const std::string good = readFile(cacheFile);
    const std::size_t header = good.find('\n') + 1;
    // A record after the good one, with its lengths right: a bad one must
    // cost the whole cache, not only itself.
    const auto withRecord = [&good](const std::string& numbers, const std::string& body) {
        return good + "1 " + numbers + " " + std::to_string(body.size()) + "\n/" + body + "\n";
    };
    const std::string entry = "11:Application4:Name-00-0*---";
    const std::vector<std::string> damaged = {
        "",
        "Quillfen desktop entries 1\n" + good.substr(header),
        good.substr(0, good.size() - 2),  // cut short
        good.substr(0, header) + "x" + good.substr(header),
        good.substr(0, header) + "99999999999999999999999 " + good.substr(header),
        good + "5 1 2 3 4 5 6 7 99999999\nshort\n",
        withRecord("1 2 3 4 2000000000 6 7", entry),  // nanoseconds out of range
        // Bodies that are not an entry: cut short, one byte too many, a list
        // that claims more strings than there are bytes.
        withRecord("1 2 3 4 5 6 7", "0:4:Name"),
        withRecord("1 2 3 4 5 6 7", entry + "x"),
        withRecord("1 2 3 4 5 6 7", "11:Application4:Name-00999999*0*---"),
        std::string(100, '\0'),
    };
    // The good record with a well-formed one after it is read whole.
    writeFile(cacheFile, withRecord("1 2 3 4 5 6 7", entry));
    {
        const DesktopEntryCache cache(cacheFile);
        const fs::path notes = folder / "org.example.Notes.desktop";
        ASSERT_TRUE(cache.entry(notes.native(), statOf(notes)));
        struct stat root {};
        root.st_dev = 1;
        root.st_ino = 2;
        root.st_size = 3;
        root.st_mtim = {4, 5};
        root.st_ctim = {6, 7};
        EXPECT_EQ(cache.entry("/", root)->name, "Name");
    }
    for (const std::string& text : damaged) {
        writeFile(cacheFile, text);
        const DesktopEntryCache cache(cacheFile);
        const fs::path notes = folder / "org.example.Notes.desktop";
        EXPECT_EQ(cache.entry(notes.native(), statOf(notes)), std::nullopt) << text;
        EXPECT_EQ(scan(), (std::vector<std::string>{"Notes"})) << text;
        EXPECT_EQ(readFile(cacheFile), good) << text;
    }
}

TEST_F(DesktopEntryCacheTest, AScanThatFindsNothingNewLeavesTheCacheFileAlone) {
    writeDesktopEntry(folder / "org.example.Notes.desktop", "Notes");
    scan();
    const struct stat written = statOf(cacheFile);
    scan();
    EXPECT_EQ(statOf(cacheFile).st_ino, written.st_ino);
    // An unreadable place for the cache costs nothing but the cache.
    fs::remove_all(settings / "cache");
    writeFile(settings / "cache", "a file where the folder should be");
    EXPECT_EQ(scan(), (std::vector<std::string>{"Notes"}));
    EXPECT_EQ(readFile(settings / "cache"), "a file where the folder should be");
}

}  // namespace
}  // namespace quillfen
