#include "backup/SyncAction.h"

#include <array>

#include "keel/LocalizedString.h"

namespace quillfen {

namespace {

struct ActionTexts {
    SyncAction action;
    std::string_view raw;
    std::string_view titleKey;
    std::string_view description;
};

constexpr std::array<ActionTexts, 7> kTexts{{
    {SyncAction::doNothing, "DoNothing", "SyncActionDoNothing", "Nothing to Do"},
    {SyncAction::unknown, "Unknown", "SyncActionUnknown", "Unknown"},
    {SyncAction::multiple, "Multiple", "SyncActionMultiple", "Multiple"},
    {SyncAction::upToDate, "UpToDate", "SyncActionUpToDate", "Up to Date"},
    {SyncAction::backUp, "BackUp", "SyncActionToBackUp", "Back Up"},
    {SyncAction::install, "Install", "SyncActionToInstall", "Install"},
    {SyncAction::synchronize, "Synchronize", "SyncActionToSynchronize", "Synchronize"},
}};

// The texts of `action`. A value cast from an integer outside the enumeration
// is taken as `unknown`, the one case that claims nothing.
const ActionTexts& textsOf(SyncAction action) {
    for (const ActionTexts& texts : kTexts) {
        if (texts.action == action) return texts;
    }
    return kTexts[1];
}

}  // namespace

std::string_view rawValue(SyncAction action) {
    return textsOf(action).raw;
}

std::optional<SyncAction> syncActionFromRaw(std::string_view raw) {
    for (const ActionTexts& texts : kTexts) {
        if (texts.raw == raw) return texts.action;
    }
    return std::nullopt;
}

std::string_view titleKey(SyncAction action) {
    return textsOf(action).titleKey;
}

std::string localizedTitle(SyncAction action) {
    return keel::LocalizedString(titleKey(action));
}

std::string_view description(SyncAction action) {
    return textsOf(action).description;
}

SyncAction decision(std::optional<keel::Date> backupDate, std::optional<keel::Date> modifyDate) {
    if (!backupDate) return modifyDate ? SyncAction::backUp : SyncAction::doNothing;
    if (!modifyDate) return SyncAction::install;
    if (*modifyDate > *backupDate) return SyncAction::backUp;
    if (*modifyDate < *backupDate) return SyncAction::install;
    return SyncAction::upToDate;
}

SyncAction combined(std::span<const SyncAction> actions) {
    std::optional<SyncAction> result;
    for (const SyncAction action : actions) {
        if (action == SyncAction::doNothing) continue;
        if (!result) {
            result = action;
        } else if (*result != action) {
            return SyncAction::multiple;
        }
    }
    return result.value_or(SyncAction::doNothing);
}

SyncAction combined(std::initializer_list<SyncAction> actions) {
    return combined(std::span<const SyncAction>(actions.begin(), actions.size()));
}

}  // namespace quillfen
