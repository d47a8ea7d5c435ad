#include "desktop/MakerLinks.h"

#include <QUrlQuery>

#include "keel/LocalizedString.h"
#include "outfitter/BuildSettings.h"

namespace desktop {

namespace {

QUrl secureLink(const std::string& text) {
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != "https" || url.host().isEmpty()) return {};
    return url;
}

}  // namespace

MakerLinks MakerLinks::fromBuildSettings(const outfitter::BuildSettings& settings) {
    return {secureLink(settings.websiteURL), secureLink(settings.twitterURL),
            secureLink(settings.supportURL)};
}

QUrl MakerLinks::tellAFriendMail() const {
    const std::string body = website.isEmpty() ? keel::TL("TellAFriendMailBody")
                                               : keel::TL("TellAFriendMailBodyWithLink",
                                                          website.toString().toStdString());
    QUrlQuery query;
    query.addQueryItem("subject", QString::fromStdString(keel::TL("TellAFriendMailSubject")));
    query.addQueryItem("body", QString::fromStdString(body));
    QUrl mail("mailto:");
    mail.setQuery(query);
    return mail;
}

}  // namespace desktop
