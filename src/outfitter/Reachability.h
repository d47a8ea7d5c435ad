// Reachability: whether the network lets a request to a host go out at all.
// The answer is false only when the system says so (no host, or no network
// connection at all); where the system cannot tell, the request is let go
// and fails on its own. Loopback hosts are always reachable.
//
// Thread safety: main thread only.
#pragma once

#include <QUrl>

namespace outfitter {

struct Reachability {
    static bool isReachable(const QUrl& url);
};

}  // namespace outfitter
