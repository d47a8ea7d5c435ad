// FilesListViewController: the list of the files and folders the user picked, each with its icon,
// path, last back-up and state; it also adds files.
//
// Threads: main thread only.
#pragma once

#include "app/BackupFileEntry.h"
#include "desktop/EntryListViewController.h"

namespace desktop {

class FilesListViewController : public EntryListViewController<quillfen::BackupFileEntry> {
public:
    FilesListViewController(MainWindowController& mainWindowController, ShellContext& context);
};

}  // namespace desktop
