// ViewController: the base of controllers that manage one view, built on
// first need. `view()` builds it through `loadView()` the first time and
// then calls `viewDidLoad()`; `forceLoadIfNeeded()` builds it without
// asking for it, so that the controller's outlets exist.
//
// The view belongs to whichever widget it is put in; a view never put in one
// is destroyed with the controller.
//
// Threads: main thread only.
#pragma once

#include <QPointer>
#include <QWidget>

namespace gantry {

class ViewController {
public:
    ViewController() = default;
    virtual ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    QWidget* view();
    bool isViewLoaded() const { return loaded_; }
    void forceLoadIfNeeded() { view(); }

protected:
    // Builds the view with its subviews; called once.
    virtual QWidget* loadView() = 0;
    virtual void viewDidLoad() {}

private:
    QPointer<QWidget> view_;
    bool loaded_ = false;
};

}  // namespace gantry
