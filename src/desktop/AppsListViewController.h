// AppsListViewController: the list of the applications: those installed on this computer and those
// the package records, each with its found marker, icon, name, number of settings paths, last
// back-up, state and switch.
//
// Threads: main thread only.
#pragma once

#include "app/BackupAppEntry.h"
#include "desktop/EntryListViewController.h"

namespace desktop {

class AppsListViewController : public EntryListViewController<quillfen::BackupAppEntry> {
public:
    AppsListViewController(MainWindowController& mainWindowController, ShellContext& context);
};

}  // namespace desktop
