#include "outfitter/ReleaseConfiguration.h"

#include "outfitter/BuildSettings.h"
#include "outfitter/ReleaseSettings.h"

namespace outfitter {

namespace {

std::optional<std::string> present(const std::string& value) {
    if (value.empty()) return std::nullopt;
    return value;
}

}  // namespace

ReleaseConfiguration::ReleaseConfiguration()
    : feedbackExcludedKeys{ReleaseSettings::userName.name, ReleaseSettings::userEmail.name},
      feedbackConsoleLogDate{keel::Date::now().timeIntervalSinceReferenceDate - 24 * 60 * 60} {}

ReleaseConfiguration ReleaseConfiguration::fromBuildSettings(const BuildSettings& settings) {
    ReleaseConfiguration configuration;
    configuration.feedbackServer = present(settings.feedbackServer);
    configuration.feedbackKey = present(settings.feedbackKey);
    configuration.feedbackTwitterURL = present(settings.twitterURL);
    configuration.feedbackYoutubeURL = present(settings.youtubeURL);
    configuration.feedbackForumURL = present(settings.forumURL);
    configuration.analyticsEndpoint = present(settings.analyticsEndpoint);
    configuration.analyticsSiteID = present(settings.analyticsSiteID);
    return configuration;
}

}  // namespace outfitter
