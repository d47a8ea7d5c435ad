// BackupAction: the long operations that go through the backup manager, one
// at a time. The raw values (0 to 10, in declaration order) are stable; new
// actions are added at the end.
#pragma once

#include <optional>
#include <string>

namespace quillfen {

enum class BackupAction {
    readBackupFile,
    saveBackupFile,
    moveBackupFile,
    replaceBackupFile,
    importBackupFile,
    exportBackupFile,
    reloadViewer,
    backUpDevice,
    installDevice,
    syncDevice,
    // Put back what the last install or synchronize run replaced.
    undoInstall,
};

// The localization key of the action's progress title ("SyncActionReadingBackupFile", ...).
std::string progressTitleKey(BackupAction action);
// The localized text of that key.
std::string progressTitle(BackupAction action);

// Whether the viewer is rebuilt after the action: after all but save and export.
bool reloadsViewer(BackupAction action);

}  // namespace quillfen
