// HistoryPopoverController: the popover of the main window's history
// button. It lists the operations the backup package remembers, newest
// first, each with its date and time and the name of the computer that ran
// it, and offers to clear them (after asking). It also keeps the history
// button titled with the date of the latest operation.
//
// It follows the viewer's did-reload announcements, which pass the
// package's history edits on, so the list and the title stay current
// whether the history changed here, in a run or on another computer.
// Clearing is an edit of the open package saved by the backup manager.
//
// Threads: main thread only.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include <memory>

#include "gantry/PopoverController.h"

namespace keel {
class NoteSubscriber;
}

namespace desktop {

class ShellContext;

class HistoryPopoverController : public gantry::PopoverController {
public:
    // `togglerButton` is the main window's history button.
    HistoryPopoverController(ShellContext& context, QToolButton* togglerButton);
    ~HistoryPopoverController() override;

    // Outlets, named after themselves.
    QWidget* contentView();
    QListWidget* historyTableView() { return (contentView(), historyTableView_); }
    QLabel* placeholderTextField() { return (contentView(), placeholderTextField_); }
    QPushButton* clearButton() { return (contentView(), clearButton_); }

    // Opens the popover under the history button, or closes it.
    void toggle();
    // Asks, then removes every event from the package and saves it.
    void clearHistory();
    // Re-reads the events into the list and the button's title.
    void update();

private:
    ShellContext& context_;
    QPointer<QToolButton> togglerButton_;
    QPointer<QWidget> contentView_;
    QPointer<QListWidget> historyTableView_;
    QPointer<QLabel> placeholderTextField_;
    QPointer<QPushButton> clearButton_;
    std::unique_ptr<keel::NoteSubscriber> viewerDidReloadSubscriber_;
};

}  // namespace desktop
