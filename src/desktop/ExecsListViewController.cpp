#include "desktop/ExecsListViewController.h"

#include "desktop/EntryColumns.h"

namespace desktop {

using quillfen::BackupExecEntry;

ExecsListViewController::ExecsListViewController(MainWindowController& mainWindowController,
                                                 ShellContext& context)
    : EntryListViewController(
          mainWindowController, context, quillfen::ItemKind::exec, "ExecsListView",
          {columns::found<BackupExecEntry>("ExecFoundColumn"),
           columns::icon<BackupExecEntry>("ExecIconColumn"),
           columns::title<BackupExecEntry>("ExecNameColumn", "ItemsListNameColumnTitle"),
           columns::itemsCount<BackupExecEntry>("ExecItemsCountColumn"),
           columns::backupDate<BackupExecEntry>("ExecBackupDateColumn"),
           columns::state<BackupExecEntry>("ExecStateColumn"),
           columns::activation<BackupExecEntry>("ExecActionColumn",
                                                [this](int row) { toggleRow(row); })},
          {ListCommand::enableSelectedItems, ListCommand::disableSelectedItems,
           ListCommand::toggleSelectedItems, ListCommand::deleteSelectedItems,
           ListCommand::showItemsInFinder}) {}

}  // namespace desktop
