#include "outfitter/UserActionsTracker.h"

#include <cstdio>

#include "keel/DispatchQueue.h"
#include "keel/UUID.h"
#include "keel/UserSettings.h"
#include "outfitter/AnalyticsReporter.h"
#include "outfitter/NetworkPolicy.h"
#include "outfitter/ReleaseController.h"
#include "outfitter/ReleaseSettings.h"
#include "outfitter/SystemProfile.h"

namespace outfitter {

namespace {

// A new client identifier: 16 lower-case hexadecimal digits.
std::string makeClientID() {
    std::string id;
    for (char c : keel::makeUUIDString()) {
        if (c == '-') continue;
        id.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        if (id.size() == 16) break;
    }
    return id;
}

std::string systemNameAndVersion(const SystemSources& sources) {
    const auto system = SystemProfile::operatingSystem(sources);
    return system.versionID.empty() ? system.id : system.id + " " + system.versionID;
}

}  // namespace

UserActionsTracker::UserActionsTracker(ReleaseController& releaseController)
    : releaseController_(releaseController) {
    // Consent switched off elsewhere (the preferences, another process
    // writing the file) takes effect at once.
    std::weak_ptr<int> alive = lifeToken_;
    auto& settings = keel::UserSettings::standard();
    settingsObserver_ = keel::NotificationCenter::defaultCenter().addObserver(
        keel::UserSettings::didEditKeyNotification, &settings,
        [this, alive](const keel::Notification& notification) {
            if (keel::UserSettings::editedKeyName(notification) !=
                ReleaseSettings::enableUsageAnalytics.name)
                return;
            keel::DispatchQueue::main().async([this, alive] {
                if (!alive.expired() && !isAnalyticsEnabled()) forgetClient();
            });
        });
}

UserActionsTracker::~UserActionsTracker() {
    keel::NotificationCenter::defaultCenter().removeObserver(settingsObserver_);
}

void UserActionsTracker::onMain(const std::function<void()>& work) {
    if (keel::DispatchQueue::isMainThread())
        work();
    else
        keel::DispatchQueue::main().sync(work);
}

bool UserActionsTracker::isAnalyticsEnabled() const {
    return keel::UserSettings::standard().get(ReleaseSettings::enableUsageAnalytics);
}

void UserActionsTracker::setAnalyticsEnabled(bool enabled) {
    keel::UserSettings::standard().set(ReleaseSettings::enableUsageAnalytics, enabled);
    if (!enabled) onMain([this] { forgetClient(); });
}

void UserActionsTracker::forgetClient() {
    reporter_.reset();
    auto& settings = keel::UserSettings::standard();
    if (!settings.get(ReleaseSettings::analyticsClientID())) return;
    try {
        settings.set(ReleaseSettings::analyticsClientID(), std::optional<std::string>());
    } catch (const std::exception& error) {
        std::printf("Cannot delete the analytics client identifier: %s\n", error.what());
    }
}

AnalyticsReporter* UserActionsTracker::ensureReporter() {
    if (!isAnalyticsEnabled()) {
        forgetClient();
        return nullptr;
    }
    if (reporter_) return reporter_.get();
    const auto& configuration = releaseController_.configuration();
    if (!configuration || !configuration->analyticsEndpoint || !configuration->analyticsSiteID)
        return nullptr;
    const QUrl endpoint(QString::fromStdString(*configuration->analyticsEndpoint),
                        QUrl::StrictMode);
    if (!NetworkPolicy::isAllowedAddress(endpoint)) return nullptr;

    auto& settings = keel::UserSettings::standard();
    std::string clientID = settings.get(ReleaseSettings::analyticsClientID()).value_or("");
    if (clientID.empty()) {
        clientID = makeClientID();
        try {
            settings.set(ReleaseSettings::analyticsClientID(), std::optional(clientID));
        } catch (const std::exception& error) {
            // Without a stored identifier every launch would count as a new user.
            std::printf("Cannot store the analytics client identifier: %s\n", error.what());
            return nullptr;
        }
    }

    const ReleaseEnvironment& environment = releaseController_.environment();
    const BundleInfo& bundle = environment.bundle;
    AnalyticsReporter::Identity identity;
    identity.endpoint = endpoint;
    identity.siteID = *configuration->analyticsSiteID;
    identity.clientID = clientID;
    identity.appName = bundle.name.value_or("(not set)");
    identity.appURL = "app://" + bundle.identifier.value_or("unknown") + "/";
    identity.language = SystemProfile::preferredLanguage(environment.sources).value_or("");
    if (environment.sources.screens) {
        const auto screens = environment.sources.screens();
        if (!screens.empty())
            identity.resolution = std::to_string(static_cast<long>(screens.front().width)) + "x" +
                                  std::to_string(static_cast<long>(screens.front().height));
    }
    identity.userAgent = QByteArray::fromStdString(bundle.name.value_or("Quillfen") + "/" +
                                                   bundle.shortVersion.value_or("0") + " (Linux; " +
                                                   systemNameAndVersion(environment.sources) + ")");
    reporter_ =
        std::make_unique<AnalyticsReporter>(releaseController_.network(), std::move(identity));
    return reporter_.get();
}

void UserActionsTracker::startTracking() {
    onMain([this] {
        if (auto* reporter = ensureReporter()) reporter->session(true);
    });
}

void UserActionsTracker::stopTracking() {
    onMain([this] {
        if (auto* reporter = ensureReporter()) reporter->session(false);
    });
}

void UserActionsTracker::trackUserDeviceVersion() {
    track("Device Version", systemNameAndVersion(releaseController_.environment().sources));
}

void UserActionsTracker::trackUserAction(const std::string& name) {
    track("User action", name);
}

void UserActionsTracker::track(const std::string& key, const std::string& name) {
    onMain([&] {
        if (auto* reporter = ensureReporter()) reporter->event(key, name);
    });
}

void UserActionsTracker::applicationDidBecomeActive() {
    startTracking();
    trackUserDeviceVersion();
}

void UserActionsTracker::applicationWillResignActive() {
    stopTracking();
}

void UserActionsTracker::applicationWillTerminate() {
    onMain([this] { reporter_.reset(); });
}

}  // namespace outfitter
