// Matching typed names against the catalog: case, kinds, order and the
// nearest names for a slip.
#include "catalog/CatalogLookup.h"

#include <gtest/gtest.h>

#include <set>

#include "keel/FinderOrder.h"

using namespace quillfen;

TEST(CatalogLookupTest, NamesAreListedOnceInFinderOrderWithTheirKind) {
    const auto names = CatalogLookup::catalogNames();
    ASSERT_GT(names.size(), 400u);
    std::set<std::string> seen;
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_TRUE(seen.insert(names[i].name).second) << names[i].name << " twice";
        if (i > 0) {
            EXPECT_LE(keel::finderCompare(names[i - 1].name, names[i].name), 0);
        }
    }
    const auto kindOf = [&](const std::string& name) {
        for (const auto& entry : names)
            if (entry.name == name) return entry.kind;
        ADD_FAILURE() << name << " not listed";
        return ItemKind::file;
    };
    EXPECT_EQ(kindOf("Git"), ItemKind::exec);
    EXPECT_EQ(kindOf("Hazel"), ItemKind::app);
}

TEST(CatalogLookupTest, AMatchIgnoresCaseButNotKind) {
    EXPECT_EQ(CatalogLookup::find("git"), (CatalogName{"Git", ItemKind::exec}));
    EXPECT_EQ(CatalogLookup::find("GIT", ItemKind::exec), (CatalogName{"Git", ItemKind::exec}));
    EXPECT_EQ(CatalogLookup::find("git", ItemKind::app), std::nullopt);
    EXPECT_EQ(CatalogLookup::find("hazel"), (CatalogName{"Hazel", ItemKind::app}));
    EXPECT_EQ(CatalogLookup::find("Hazel", ItemKind::exec), std::nullopt);
    EXPECT_EQ(CatalogLookup::find("Hazel "), std::nullopt);
    EXPECT_EQ(CatalogLookup::find(""), std::nullopt);
}

TEST(CatalogLookupTest, SlipsSuggestTheNearestNamesAndNonsenseNothing) {
    EXPECT_EQ(CatalogLookup::distance("gti", "Git"), 1u);       // a swap
    EXPECT_EQ(CatalogLookup::distance("neovi", "neovim"), 1u);  // a letter left out
    EXPECT_EQ(CatalogLookup::distance("kitten", "sitting"), 3u);
    EXPECT_EQ(CatalogLookup::distance("", "abc"), 3u);

    const auto near = CatalogLookup::suggestions("gti");
    ASSERT_FALSE(near.empty());
    EXPECT_EQ(near.front(), "Git");
    EXPECT_LE(near.size(), 3u);
    EXPECT_EQ(CatalogLookup::suggestions("Hazle", ItemKind::app).front(), "Hazel");
    // Of the other kind nothing is offered when a kind is asked for.
    for (const auto& name : CatalogLookup::suggestions("gti", ItemKind::app))
        EXPECT_NE(name, "Git");
    EXPECT_TRUE(CatalogLookup::suggestions("qqqqqqqqqqqq").empty());
}
