// IntroWindowController: the first-run sheet. It shows where the backup
// package is (the stored location, else the default one), lets the user
// move the package elsewhere (a folder a cloud drive replicates), use
// another package instead, or show it in the file manager, and Continue
// stores the location, which marks the first run as done.
//
// While the backup manager works, the sheet's buttons are disabled; after a
// move or a replace the shown path follows the new location.
//
// Threads: main thread only.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <memory>

#include "desktop/SheetController.h"

namespace quillfen {
class BackupManager;
}
namespace keel {
class NoteSubscriber;
struct Notification;
}  // namespace keel

namespace desktop {

class ShellContext;

class IntroWindowController : public SheetController {
    Q_OBJECT

public:
    explicit IntroWindowController(ShellContext& context, QObject* parent = nullptr);
    ~IntroWindowController() override;

    // The manager whose package the sheet shows; null for none. Setting it
    // ends the observation of the previous one, refreshes the sheet and
    // observes the new one.
    quillfen::BackupManager* backupManager() const { return backupManager_; }
    void setBackupManager(quillfen::BackupManager* manager);

    // Outlets.
    QLineEdit* pathTextField() const { return pathTextField_; }
    QPushButton* actionButton() const { return actionButton_; }
    QPushButton* showFileButton() const { return showFileButton_; }
    QPushButton* continueButton() const { return continueButton_; }

    // Actions.
    void moveBackupFile();
    void replaceBackupFile();
    void showBackupLocation();
    void closeIntroductionSheet();

    // Shows the manager's package location, home folder as "~"; "-" without one.
    void refresh();

protected:
    QDialog* loadWindow() override;
    void windowDidLoad() override;

private:
    void subscribe();
    void managerWillProcess(const keel::Notification& notification);
    void managerDidProcess(const keel::Notification& notification);
    void refreshIfMoved(const keel::Notification& notification);
    void setButtonsEnabled(bool enabled);

    ShellContext& context_;
    quillfen::BackupManager* backupManager_ = nullptr;
    std::unique_ptr<keel::NoteSubscriber> managerWillProcessSubscriber_;
    std::unique_ptr<keel::NoteSubscriber> managerDidProcessSubscriber_;
    QPointer<QLineEdit> pathTextField_;
    QPointer<QPushButton> actionButton_;
    QPointer<QPushButton> showFileButton_;
    QPointer<QPushButton> continueButton_;
};

}  // namespace desktop
