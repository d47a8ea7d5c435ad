// NetworkPolicy: where the release kit may send anything. Every request goes
// over HTTPS, except to this computer's own loopback addresses (how the tests
// run a plain HTTP server); a redirect may never lead somewhere less safe.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <QString>
#include <QUrl>

namespace outfitter {

struct NetworkPolicy {
    // "localhost", or a literal address in 127.0.0.0/8 or ::1.
    static bool isLoopbackHost(const QString& host);
    // An HTTPS address with a host, or an HTTP address of a loopback host.
    static bool isAllowedAddress(const QUrl& url);
    // Whether a request to `from` may follow a redirect to `to`: `to` must be
    // allowed itself and must not give up HTTPS.
    static bool isAllowedRedirect(const QUrl& from, const QUrl& to);
};

}  // namespace outfitter
