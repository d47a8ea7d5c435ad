// ReleaseEnvironment: what the release kit takes from the world around it:
// the application's bundle values, the sources of the system profile, the
// clock, the reachability check, the network manager, and the running
// program and home folder. The defaults are
// the real ones; tests replace them.
#pragma once

#include <QUrl>

#include <filesystem>
#include <functional>

#include "keel/Date.h"
#include "outfitter/BundleInfo.h"
#include "outfitter/SystemSources.h"

class QNetworkAccessManager;

namespace outfitter {

struct ReleaseEnvironment {
    BundleInfo bundle = BundleInfo::main();
    SystemSources sources;
    // The current moment; empty: the system clock.
    std::function<keel::Date()> now;
    // Whether a request to an address may go out; empty: Reachability.
    std::function<bool(const QUrl&)> reachability;
    // The network manager, owned by the caller, living on the main thread as
    // long as the controller; null: the controller makes its own.
    QNetworkAccessManager* network = nullptr;
    // The running program, whose location tells how Quillfen was installed
    // (see InstallLocation); empty: /proc/self/exe.
    std::filesystem::path program;
    // The user's home folder; empty: the real one.
    std::filesystem::path home;
};

}  // namespace outfitter
