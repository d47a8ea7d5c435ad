// BuildSettings: the addresses and keys the release kit is built with. Every
// one is a build-time setting (see CMakeLists.txt in this folder) and empty by
// default, so that a build made without them talks to nobody.
//
// Thread safety: immutable; may be read from any thread.
#pragma once

#include <string>

namespace outfitter {

struct BuildSettings {
    std::string feedbackServer;     // HTTPS address of the feedback service
    std::string feedbackKey;        // its access key
    std::string analyticsEndpoint;  // HTTPS address of a Matomo tracking endpoint
    std::string analyticsSiteID;    // the Matomo site of this application
    std::string updateFeedURL;      // HTTPS address of the update feed
    std::string updatePublicKey;    // the feed's signing key, Base64
    std::string twitterURL;         // the maker's pages
    std::string youtubeURL;
    std::string forumURL;
    std::string websiteURL;
    std::string supportURL;
    std::string storeURL;  // where the application is offered and rated

    static const BuildSettings& current();
};

}  // namespace outfitter
