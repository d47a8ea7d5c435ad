// AppLifeCycleHandler: a service of the release kit that follows the host
// application's life: the release controller passes each event to its
// handlers in a fixed order, and asks them whether the application may quit.
//
// Threads: every member is called on the main thread.
#pragma once

namespace outfitter {

class AppLifeCycleHandler {
public:
    virtual ~AppLifeCycleHandler() = default;

    virtual void applicationWillFinishLaunch() = 0;
    virtual void applicationDidFinishLaunch() = 0;
    virtual void applicationDidBecomeActive() = 0;
    virtual void applicationWillResignActive() = 0;
    virtual void applicationWillTerminate() = 0;
    // False keeps the application running; a handler may ask the user first.
    virtual bool askCanQuitApplication() = 0;
};

}  // namespace outfitter
