// SyncAction: what a settings path or an item needs (its state) and what a run
// does (its command). It is stored by its raw string, in the history of the
// backup package among other places, so the raw strings never change and are
// matched exactly, case included.
//
// As a state, a path needs nothing (`doNothing`), is the same on both sides
// (`upToDate`), or wants the newer side copied over the older (`backUp`,
// `install`); an item whose paths want different things is `multiple`. As a
// command, a run backs up, installs or synchronizes.
//
// Plain value type; the functions are pure (titles read the compiled-in text
// table) and callable from any thread. None of them fails.
#pragma once

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "keel/Date.h"

namespace quillfen {

// The declaration order is part of the contract: callers compare and sort by it.
enum class SyncAction {
    doNothing,
    unknown,
    multiple,
    upToDate,
    backUp,
    install,
    synchronize,
};

// "DoNothing", "Unknown", "Multiple", "UpToDate", "BackUp", "Install" or "Synchronize".
std::string_view rawValue(SyncAction action);

// The action whose raw string is exactly `raw`; nothing for any other text.
std::optional<SyncAction> syncActionFromRaw(std::string_view raw);

// The localization key of the action's title ("SyncActionToBackUp").
std::string_view titleKey(SyncAction action);

// The title shown to the user: the text of `titleKey` in the string table.
std::string localizedTitle(SyncAction action);

// The fixed English title ("Back Up"), independent of the string table; for
// logs and diagnostics.
std::string_view description(SyncAction action);

// What a settings path needs, judged from when the package's copy was made
// (`backupDate`) and when the local item was last modified (`modifyDate`):
// the newer side wins, equal dates are up to date, and a missing side is
// filled from the other. The dates are compared exactly, without tolerance:
// both come from the same file-system clock and survive the package's JSON
// unchanged.
SyncAction decision(std::optional<keel::Date> backupDate, std::optional<keel::Date> modifyDate);

// The action of an item made of several paths: `doNothing` entries are
// ignored; what remains is either one action (the result), several different
// ones (`multiple`) or nothing (`doNothing`). The order does not matter.
SyncAction combined(std::span<const SyncAction> actions);
SyncAction combined(std::initializer_list<SyncAction> actions);

}  // namespace quillfen
