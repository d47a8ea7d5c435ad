// SyncAction: what a settings path or an item needs (its state) and what a run
// does (its command). It is stored by its raw string, in the history of the
// backup package among other places, so the raw strings never change and are
// matched exactly, case included.
//
// Plain value type; the functions are pure and callable from any thread.
#pragma once

#include <optional>
#include <string_view>

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

}  // namespace quillfen
