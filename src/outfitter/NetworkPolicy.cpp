#include "outfitter/NetworkPolicy.h"

#include <QHostAddress>

namespace outfitter {

bool NetworkPolicy::isLoopbackHost(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}

bool NetworkPolicy::isAllowedAddress(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https")) return true;
    return scheme == QLatin1String("http") && isLoopbackHost(url.host());
}

bool NetworkPolicy::isAllowedRedirect(const QUrl& from, const QUrl& to) {
    if (!isAllowedAddress(to)) return false;
    const bool fromSecure = from.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const bool toSecure = to.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    return toSecure || !fromSecure;
}

}  // namespace outfitter
