// ExecsListViewController: the list of the catalog's command-line tools and system settings,
// recorded or not, with the same columns as the applications.
//
// Threads: main thread only.
#pragma once

#include "app/BackupExecEntry.h"
#include "desktop/EntryListViewController.h"

namespace desktop {

class ExecsListViewController : public EntryListViewController<quillfen::BackupExecEntry> {
public:
    ExecsListViewController(MainWindowController& mainWindowController, ShellContext& context);
};

}  // namespace desktop
