// UserActionsTracker: the release kit's usage statistics, a life-cycle
// handler of the release controller. A visit starts when the application
// becomes active (with the system's version as an event), a ping ends it when
// the application resigns, and the application reports named user actions.
//
// Nothing is sent, and no identifier exists, until the user agreed: the
// "EnableUsageAnalytics" setting, off by default. Switching it off deletes
// the random client identifier and drops every waiting hit; switching it on
// later makes a new identifier. Statistics also need a configured endpoint
// and site (see ReleaseConfiguration); a build without them sends nothing.
//
// Threads: every member may be called from any thread; the work runs on the
// main thread (a call from another thread waits for it there).
#pragma once

#include <memory>
#include <string>

#include "keel/NotificationCenter.h"
#include "outfitter/AppLifeCycleHandler.h"

namespace outfitter {

class AnalyticsReporter;
class ReleaseController;

class UserActionsTracker : public AppLifeCycleHandler {
public:
    explicit UserActionsTracker(ReleaseController& releaseController);
    ~UserActionsTracker() override;

    void startTracking();
    void stopTracking();
    // The event "Device Version" with the system's name and version ("debian 12").
    void trackUserDeviceVersion();
    // The event "User action" with `name`.
    void trackUserAction(const std::string& name);
    // The event of category `key` and action `name`.
    void track(const std::string& key, const std::string& name);

    // The user's consent, as stored in the settings.
    bool isAnalyticsEnabled() const;
    // Stores the consent; see above for what switching it off does. Throws
    // like keel::UserSettings::set.
    void setAnalyticsEnabled(bool enabled);

    // The reporter while statistics are on and configured; for tests.
    AnalyticsReporter* reporter() const { return reporter_.get(); }

    void applicationWillFinishLaunch() override {}
    void applicationDidFinishLaunch() override {}
    void applicationDidBecomeActive() override;
    void applicationWillResignActive() override;
    // Drops what has not been sent: nothing is sent while the program ends.
    void applicationWillTerminate() override;
    bool askCanQuitApplication() override { return true; }

    ReleaseController& releaseController() const { return releaseController_; }

private:
    void onMain(const std::function<void()>& work);
    // The reporter when statistics may be sent, made on first need; without
    // consent it is dropped and the identifier deleted.
    AnalyticsReporter* ensureReporter();
    void forgetClient();

    ReleaseController& releaseController_;
    std::unique_ptr<AnalyticsReporter> reporter_;
    keel::NotificationCenter::Token settingsObserver_ = 0;
    std::shared_ptr<int> lifeToken_ = std::make_shared<int>(0);
};

}  // namespace outfitter
