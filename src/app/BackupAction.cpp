#include "app/BackupAction.h"

#include "keel/LocalizedString.h"

namespace quillfen {

std::string progressTitleKey(BackupAction action) {
    switch (action) {
        case BackupAction::readBackupFile:
            return "SyncActionReadingBackupFile";
        case BackupAction::saveBackupFile:
            return "SyncActionSavingBackupFile";
        case BackupAction::moveBackupFile:
            return "SyncActionMovingBackupFile";
        case BackupAction::replaceBackupFile:
            return "SyncActionReplacingBackupFile";
        case BackupAction::importBackupFile:
            return "SyncActionImportingBackupFile";
        case BackupAction::exportBackupFile:
            return "SyncActionExportingBackupFile";
        case BackupAction::reloadViewer:
            return "SyncActionReloadingViewer";
        case BackupAction::backUpDevice:
            return "SyncActionBackingUpDevice";
        case BackupAction::installDevice:
            return "SyncActionInstallingOnDevice";
        case BackupAction::syncDevice:
            return "SyncActionSyncingDevice";
        case BackupAction::undoInstall:
            return "SyncActionUndoingInstall";
    }
    return {};
}

std::string progressTitle(BackupAction action) {
    return keel::TL(progressTitleKey(action));
}

bool reloadsViewer(BackupAction action) {
    return action != BackupAction::saveBackupFile && action != BackupAction::exportBackupFile;
}

}  // namespace quillfen
