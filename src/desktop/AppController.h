// AppController: the application's controller from launch to quit. At
// launch it brings up, in order, the local resources, the backup manager and
// the disk access manager, reads the package when access to the disk is
// granted, registers the settings' defaults, gives the release kit its
// configuration from the build and, unless it has one, a presenter for its
// alerts and questions (ReleaseKitPresenter), builds the menus and shows the
// main window.
// It forwards the application's life-cycle events to the release controller
// and answers the menu commands, recording the named ones as user actions
// with the release kit.
//
// Quitting: an interactive quit (the Quit command, closing the main window)
// is refused while the backup manager works, with an alert, and then the
// release kit's feedback reporter may refuse it too. A request to end from
// outside (SIGTERM at log-out or shutdown, SIGINT, the session's end) asks
// nobody: no new work is taken, the process that runs finishes, and then the
// application quits.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>

#include "desktop/MakerLinks.h"

class QAction;
class QDialog;
class QMenuBar;

namespace keel {
class NoteSubscriber;
}
namespace outfitter {
class ReleaseController;
}

namespace desktop {

class MainWindowController;
class PreferencesWindowController;
class ReleaseKitPresenter;
class ShellContext;

class AppController : public QObject {
    Q_OBJECT

public:
    enum class TerminateReply { terminateNow, terminateCancel };

    // The names user actions are recorded under.
    static inline const std::string openPreferencesAction = "Open preferences";
    static inline const std::string showAboutWindowAction = "Show about window";
    static inline const std::string provideFeedbackAction = "Provide feedback";
    static inline const std::string tellAFriendAction = "Tell a friend by mail";
    static inline const std::string openCompanyWebsiteAction = "Open company website";
    static inline const std::string openCompanyTwitterAction = "Open company twitter";
    static inline const std::string openSupportPageAction = "Open support page";

    AppController(ShellContext& context, outfitter::ReleaseController& releaseController,
                  MakerLinks links, QObject* parent = nullptr);
    ~AppController() override;

    // Launch, in the order the program calls them.
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    // Once, as the application ends.
    void applicationWillTerminate();

    // Asks whether the application may quit now; may show the alert of a
    // running process, then lets the release kit ask its own question.
    TerminateReply applicationShouldTerminate();
    // The user asked to quit: quits unless `applicationShouldTerminate`
    // refuses.
    void terminate();
    // A request to end from outside: see the header comment.
    void terminateWhenIdle();
    bool isEnding() const { return ending_; }

    // The application was started again while running: the main window comes
    // back to the front. Both answer true.
    bool applicationShouldOpenUntitledFile();
    bool applicationOpenUntitledFile();

    // Menu commands.
    void openPreferences();
    void showMainWindow();
    void showAboutWindow();
    void provideFeedback();
    void showNewsletter();
    void tellAFriendByUsingMail();
    void openCompanyWebsite();
    void openCompanyTwitter();
    void openSupportPage();
    void checkForUpdates();

    MainWindowController& mainWindowController();
    // The preferences window's controller, made on first use.
    PreferencesWindowController& preferencesWindowController();
    // Outlets of the menus.
    QAction* checkForUpdatesMenuItem() const { return checkForUpdatesMenuItem_; }

private:
    void buildMenus(QMenuBar* menuBar);
    void trackUserAction(const std::string& name);
    void openLink(const QUrl& url, const std::string& trackedName);
    void finishTermination();
    bool feedbackIsOffered();
    // Whether the newsletter may invite the user now: the main window is
    // shown, no dialog stands over it and the manager is idle.
    bool newsletterMayPrompt() const;

    ShellContext& context_;
    outfitter::ReleaseController& releaseController_;
    MakerLinks links_;
    std::unique_ptr<MainWindowController> mainWindowController_;
    std::unique_ptr<PreferencesWindowController> preferencesWindowController_;
    std::shared_ptr<ReleaseKitPresenter> ownPresenter_;
    QPointer<QDialog> aboutWindow_;
    QPointer<QAction> checkForUpdatesMenuItem_;
    QPointer<QAction> openPreferencesMenuItem_;
    std::unique_ptr<keel::NoteSubscriber> endingSubscriber_;
    bool ending_ = false;
    bool terminated_ = false;
};

}  // namespace desktop
