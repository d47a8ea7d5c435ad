// ItemStatePopoverController: the popover of an item's settings paths: the
// item's name and, per path, its synchronization state, with a button that
// shows the path in the file manager when it exists on this computer. One
// controller serves every row of a list.
//
// Threads: main thread only.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QTableWidget>

#include <string>

#include "gantry/PopoverController.h"
#include "sync/SyncItemState.h"

namespace desktop {

class ShellContext;

class ItemStatePopoverController : public gantry::PopoverController {
public:
    explicit ItemStatePopoverController(ShellContext& context) : context_(context) {}
    ~ItemStatePopoverController() override;

    QWidget* contentView();
    QLabel* nameTextField() { return (contentView(), nameTextField_); }
    QTableWidget* tableView() { return (contentView(), tableView_); }

    // Shows `state` of the item `name`.
    void setSyncItemState(const std::string& name, const quillfen::SyncItemState& state);
    // Opens the popover at `anchor` showing `state`, or closes it when open.
    void toggle(QWidget* anchor, const std::string& name, const quillfen::SyncItemState& state);

private:
    ShellContext& context_;
    QPointer<QWidget> contentView_;
    QPointer<QLabel> nameTextField_;
    QPointer<QTableWidget> tableView_;
};

}  // namespace desktop
