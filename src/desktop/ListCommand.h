// ListCommand: the commands of the item lists (context menu, shortcuts and
// the menu bar's Items menu), and ListCommandTarget, what a list offers the
// menu bar: the action of each command it answers, enabled while the command
// can run on the list's selection.
//
// Threads: main thread only.
#pragma once

#include <QKeySequence>

#include <span>

class QAction;

namespace desktop {

enum class ListCommand {
    enableSelectedItems,
    disableSelectedItems,
    toggleSelectedItems,
    deleteSelectedItems,
    showAppsInFinder,
    showItemsInFinder,
    addCustomFiles,
};

struct ListCommandInfo {
    ListCommand command;
    // The objectName of the command's actions.
    const char* objectName;
    // The string table's key of its title.
    const char* titleKey;
    QKeySequence shortcut;
};

// Every command, in menu order.
std::span<const ListCommandInfo> listCommandInfos();

class ListCommandTarget {
public:
    virtual ~ListCommandTarget() = default;

    // The command's action, or null when this list does not offer it. The
    // action's enabled state follows the list's selection and the manager's
    // work; triggering it runs the command.
    virtual QAction* action(ListCommand command) = 0;
};

}  // namespace desktop
