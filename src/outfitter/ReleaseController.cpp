#include "outfitter/ReleaseController.h"

#include "outfitter/FeedbackReporter.h"
#include "outfitter/Presenter.h"
#include "outfitter/Updater.h"
#include "outfitter/UserActionsTracker.h"

namespace outfitter {

ReleaseController& ReleaseController::shared() {
    // Never destroyed: the network manager must not outlive the application
    // object, whose end comes before static destruction.
    static ReleaseController* controller = new ReleaseController();
    return *controller;
}

ReleaseController::ReleaseController(ReleaseEnvironment environment)
    : environment_(std::move(environment)) {}

ReleaseController::~ReleaseController() = default;

void ReleaseController::setConfiguration(std::optional<ReleaseConfiguration> configuration) {
    configuration_ = std::move(configuration);
}

void ReleaseController::setPresenter(std::shared_ptr<Presenter> presenter) {
    presenter_ = std::move(presenter);
}

void ReleaseController::setScreensProvider(std::function<std::vector<ScreenInfo>()> screens) {
    environment_.sources.screens = std::move(screens);
}

keel::Date ReleaseController::now() const {
    return environment_.now ? environment_.now() : keel::Date::now();
}

QNetworkAccessManager& ReleaseController::network() {
    if (environment_.network) return *environment_.network;
    if (!ownNetwork_) ownNetwork_ = std::make_unique<QNetworkAccessManager>();
    return *ownNetwork_;
}

Updater& ReleaseController::updater() {
    if (!updater_) updater_ = std::make_unique<Updater>(*this);
    return *updater_;
}

FeedbackReporter& ReleaseController::feedbackReporter() {
    if (!feedbackReporter_) feedbackReporter_ = std::make_unique<FeedbackReporter>(*this);
    return *feedbackReporter_;
}

UserActionsTracker& ReleaseController::userActionsTracker() {
    if (!userActionsTracker_) userActionsTracker_ = std::make_unique<UserActionsTracker>(*this);
    return *userActionsTracker_;
}

std::vector<AppLifeCycleHandler*> ReleaseController::appLifeCycleHandlers() {
    return {&updater(), &feedbackReporter(), &userActionsTracker()};
}

void ReleaseController::applicationWillFinishLaunch() {
    updater().moveToApplicationsFolderIfNeeded();
    for (AppLifeCycleHandler* handler : appLifeCycleHandlers())
        handler->applicationWillFinishLaunch();
}

void ReleaseController::applicationDidFinishLaunch() {
    for (AppLifeCycleHandler* handler : appLifeCycleHandlers())
        handler->applicationDidFinishLaunch();
}

void ReleaseController::applicationDidBecomeActive() {
    for (AppLifeCycleHandler* handler : appLifeCycleHandlers())
        handler->applicationDidBecomeActive();
}

void ReleaseController::applicationWillResignActive() {
    for (AppLifeCycleHandler* handler : appLifeCycleHandlers())
        handler->applicationWillResignActive();
}

void ReleaseController::applicationWillTerminate() {
    for (AppLifeCycleHandler* handler : appLifeCycleHandlers())
        handler->applicationWillTerminate();
}

bool ReleaseController::askCanQuitApplication() {
    for (AppLifeCycleHandler* handler : appLifeCycleHandlers())
        if (!handler->askCanQuitApplication()) return false;
    return true;
}

}  // namespace outfitter
