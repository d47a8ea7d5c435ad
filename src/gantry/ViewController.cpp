#include "gantry/ViewController.h"

namespace gantry {

ViewController::~ViewController() {
    if (view_ && !view_->parent()) delete view_.data();
}

QWidget* ViewController::view() {
    if (!loaded_) {
        loaded_ = true;
        view_ = loadView();
        viewDidLoad();
    }
    return view_;
}

}  // namespace gantry
