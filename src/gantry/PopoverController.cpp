#include "gantry/PopoverController.h"

namespace gantry {

PopoverController::~PopoverController() {
    // The popover belongs to its window, which may outlive the controller.
    delete popover_.data();
}

void PopoverController::createPopover(QWidget* content, QWidget* window) {
    delete popover_.data();
    popover_ = new Popover(content, window);
}

void PopoverController::showPopover(QWidget* anchor, PopoverEdge edge) {
    if (popover_) popover_->showAt(anchor, edge);
}

void PopoverController::togglePopover(QWidget* anchor, PopoverEdge edge, ReloadBlock reloadBlock) {
    if (!popover_) return;
    if (popover_->isShown()) {
        popover_->close();
        return;
    }
    if (reloadBlock) reloadBlock();
    popover_->showAt(anchor, edge);
}

void PopoverController::closePopover() {
    if (popover_ && popover_->isShown()) popover_->close();
}

}  // namespace gantry
