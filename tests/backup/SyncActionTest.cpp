#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>
#include <vector>

#include "backup/SyncAction.h"

namespace quillfen {
namespace {

using enum SyncAction;
using Actions = std::vector<SyncAction>;

TEST(SyncActionTest, RawValuesTitlesAndDescriptions) {
    struct Case {
        SyncAction action;
        const char* raw;
        const char* key;
        const char* english;
    };
    const Case cases[] = {
        {doNothing, "DoNothing", "SyncActionDoNothing", "Nothing to Do"},
        {unknown, "Unknown", "SyncActionUnknown", "Unknown"},
        {multiple, "Multiple", "SyncActionMultiple", "Multiple"},
        {upToDate, "UpToDate", "SyncActionUpToDate", "Up to Date"},
        {backUp, "BackUp", "SyncActionToBackUp", "Back Up"},
        {install, "Install", "SyncActionToInstall", "Install"},
        {synchronize, "Synchronize", "SyncActionToSynchronize", "Synchronize"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(syncActionFromRaw(c.raw), c.action);
        EXPECT_EQ(titleKey(c.action), c.key);
        EXPECT_EQ(description(c.action), c.english);
        // An unknown key would come back as the key itself.
        EXPECT_EQ(localizedTitle(c.action), c.english);
    }
    EXPECT_EQ(syncActionFromRaw("Back Up"), std::nullopt);
}

TEST(SyncActionTest, DecisionTable) {
    const keel::Date b{600'000'000.25};
    // The nearest other dates: any tolerance would take them for equal.
    const keel::Date justBefore{std::nextafter(b.timeIntervalSinceReferenceDate, 0.0)};
    const keel::Date justAfter{std::nextafter(b.timeIntervalSinceReferenceDate, 1e12)};
    struct Case {
        std::optional<keel::Date> backupDate;
        std::optional<keel::Date> modifyDate;
        SyncAction expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, doNothing},
        {b, std::nullopt, install},
        {std::nullopt, b, backUp},
        {b, keel::Date{b.timeIntervalSinceReferenceDate + 3600}, backUp},
        {b, keel::Date{b.timeIntervalSinceReferenceDate - 3600}, install},
        {b, b, upToDate},
        {b, justAfter, backUp},
        {b, justBefore, install},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(decision(cases[i].backupDate, cases[i].modifyDate), cases[i].expected);
    }
}

// Every sequence of up to three actions, forwards and backwards, against what
// a combination means: after dropping `doNothing`, one action, several, or none.
TEST(SyncActionTest, CombinedDependsOnlyOnTheDistinctActions) {
    EXPECT_EQ(combined({}), doNothing);
    EXPECT_EQ(combined({backUp, doNothing}), backUp);
    EXPECT_EQ(combined({doNothing, backUp, doNothing, install}), multiple);

    const Actions all = {doNothing, unknown, multiple, upToDate, backUp, install, synchronize};
    std::vector<Actions> sequences = {{}};
    for (std::size_t from = 0; from < sequences.size(); ++from) {
        if (sequences[from].size() == 3) continue;
        for (SyncAction action : all) {
            Actions next = sequences[from];
            next.push_back(action);
            sequences.push_back(next);
        }
    }
    ASSERT_EQ(sequences.size(), 1u + 7u + 49u + 343u);
    for (const Actions& actions : sequences) {
        std::set<SyncAction> distinct(actions.begin(), actions.end());
        distinct.erase(doNothing);
        const SyncAction expected = distinct.empty()       ? doNothing
                                    : distinct.size() == 1 ? *distinct.begin()
                                                           : multiple;
        EXPECT_EQ(combined(actions), expected);
        EXPECT_EQ(combined(Actions(actions.rbegin(), actions.rend())), expected);
    }
}

}  // namespace
}  // namespace quillfen
