#include "app/SettingsFileNotice.h"

#include <utility>
#include <vector>

#include "app/BackupManager.h"
#include "keel/JSONLimits.h"
#include "keel/Strings.h"
#include "keel/UserSettings.h"
#include "local/AccessManager.h"
#include "local/LocalResources.h"

namespace quillfen {

std::optional<std::string> SettingsFileNotice::take() {
    std::optional<keel::UserSettings::SetAsideFile> setAside;
    try {
        setAside = keel::UserSettings::standard().takeSetAsideFile();
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!setAside) return std::nullopt;

    // The file does not parse, so what it held is guessed from the key names
    // in its text; a file that cannot be read at all may have held anything.
    std::string text;
    bool read = true;
    try {
        text = keel::readBoundedFile(setAside->keptAs);
    } catch (const std::exception&) {
        read = false;
    }
    const std::vector<std::pair<std::string, std::string>> known{
        {BackupManager::backupFileURLLocationKey.name, "the package location"},
        {LocalResources::localExcludeFileURLsKey.name, "the exclusions"},
        {AccessManager::accessBookmarksDataKey.name, "the access to the disk"}};
    std::vector<std::string> found, all;
    for (const auto& [key, what] : known) {
        all.push_back(what);
        if (read && text.find('"' + key + '"') != std::string::npos) found.push_back(what);
    }
    const auto list = [](const std::vector<std::string>& items) {
        std::string joined;
        for (std::size_t i = 0; i < items.size(); ++i)
            joined += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
        return joined;
    };

    std::string notice = "The settings file " +
                         keel::abreviatingTildeInPath(setAside->original.string()) +
                         " could not be read; it is kept as " +
                         keel::abreviatingTildeInPath(setAside->keptAs.string()) + ".";
    // A broken file may have lost the end of its text, so a key not seen
    // may still have been there.
    if (found.empty()) {
        notice += " Lost with it, perhaps: " + list(all) + ".";
    } else {
        notice += " Lost with it until set again: " + list(found) +
                  (found.size() < all.size() ? ", perhaps more." : ".");
    }
    return notice;
}

}  // namespace quillfen
