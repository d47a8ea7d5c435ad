// MakerLinks: the addresses the application links to, fixed when it is
// built (the maker's website and social page, the support page), and the
// mail that tells a friend about the application. A link that is not set,
// or not an HTTPS address, is empty, and the command that would open it is
// not offered.
//
// A plain value; build it on the main thread.
#pragma once

#include <QUrl>

namespace outfitter {
struct BuildSettings;
}

namespace desktop {

struct MakerLinks {
    QUrl website;
    QUrl twitter;
    QUrl support;

    static MakerLinks fromBuildSettings(const outfitter::BuildSettings& settings);

    // A "mailto:" address with a subject and a text about the application
    // (naming the website when there is one) and no recipient: the user's
    // mail program asks for one.
    QUrl tellAFriendMail() const;
};

}  // namespace desktop
