#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sync/SyncAction.h"

namespace quillfen {
namespace {

using Actions = std::vector<SyncAction>;
using OptionalDate = std::optional<keel::Date>;

constexpr SyncAction kAllActions[] = {
    SyncAction::doNothing, SyncAction::unknown, SyncAction::multiple,    SyncAction::upToDate,
    SyncAction::backUp,    SyncAction::install, SyncAction::synchronize,
};

TEST(SyncActionTest, RawValuesTitlesAndDescriptions) {
    struct Case {
        SyncAction action;
        const char* raw;
        const char* key;
        const char* english;
    };
    const Case cases[] = {
        {SyncAction::doNothing, "DoNothing", "SyncActionDoNothing", "Nothing to Do"},
        {SyncAction::unknown, "Unknown", "SyncActionUnknown", "Unknown"},
        {SyncAction::multiple, "Multiple", "SyncActionMultiple", "Multiple"},
        {SyncAction::upToDate, "UpToDate", "SyncActionUpToDate", "Up to Date"},
        {SyncAction::backUp, "BackUp", "SyncActionToBackUp", "Back Up"},
        {SyncAction::install, "Install", "SyncActionToInstall", "Install"},
        {SyncAction::synchronize, "Synchronize", "SyncActionToSynchronize", "Synchronize"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(rawValue(c.action), c.raw);
        EXPECT_EQ(syncActionFromRaw(c.raw), c.action);
        EXPECT_EQ(titleKey(c.action), c.key);
        EXPECT_EQ(description(c.action), c.english);
        // The shipped string table has a text for every key (an unknown key
        // would come back as the key itself).
        EXPECT_EQ(localizedTitle(c.action), c.english);
    }
}

TEST(SyncActionTest, OnlyTheExactRawStringsAreAccepted) {
    for (const char* raw : {"", "backUp", "BACKUP", "Backup", "BackUp ", " BackUp", "Back Up",
                            "Nothing to Do", "SyncActionToBackUp", "DoNothing\n"}) {
        SCOPED_TRACE(raw);
        EXPECT_EQ(syncActionFromRaw(raw), std::nullopt);
    }
}

TEST(SyncActionTest, DecisionTable) {
    const keel::Date b{600'000'000.25};
    // The next representable dates on either side: any tolerance in the
    // comparison would take them for equal.
    const keel::Date justBefore{std::nextafter(b.timeIntervalSinceReferenceDate, 0.0)};
    const keel::Date justAfter{std::nextafter(b.timeIntervalSinceReferenceDate, 1e12)};
    struct Case {
        const char* name;
        OptionalDate backupDate;
        OptionalDate modifyDate;
        SyncAction expected;
    };
    const Case cases[] = {
        {"neither", std::nullopt, std::nullopt, SyncAction::doNothing},
        {"copy only", b, std::nullopt, SyncAction::install},
        {"local only", std::nullopt, b, SyncAction::backUp},
        {"local newer", b, keel::Date{b.timeIntervalSinceReferenceDate + 3600}, SyncAction::backUp},
        {"local older", b, keel::Date{b.timeIntervalSinceReferenceDate - 3600},
         SyncAction::install},
        {"equal", b, b, SyncAction::upToDate},
        {"local newer by the least step", b, justAfter, SyncAction::backUp},
        {"local older by the least step", b, justBefore, SyncAction::install},
        {"before the reference date", keel::Date{-10}, keel::Date{-20}, SyncAction::install},
        {"equal at the reference date", keel::Date{0}, keel::Date{0}, SyncAction::upToDate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decision(c.backupDate, c.modifyDate), c.expected);
    }
}

TEST(SyncActionTest, CombinedCases) {
    using enum SyncAction;
    struct Case {
        Actions actions;
        SyncAction expected;
    };
    const Case cases[] = {
        {{}, doNothing},
        {{doNothing}, doNothing},
        {{doNothing, doNothing, doNothing}, doNothing},
        {{backUp}, backUp},
        {{backUp, doNothing}, backUp},
        {{doNothing, install}, install},
        {{doNothing, upToDate, doNothing, upToDate}, upToDate},
        {{backUp, install}, multiple},
        {{doNothing, backUp, doNothing, install}, multiple},
        {{upToDate, backUp}, multiple},
        {{backUp, backUp, backUp, install}, multiple},
        {{multiple}, multiple},
        {{backUp, multiple}, multiple},
        {{unknown, doNothing}, unknown},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (SyncAction a : c.actions)
            trace += std::string(rawValue(a)) + " ";
        SCOPED_TRACE(trace);
        EXPECT_EQ(combined(c.actions), c.expected);
    }
    EXPECT_EQ(combined({doNothing, install, install}), install);
    EXPECT_EQ(combined({install, upToDate}), multiple);
}

// Every sequence of up to three actions against the meaning of a combination:
// what is left after dropping `doNothing` is one action, several, or none.
TEST(SyncActionTest, CombinedAgreesWithTheSetOfActionsInAnyOrder) {
    std::vector<Actions> sequences = {{}};
    for (int length = 1; length <= 3; ++length) {
        std::vector<Actions> longer;
        for (const Actions& prefix : sequences) {
            if (static_cast<int>(prefix.size()) != length - 1) continue;
            for (SyncAction action : kAllActions) {
                Actions next = prefix;
                next.push_back(action);
                longer.push_back(next);
            }
        }
        sequences.insert(sequences.end(), longer.begin(), longer.end());
    }
    ASSERT_EQ(sequences.size(), 1u + 7u + 49u + 343u);

    for (const Actions& actions : sequences) {
        std::set<SyncAction> distinct(actions.begin(), actions.end());
        distinct.erase(SyncAction::doNothing);
        const SyncAction expected = distinct.empty()       ? SyncAction::doNothing
                                    : distinct.size() == 1 ? *distinct.begin()
                                                           : SyncAction::multiple;
        Actions reversed(actions.rbegin(), actions.rend());
        EXPECT_EQ(combined(actions), expected);
        EXPECT_EQ(combined(reversed), expected);
    }
}

}  // namespace
}  // namespace quillfen
