// ReleaseController: the release kit's entry point. The host application
// gives it a configuration at launch and forwards its life-cycle events; the
// controller creates the kit's services on first use (updates, feedback,
// usage statistics) and passes each event to them in that fixed order.
//
// `shared()` is the one instance of the program, made on first use on the
// main thread and kept until the process ends. Tests make their own
// instances, each with its own environment and network manager.
//
// Threads: main thread only, with a QCoreApplication running there.
#pragma once

#include <QNetworkAccessManager>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "outfitter/AppLifeCycleHandler.h"
#include "outfitter/ReleaseConfiguration.h"
#include "outfitter/ReleaseEnvironment.h"

namespace outfitter {

class FeedbackReporter;
class Presenter;
class Updater;
class UserActionsTracker;

class ReleaseController {
public:
    static ReleaseController& shared();

    explicit ReleaseController(ReleaseEnvironment environment = {});
    ~ReleaseController();
    ReleaseController(const ReleaseController&) = delete;
    ReleaseController& operator=(const ReleaseController&) = delete;

    // None until the host sets it; services read it when they need it, so
    // without one they do nothing. May be replaced at any time.
    const std::optional<ReleaseConfiguration>& configuration() const { return configuration_; }
    void setConfiguration(std::optional<ReleaseConfiguration> configuration);

    // The window layer's presenter; none (nothing shown) until it installs one.
    Presenter* presenter() const { return presenter_.get(); }
    void setPresenter(std::shared_ptr<Presenter> presenter);
    // The window layer's list of screens, for the system profile and statistics.
    void setScreensProvider(std::function<std::vector<ScreenInfo>()> screens);

    const ReleaseEnvironment& environment() const { return environment_; }
    keel::Date now() const;
    QNetworkAccessManager& network();

    Updater& updater();
    FeedbackReporter& feedbackReporter();
    UserActionsTracker& userActionsTracker();
    // [updater, feedback reporter, usage tracker], each made on first use.
    std::vector<AppLifeCycleHandler*> appLifeCycleHandlers();

    // Lets the updater offer its move first, then forwards to every handler.
    void applicationWillFinishLaunch();
    void applicationDidFinishLaunch();
    void applicationDidBecomeActive();
    void applicationWillResignActive();
    void applicationWillTerminate();
    // Asks the handlers in order; the first that refuses ends the walk and
    // is the answer; true when all agree.
    bool askCanQuitApplication();

private:
    ReleaseEnvironment environment_;
    std::optional<ReleaseConfiguration> configuration_;
    std::shared_ptr<Presenter> presenter_;
    std::unique_ptr<QNetworkAccessManager> ownNetwork_;
    // Declared after the network manager: destroyed before it.
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<FeedbackReporter> feedbackReporter_;
    std::unique_ptr<UserActionsTracker> userActionsTracker_;
};

}  // namespace outfitter
