#include "desktop/AppsListViewController.h"

#include "desktop/EntryColumns.h"

namespace desktop {

using quillfen::BackupAppEntry;

AppsListViewController::AppsListViewController(MainWindowController& mainWindowController,
                                               ShellContext& context)
    : EntryListViewController(
          mainWindowController, context, quillfen::ItemKind::app, "AppsListView",
          {columns::found<BackupAppEntry>("AppFoundColumn"),
           columns::icon<BackupAppEntry>("AppIconColumn"),
           columns::title<BackupAppEntry>("AppNameColumn", "ItemsListNameColumnTitle"),
           columns::itemsCount<BackupAppEntry>("AppItemsCountColumn"),
           columns::backupDate<BackupAppEntry>("AppBackupDateColumn"),
           columns::state<BackupAppEntry>("AppStateColumn"),
           columns::activation<BackupAppEntry>("AppActionColumn",
                                               [this](int row) { toggleRow(row); })},
          {ListCommand::enableSelectedItems, ListCommand::disableSelectedItems,
           ListCommand::toggleSelectedItems, ListCommand::deleteSelectedItems,
           ListCommand::showAppsInFinder, ListCommand::showItemsInFinder}) {}

}  // namespace desktop
