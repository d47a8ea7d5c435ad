#include "desktop/ListCommand.h"

#include <array>

namespace desktop {

std::span<const ListCommandInfo> listCommandInfos() {
    static const std::array<ListCommandInfo, 7> infos{{
        {ListCommand::enableSelectedItems, "enableSelectedItems", "ItemsListEnableCommand",
         QKeySequence(Qt::CTRL | Qt::Key_E)},
        {ListCommand::disableSelectedItems, "disableSelectedItems", "ItemsListDisableCommand",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)},
        {ListCommand::toggleSelectedItems, "toggleSelectedItems", "ItemsListToggleCommand",
         QKeySequence(Qt::Key_Space)},
        {ListCommand::deleteSelectedItems, "deleteSelectedItems", "ItemsListDeleteCommand",
         QKeySequence(QKeySequence::Delete)},
        {ListCommand::showAppsInFinder, "showAppsInFinder", "ItemsListShowAppsCommand",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)},
        {ListCommand::showItemsInFinder, "showItemsInFinder", "ItemsListShowItemsCommand",
         QKeySequence(Qt::CTRL | Qt::Key_R)},
        {ListCommand::addCustomFiles, "addCustomFiles", "ItemsListAddFilesCommand",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)},
    }};
    return infos;
}

}  // namespace desktop
