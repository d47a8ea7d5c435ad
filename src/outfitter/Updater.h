// Updater: the release kit's software-update service, one of the release
// controller's life-cycle handlers. This version knows no update source: it
// never checks for updates and never refuses a quit.
//
// Threads: main thread only.
#pragma once

#include "outfitter/AppLifeCycleHandler.h"

namespace outfitter {

class ReleaseController;

class Updater : public AppLifeCycleHandler {
public:
    explicit Updater(ReleaseController& releaseController)
        : releaseController_(releaseController) {}

    // Linux programs are installed by a package manager or run from where
    // the user put them: there is no folder to move the program into.
    void moveToApplicationsFolderIfNeeded() {}

    void applicationWillFinishLaunch() override {}
    void applicationDidFinishLaunch() override {}
    void applicationDidBecomeActive() override {}
    void applicationWillResignActive() override {}
    void applicationWillTerminate() override {}
    bool askCanQuitApplication() override { return true; }

    ReleaseController& releaseController() const { return releaseController_; }

private:
    ReleaseController& releaseController_;
};

}  // namespace outfitter
