// ContentViewController: a view the main window shows in its content area,
// one per sidebar button (applications, command-line tools, files, note).
// The window asks before it switches (`shouldAppear`, `shouldDisappear`) and
// tells the controllers around the switch (`willAppear` ... `didDisappear`).
// Each controller is made with the main window controller and keeps it as a
// back reference (MainWindowSubcomponent); its view (gantry::ViewController)
// is what the window places in its container.
//
// Threads: main thread only.
#pragma once

#include "gantry/ViewController.h"

namespace desktop {

class MainWindowController;

class MainWindowSubcomponent {
public:
    explicit MainWindowSubcomponent(MainWindowController& mainWindowController)
        : mainWindowController_(mainWindowController) {}
    virtual ~MainWindowSubcomponent() = default;

    MainWindowController& mainWindowController() const { return mainWindowController_; }

private:
    MainWindowController& mainWindowController_;
};

class ContentViewController : public gantry::ViewController, public MainWindowSubcomponent {
public:
    using MainWindowSubcomponent::MainWindowSubcomponent;

    virtual bool shouldAppear() { return true; }
    virtual void willAppear() {}
    virtual void didAppear() {}
    virtual bool shouldDisappear() { return true; }
    virtual void willDisappear() {}
    virtual void didDisappear() {}
    // Before the application quits: starts saving what the user changed and
    // a timer would save later. Returns whether a save was started, which
    // the quit then waits for.
    virtual bool saveBeforeQuitting() { return false; }
};

}  // namespace desktop
