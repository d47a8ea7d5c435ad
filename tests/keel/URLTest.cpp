#include <gtest/gtest.h>

#include <algorithm>

#include "keel/FileManager.h"
#include "keel/FinderOrder.h"
#include "keel/Strings.h"
#include "keel/URL.h"
#include "support/TestSupport.h"

using namespace testsupport;

TEST(URLTest, IsParentComparesWholeComponents) {
    struct Case {
        const char* parent;
        const char* url;
        bool expected;
    } cases[] = {
        {"/a", "/a", true},         {"/a", "/a/b", true},          {"/a/", "/a/b/c", true},
        {"/a", "/ab", false},       {"/a/b", "/a", false},         {"/", "/anything", true},
        {"/a/./b", "/a/b/c", true}, {"/a/b/../c", "/a/c/d", true}, {"/x", "/a", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keel::isParent(c.parent, c.url), c.expected) << c.parent << " " << c.url;
}

// The forms compared by text must agree with a comparison of whole
// components, whatever the spelling of the two locations.
TEST(URLTest, ParentLocationsAgreeWithAComparisonOfComponents) {
    const std::vector<fs::path> paths{"/",    "//",    "/a",     "/a/",   "//a",   "/ab",
                                      "/a/b", "/a//b", "/a/./b", "/a/b/", "/a/bc", "/a/b/..",
                                      "/b",   "/..",   "/a/..",  "a",     "a/b",   "ab"};
    const auto components = [](const fs::path& prefix, const fs::path& path) {
        auto p = path.begin();
        for (auto q = prefix.begin(); q != prefix.end(); ++q, ++p)
            if (p == path.end() || *p != *q) return false;
        return true;
    };
    for (const auto& parent : paths) {
        for (const auto& url : paths) {
            const fs::path a = keel::normalisedLocation(parent), b = keel::normalisedLocation(url);
            EXPECT_EQ(keel::isParentLocation(a, b), components(a, b)) << parent << " " << url;
            EXPECT_EQ(keel::isParent(parent, url), components(a, b)) << parent << " " << url;
        }
    }
}

TEST(URLTest, IsFileParentResolvesLinks) {
    TemporaryDirectory dir;
    fs::create_directories(dir / "real" / "inside");
    fs::create_symlink(dir / "real", dir / "alias");
    EXPECT_TRUE(keel::isFileParent(dir / "alias", dir / "real" / "inside"));
    EXPECT_TRUE(keel::isFileParent(dir / "real", dir / "alias" / "inside"));
    EXPECT_FALSE(keel::isParent(dir / "alias", dir / "real" / "inside"));
}

TEST(URLTest, ChecksAnswerUndeterminedWhenNothingIsThere) {
    TemporaryDirectory dir;
    writeFile(dir / "file", "x");
    fs::create_symlink(dir / "file", dir / "link");
    EXPECT_EQ(keel::checkIsAlias(dir / "link"), true);
    EXPECT_EQ(keel::checkIsAlias(dir / "file"), false);
    EXPECT_EQ(keel::checkIsAlias(dir / "missing"), std::nullopt);
    EXPECT_EQ(keel::checkIsReadAndWrite(dir / "file"), true);
    EXPECT_EQ(keel::checkIsReadAndWrite(dir / "missing"), std::nullopt);
    EXPECT_EQ(keel::checkIsOnMainDisk(dir / "missing"), std::nullopt);
    EXPECT_TRUE(keel::checkIsOnMainDisk("/").value_or(false));
}

TEST(URLTest, TitlesAndExtensions) {
    EXPECT_EQ(keel::lastPathTitle("/Applications/Foo Bar.app"), "Foo Bar");
    EXPECT_EQ(keel::lastPathTitle("/Applications/Foo.app/"), "Foo");
    EXPECT_EQ(keel::lastPathTitle("/home/u/.zshrc"), ".zshrc");
    EXPECT_EQ(keel::lastPathTitle("/x/archive.tar.gz"), "archive.tar");
    EXPECT_EQ(keel::pathExtension("/a/B.APP"), "APP");
    EXPECT_EQ(keel::pathExtension("/a/.hidden"), "");
    EXPECT_EQ(keel::pathExtension("/a/Pack.qfbackup/"), "qfbackup");
}

TEST(StringsTest, PrefixTildeAndCollections) {
    ScopedEnv home("HOME", "/home/ada");
    EXPECT_EQ(keel::removedPrefix("/home/ada/.vimrc", "/home/ada/"), ".vimrc");
    EXPECT_EQ(keel::removedPrefix("/etc/hosts", "/home/ada/"), "/etc/hosts");
    EXPECT_EQ(keel::abreviatingTildeInPath("/home/ada/Dropbox/A.qfbackup"), "~/Dropbox/A.qfbackup");
    EXPECT_EQ(keel::abreviatingTildeInPath("/home/ada"), "~");
    EXPECT_EQ(keel::abreviatingTildeInPath("/home/adam/x"), "/home/adam/x");

    struct Item {
        std::string key;
        int value;
    };
    auto map = keel::mapEntries(std::vector<Item>{{"a", 1}, {"b", 2}, {"a", 3}},
                                [](const Item& i) { return i.key; });
    EXPECT_EQ(map.size(), 2u);
    EXPECT_EQ(map.at("a").value, 3);  // the later duplicate wins
    EXPECT_EQ(keel::safeAccess(std::vector<int>{1, 2}, 1), 2);
    EXPECT_EQ(keel::safeAccess(std::vector<int>{1, 2}, 2), std::nullopt);
}

TEST(FinderOrderTest, NumbersByValueCaseInsensitiveAndTotal) {
    EXPECT_EQ(keel::finderSorted({"App 10", "app 2", "App 1", "Zed", "alpha", "Beta"}),
              (std::vector<std::string>{"alpha", "App 1", "app 2", "App 10", "Beta", "Zed"}));
    EXPECT_LT(keel::finderCompare("file2.txt", "file10.txt"), 0);
    // Names equal but for case still have a fixed order, so sorting is stable across runs.
    EXPECT_NE(keel::finderCompare("Vim", "vim"), 0);
    EXPECT_EQ(keel::finderCompare("Vim", "vim"), -keel::finderCompare("vim", "Vim"));
    EXPECT_EQ(keel::finderCompare("same", "same"), 0);
}

// Sorting goes by collation keys; they must order every pair as the
// comparison does, ties between names alike but for case and bytes that are
// no UTF-8 included.
TEST(FinderOrderTest, SortKeysOrderEveryPairAsTheComparisonDoes) {
    const std::vector<std::string> names{"",    "a",     "A",      "á",        "Á",      "ab",
                                         "a b", "App 2", "app 10", "App 02",   "Ölfen",  "oelfen",
                                         "Zed", "zed",   "日本",   "\xff\xfe", "\xff",   "x\xc3",
                                         "1",   "01",    "10",     "-",        ".hidden"};
    for (const auto& a : names) {
        for (const auto& b : names) {
            const int compared = keel::finderCompare(a, b);
            const std::string ka = keel::finderSortKey(a), kb = keel::finderSortKey(b);
            EXPECT_EQ(compared < 0, ka < kb) << '"' << a << "\" \"" << b << '"';
            EXPECT_EQ(compared == 0, ka == kb) << '"' << a << "\" \"" << b << '"';
        }
    }
    std::vector<std::string> sorted = keel::finderSorted(names);
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), keel::finderLess));
}

// Keys are remembered per thread, up to a bound: lists sorted again, and
// after more names than the bound, come out the same.
TEST(FinderOrderTest, RememberedKeysSortAsFreshOnes) {
    std::vector<std::string> names;
    for (int i = 9999; i >= 0; --i)
        names.push_back((i % 2 ? "app " : "App ") + std::to_string(i));
    const std::vector<std::string> first = keel::finderSorted(names);
    ASSERT_EQ(first.front(), "App 0");
    EXPECT_EQ(first[10], "App 10");
    EXPECT_TRUE(std::is_sorted(first.begin(), first.end(), keel::finderLess));
    EXPECT_EQ(keel::finderSorted(names), first);
    EXPECT_EQ(keel::finderSortKey("Zed"), keel::finderSortKey("Zed"));
    EXPECT_LT(keel::finderSortKey("App 9"), keel::finderSortKey("app 10"));
}
