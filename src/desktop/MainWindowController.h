// MainWindowController: the application's one main window: a sidebar that
// switches between four content views (applications, command-line tools,
// files, note), a header with the Back Up, Install and Synchronize buttons
// and the history, help and feedback buttons, and a message area that takes
// the content's place while the backup manager works (busy indicator and the
// action's progress) or while access to the disk is missing (with the button
// that asks for it).
//
// It turns the user's commands into backup-manager processes and follows the
// manager's will- and did-process notifications: it disables the commands
// while a process runs, shows the error alert naming the action and the
// reason when one fails, the failures of a run, and, as the settings ask,
// notifies the desktop and asks for the user's attention after an operation
// the user started. On a first run (no stored package location) it presents
// the intro sheet. At most one sheet controller exists at a time.
//
// It posts "MainWindowControllerWillChangeContentNotification" and
// "MainWindowControllerDidChangeContentNotification" (object: the
// controller) around each change of the content shown.
//
// Closing the window asks the application to quit (see AppController).
//
// Threads: main thread only. The manager's notifications arrive there.
#pragma once

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BackupAction.h"
#include "desktop/MessageView.h"
#include "desktop/SheetController.h"
#include "desktop/SidebarButton.h"
#include "gantry/EmptyToolbar.h"
#include "gantry/ProgressIndicator.h"

class QAction;
class QMainWindow;

namespace keel {
class NoteSubscriber;
struct Notification;
}  // namespace keel
namespace quillfen {
class BackupProcess;
class SyncLogs;
}  // namespace quillfen
namespace gantry {
class AppearanceObserver;
class TipsManager;
}  // namespace gantry

namespace desktop {

class ContentViewController;
class HistoryPopoverController;
class ShellContext;

class MainWindowController : public QObject {
    Q_OBJECT

public:
    static inline const std::string willChangeContentNotification =
        "MainWindowControllerWillChangeContentNotification";
    static inline const std::string didChangeContentNotification =
        "MainWindowControllerDidChangeContentNotification";

    // The content views, in sidebar order; the value is the content index.
    enum ContentIndex : int { appsList = 0, execsList = 1, filesList = 2, notesList = 3 };
    // What the message area shows.
    enum class Message { none, processing, authorizationRequired };
    // The commands whose enabling this controller decides.
    enum class Command { backupDevice, installDevice, syncDevice, toggleHelpPopovers };

    explicit MainWindowController(ShellContext& context, QObject* parent = nullptr);
    ~MainWindowController() override;

    // The window, built on first use.
    QMainWindow* window();
    // Shows the window, brings it to the front and makes it the active one.
    void showWindow();

    // Outlets, named after themselves (objectName).
    QWidget* messageView() const;
    QWidget* contentView() const { return contentView_; }
    QWidget* containerView() const { return containerView_; }
    QWidget* backgroundView() const { return backgroundView_; }
    gantry::ProgressIndicator* progressIndicator() const { return progressIndicator_; }
    QLabel* messageTitleField() const { return messageTitleField_; }
    QLabel* messageSubTitleField() const { return messageSubTitleField_; }
    QPushButton* messageButton() const { return messageButton_; }
    QToolButton* historyButton() const { return historyButton_; }
    QToolButton* helpButton() const { return helpButton_; }
    QToolButton* feedbackButton() const { return feedbackButton_; }
    SidebarButton* sidebarButton(int index) const;
    QToolButton* backupButton() const { return backupButton_; }
    QToolButton* installButton() const { return installButton_; }
    QToolButton* synchronizeButton() const { return synchronizeButton_; }
    gantry::EmptyToolbar* toolbar() const { return toolbar_; }

    // The menu items of the commands, enabled by the same rules as the buttons.
    void addCommandAction(Command command, QAction* action);

    // The four content controllers, in content order, made on first use.
    const std::vector<ContentViewController*>& contentViewControllers();
    ContentViewController* displayedViewController() const { return displayedViewController_; }
    int displayedContentIndex() const;
    SheetController* sheetWindowController() const { return sheetWindowController_; }
    // The history button's popover, made on first use.
    HistoryPopoverController& historyPopoverController();
    Message message() const { return message_; }
    gantry::TipsManager& tipsManager() const { return *tipsManager_; }

    // Actions.
    void showContent(int index);
    void buttonChangeContent(int tag) { showContent(tag); }
    void toggleHistoryPopover();
    void toggleHelpPopovers();
    void autorizeAccess();
    void backupDevice();
    void installDevice();
    void syncDevice();
    // Whether `command` may run now: the device actions when the manager is
    // idle, access is granted, a package is open and the application takes
    // new work; the tips when idle with access.
    bool validateUserInterfaceItem(Command command) const;

    // Whether the feedback button is offered (a feedback service is set up).
    void setFeedbackAvailable(bool available);
    // Re-reads the state the commands and the message area depend on.
    void refreshState();
    // Starts saving what a content view would save later (see
    // ContentViewController::saveBeforeQuitting); whether a save started.
    bool saveBeforeQuitting();

    // Presents the first-run sheet when no package location is stored and
    // no sheet is shown, after the context's first-run delay.
    void firstRunCheck();

signals:
    // The feedback button was pressed.
    void feedbackRequested();
    // The user closed the window: the application decides whether to quit.
    void closeRequested();

private:
    class Window;

    void windowDidLoad();
    QWidget* makeHeader();
    QWidget* makeSidebar();
    QWidget* makeMessageView();
    QToolButton* makeHeaderButton(const char* name, const QString& iconName, const QString& title,
                                  const QString& toolTip);
    void refreshIcons();
    void subscribe();
    void managerWillProcess(const keel::Notification& notification);
    void managerDidProcess(const keel::Notification& notification);
    void updateMessageArea();
    void updateCommands();
    void refreshHistoryButtonTitle();
    void showProgress(std::size_t done, std::size_t total);
    void presentError(const quillfen::BackupProcess& process);
    void signalEndOfProcess(quillfen::BackupAction action);
    void showLogs(const quillfen::SyncLogs& logs);
    void presentIntroSheet();
    void runDeviceAction(quillfen::BackupAction action);
    void grantAccess(const std::filesystem::path& folder);
    QWidget* sheetParent() const;

    ShellContext& context_;
    QPointer<QMainWindow> window_;
    QPointer<gantry::EmptyToolbar> toolbar_;
    QPointer<QWidget> backgroundView_;
    QPointer<QWidget> contentView_;
    QPointer<QWidget> containerView_;
    QPointer<MessageView> messageView_;
    QPointer<gantry::ProgressIndicator> progressIndicator_;
    QPointer<QWidget> messageIconView_;
    QPointer<QLabel> messageTitleField_;
    QPointer<QLabel> messageSubTitleField_;
    QPointer<QPushButton> messageButton_;
    QPointer<QToolButton> historyButton_;
    QPointer<QToolButton> helpButton_;
    QPointer<QToolButton> feedbackButton_;
    QPointer<QToolButton> backupButton_;
    QPointer<QToolButton> installButton_;
    QPointer<QToolButton> synchronizeButton_;
    std::array<QPointer<SidebarButton>, 4> contentSidebarButtons_;
    std::vector<std::pair<Command, QPointer<QAction>>> commandActions_;

    std::vector<std::unique_ptr<ContentViewController>> ownedContentViewControllers_;
    std::vector<ContentViewController*> contentViewControllers_;
    ContentViewController* displayedViewController_ = nullptr;
    QPointer<SheetController> sheetWindowController_;
    std::unique_ptr<gantry::TipsManager> tipsManager_;
    std::unique_ptr<HistoryPopoverController> historyPopoverController_;
    std::unique_ptr<gantry::AppearanceObserver> appearanceObserver_;
    std::unique_ptr<keel::NoteSubscriber> managerWillProcessSubscriber_;
    std::unique_ptr<keel::NoteSubscriber> managerDidProcessSubscriber_;
    std::unique_ptr<keel::NoteSubscriber> viewerDidReloadSubscriber_;

    Message message_ = Message::none;
    std::optional<quillfen::BackupAction> processingAction_;
    bool feedbackAvailable_ = false;
    bool firstRunCheckPending_ = false;
    // Lets blocks posted from the manager's worker know whether the
    // controller still exists when they run on the main thread.
    std::shared_ptr<int> lifeToken_ = std::make_shared<int>(0);
};

}  // namespace desktop
