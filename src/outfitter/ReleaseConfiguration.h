// ReleaseConfiguration: what the host application tells the release kit about
// its services: where feedback goes, where usage statistics go (only ever sent
// after the user agreed), the maker's pages, and how updates are checked.
// `ReleaseConfiguration()` gives the defaults; `fromBuildSettings()` fills in
// the addresses this program was built with.
//
// Thread safety: a plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "keel/Date.h"

namespace outfitter {

struct BuildSettings;

struct ReleaseConfiguration {
    ReleaseConfiguration();

    // The defaults with every address and key of `settings` that is set.
    static ReleaseConfiguration fromBuildSettings(const BuildSettings& settings);

    std::optional<std::string> feedbackServer;  // the feedback request address
    std::optional<std::string> feedbackKey;     // the access key appended to it
    // Settings keys left out of the preferences sent with a feedback.
    std::vector<std::string> feedbackExcludedKeys;
    keel::Date feedbackConsoleLogDate;          // oldest console message sent: one day ago
    std::int64_t feedbackConsoleLength = 2000;  // about how many characters of it
    bool feedbackEnableAttachments = false;     // whether the feedback window takes files
    std::optional<std::string> feedbackTwitterURL;
    std::optional<std::string> feedbackYoutubeURL;
    std::optional<std::string> feedbackForumURL;
    // The Matomo tracking endpoint and site; statistics need both, and the
    // user's consent (see UserActionsTracker).
    std::optional<std::string> analyticsEndpoint;
    std::optional<std::string> analyticsSiteID;
    std::optional<bool> checkForUpdatesAtLaunch;
    std::optional<bool> checkForUpdatesAutomatically;
};

}  // namespace outfitter
