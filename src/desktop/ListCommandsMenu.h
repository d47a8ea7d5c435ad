// ListCommandsMenu: the menu bar's Items menu: Enable, Disable, Switch On or
// Off, Delete, the two Show in File Manager commands and Add Files, for the
// list the main window shows. Each item follows the list's own action: it is
// enabled when that action is (the selection allows the command and the
// manager is idle), and choosing it triggers that action. With no list shown
// (the note) every item is disabled.
//
// The items show the lists' shortcuts without taking them: the list owns
// them while it has the focus (Space and Delete must reach a text field when
// one has it), so one key never has two meanings.
//
// Threads: main thread only.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <memory>
#include <utility>
#include <vector>

#include "desktop/ListCommand.h"

class QAction;
class QMenu;

namespace keel {
class NoteSubscriber;
}

namespace desktop {

class MainWindowController;

class ListCommandsMenu : public QObject {
public:
    // Fills `menu` (and lives as long as it) with the commands of the lists
    // of `mainWindowController`'s window.
    ListCommandsMenu(MainWindowController& mainWindowController, QMenu* menu);
    ~ListCommandsMenu() override;

    // The menu item of `command`.
    QAction* action(ListCommand command) const;

private:
    // Follows the list now shown.
    void retarget();
    void update();

    MainWindowController& mainWindowController_;
    std::vector<std::pair<ListCommand, QPointer<QAction>>> items_;
    ListCommandTarget* target_ = nullptr;
    std::vector<QMetaObject::Connection> targetConnections_;
    std::unique_ptr<keel::NoteSubscriber> contentSubscriber_;
};

}  // namespace desktop
