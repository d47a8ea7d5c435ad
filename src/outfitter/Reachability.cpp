#include "outfitter/Reachability.h"

#include <QNetworkInformation>

#include "outfitter/NetworkPolicy.h"

namespace outfitter {

bool Reachability::isReachable(const QUrl& url) {
    if (url.host().isEmpty()) return false;
    if (NetworkPolicy::isLoopbackHost(url.host())) return true;
    static const bool loaded = QNetworkInformation::loadDefaultBackend();
    QNetworkInformation* information = loaded ? QNetworkInformation::instance() : nullptr;
    if (!information) return true;
    return information->reachability() != QNetworkInformation::Reachability::Disconnected;
}

}  // namespace outfitter
