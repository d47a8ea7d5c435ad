// PopoverController: the base of controllers that show their view in a
// popover (a history list, the states of an item, an explanation). It owns
// one popover, made for a content view by `createPopover`, and opens it at
// an edge of an anchor view, toggles it, or closes it. A toggle may take a
// block that refreshes the content; it runs just before the popover opens.
//
// Threads: main thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

#include "gantry/Popover.h"

namespace gantry {

class PopoverController {
public:
    using ReloadBlock = std::function<void()>;

    PopoverController() = default;
    virtual ~PopoverController();
    PopoverController(const PopoverController&) = delete;
    PopoverController& operator=(const PopoverController&) = delete;

    // Makes the popover for `content` (replacing one made before), owned by
    // `window` and destroyed with it.
    void createPopover(QWidget* content, QWidget* window);
    // Null before `createPopover` and after its window went.
    Popover* popover() const { return popover_; }
    bool popoverIsShown() const { return popover_ && popover_->isShown(); }

    void showPopoverAtTop(QWidget* anchor) { showPopover(anchor, PopoverEdge::top); }
    void showPopoverAtLeft(QWidget* anchor) { showPopover(anchor, PopoverEdge::left); }
    void showPopoverAtRight(QWidget* anchor) { showPopover(anchor, PopoverEdge::right); }
    void showPopoverAtBottom(QWidget* anchor) { showPopover(anchor, PopoverEdge::bottom); }

    // Opens the popover at that edge when it is closed, closes it when open.
    void togglePopoverAtTop(QWidget* anchor, ReloadBlock reloadBlock = {}) {
        togglePopover(anchor, PopoverEdge::top, std::move(reloadBlock));
    }
    void togglePopoverAtLeft(QWidget* anchor, ReloadBlock reloadBlock = {}) {
        togglePopover(anchor, PopoverEdge::left, std::move(reloadBlock));
    }
    void togglePopoverAtRight(QWidget* anchor, ReloadBlock reloadBlock = {}) {
        togglePopover(anchor, PopoverEdge::right, std::move(reloadBlock));
    }
    void togglePopoverAtBottom(QWidget* anchor, ReloadBlock reloadBlock = {}) {
        togglePopover(anchor, PopoverEdge::bottom, std::move(reloadBlock));
    }

    void closePopover();
    // The same, as the action of a close button.
    void performClosePopover() { closePopover(); }

protected:
    void showPopover(QWidget* anchor, PopoverEdge edge);
    void togglePopover(QWidget* anchor, PopoverEdge edge, ReloadBlock reloadBlock);

private:
    QPointer<Popover> popover_;
};

}  // namespace gantry
