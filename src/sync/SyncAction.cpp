#include "sync/SyncAction.h"

#include <array>
#include <utility>

namespace quillfen {

namespace {

constexpr std::array<std::pair<SyncAction, std::string_view>, 7> kRawValues{{
    {SyncAction::doNothing, "DoNothing"},
    {SyncAction::unknown, "Unknown"},
    {SyncAction::multiple, "Multiple"},
    {SyncAction::upToDate, "UpToDate"},
    {SyncAction::backUp, "BackUp"},
    {SyncAction::install, "Install"},
    {SyncAction::synchronize, "Synchronize"},
}};

}  // namespace

std::string_view rawValue(SyncAction action) {
    for (const auto& [candidate, raw] : kRawValues) {
        if (candidate == action) return raw;
    }
    // Only reachable with a value cast from an integer outside the enumeration.
    return "Unknown";
}

std::optional<SyncAction> syncActionFromRaw(std::string_view raw) {
    for (const auto& [action, candidate] : kRawValues) {
        if (candidate == raw) return action;
    }
    return std::nullopt;
}

}  // namespace quillfen
