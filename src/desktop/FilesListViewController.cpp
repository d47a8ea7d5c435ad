#include "desktop/FilesListViewController.h"

#include "desktop/EntryColumns.h"

namespace desktop {

using quillfen::BackupFileEntry;

FilesListViewController::FilesListViewController(MainWindowController& mainWindowController,
                                                 ShellContext& context)
    : EntryListViewController(
          mainWindowController, context, quillfen::ItemKind::file, "FilesListView",
          {columns::found<BackupFileEntry>("FileFoundColumn"),
           columns::icon<BackupFileEntry>("FileIconColumn"),
           columns::title<BackupFileEntry>("FilePathColumn", "ItemsListPathColumnTitle"),
           columns::backupDate<BackupFileEntry>("FileUpdateColumn"),
           columns::state<BackupFileEntry>("FileStateColumn")},
          {ListCommand::deleteSelectedItems, ListCommand::showItemsInFinder,
           ListCommand::addCustomFiles}) {}

}  // namespace desktop
