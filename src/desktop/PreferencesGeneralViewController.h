// PreferencesGeneralViewController: the General pane of the preferences:
// where the backup package lives, with the commands to move it, use another
// package instead, import another package over it, export a copy and show
// it in the file manager; whether a desktop notification and a request for
// the user's attention follow a finished operation; and the release kit's
// two questions: sending anonymous usage statistics (off until the user
// agrees; switching it off deletes the installation's identifier) and
// checking for updates automatically (offered only where the updater works).
//
// Move, replace, import and export are backup-manager processes: they start
// only while the manager is idle, their buttons are disabled while it works,
// and their errors are the main window's error alert. The path follows a
// move or replace when it ends, and every control follows the settings when
// they are edited elsewhere. A cancelled panel or confirmation changes
// nothing; a setting that cannot be stored is told in an alert and the
// checkbox goes back.
//
// Threads: main thread only.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <memory>
#include <string>

#include "app/BackupAction.h"
#include "gantry/ViewController.h"

namespace keel {
class NoteSubscriber;
struct Notification;
}  // namespace keel
namespace outfitter {
class ReleaseController;
}

namespace desktop {

class ShellContext;

class PreferencesGeneralViewController : public gantry::ViewController {
public:
    PreferencesGeneralViewController(ShellContext& context,
                                     outfitter::ReleaseController& releaseController);
    ~PreferencesGeneralViewController() override;

    // Outlets, named after themselves (objectName).
    QLineEdit* backupFilePathTextField() { return (forceLoadIfNeeded(), backupFilePathTextField_); }
    QPushButton* changeFileButton() { return (forceLoadIfNeeded(), changeFileButton_); }
    QPushButton* replaceFileButton() { return (forceLoadIfNeeded(), replaceFileButton_); }
    QPushButton* importFileButton() { return (forceLoadIfNeeded(), importFileButton_); }
    QPushButton* exportFileButton() { return (forceLoadIfNeeded(), exportFileButton_); }
    QPushButton* showFileButton() { return (forceLoadIfNeeded(), showFileButton_); }
    QCheckBox* noteAfterProcessButton() { return (forceLoadIfNeeded(), noteAfterProcessButton_); }
    QCheckBox* alertAfterProcessButton() { return (forceLoadIfNeeded(), alertAfterProcessButton_); }
    QCheckBox* usageStatisticsButton() { return (forceLoadIfNeeded(), usageStatisticsButton_); }
    QCheckBox* automaticUpdatesButton() { return (forceLoadIfNeeded(), automaticUpdatesButton_); }

    // Actions.
    void moveBackupFile();
    void replaceBackupFile();
    void importBackupFile();
    void exportBackupFile();
    void showBackupFile();
    void changeNoteAfterProcess();
    void changeAlertAfterProcess();
    void changeUsageStatistics();
    void changeAutomaticUpdates();

protected:
    QWidget* loadView() override;
    void viewDidLoad() override;

private:
    void refresh();
    void refreshPath();
    void setFileButtonsEnabled(bool enabled);
    void managerDidProcess(const keel::Notification& notification);
    void settingsDidEdit(const keel::Notification& notification);
    // Asks before a replace or an import, then lets the user choose the
    // package; `action` is the process that gets it.
    void confirmThenChoosePackage(quillfen::BackupAction action, const char* panelName);
    // Runs `store`; when it throws, tells the user and re-reads the checkboxes.
    template <class Store>
    void storeSetting(Store store);

    ShellContext& context_;
    outfitter::ReleaseController& releaseController_;
    QPointer<QLineEdit> backupFilePathTextField_;
    QPointer<QPushButton> changeFileButton_;
    QPointer<QPushButton> replaceFileButton_;
    QPointer<QPushButton> importFileButton_;
    QPointer<QPushButton> exportFileButton_;
    QPointer<QPushButton> showFileButton_;
    QPointer<QCheckBox> noteAfterProcessButton_;
    QPointer<QCheckBox> alertAfterProcessButton_;
    QPointer<QCheckBox> usageStatisticsButton_;
    QPointer<QCheckBox> automaticUpdatesButton_;
    std::unique_ptr<keel::NoteSubscriber> managerWillProcessSubscriber_;
    std::unique_ptr<keel::NoteSubscriber> managerDidProcessSubscriber_;
    std::unique_ptr<keel::NoteSubscriber> defaultsDidSyncKeySubscriber_;
};

}  // namespace desktop
