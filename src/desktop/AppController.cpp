#include "desktop/AppController.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include "app/BackupManager.h"
#include "app/SettingsFileNotice.h"
#include "desktop/AboutDialog.h"
#include "desktop/ListCommandsMenu.h"
#include "desktop/MainWindowController.h"
#include "desktop/PreferencesWindowController.h"
#include "desktop/ReleaseKitPresenter.h"
#include "desktop/ShellCommon.h"
#include "desktop/ShellContext.h"
#include "gantry/AlertPresenter.h"
#include "gantry/Workspace.h"
#include "keel/LocalizedString.h"
#include "keel/NoteSubscriber.h"
#include "keel/StoppableState.h"
#include "keel/UserSettings.h"
#include "local/AccessManager.h"
#include "local/DesktopEntryCache.h"
#include "local/LocalResources.h"
#include "outfitter/BuildSettings.h"
#include "outfitter/BundleInfo.h"
#include "outfitter/FeedbackReporter.h"
#include "outfitter/ReleaseConfiguration.h"
#include "outfitter/ReleaseController.h"
#include "outfitter/Updater.h"
#include "outfitter/UserActionsTracker.h"

using keel::StoppableState;

namespace desktop {

AppController::AppController(ShellContext& context, outfitter::ReleaseController& releaseController,
                             MakerLinks links, QObject* parent)
    : QObject(parent),
      context_(context),
      releaseController_(releaseController),
      links_(std::move(links)) {
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (terminated_) return;
                    if (state == Qt::ApplicationActive)
                        releaseController_.applicationDidBecomeActive();
                    else if (state == Qt::ApplicationInactive)
                        releaseController_.applicationWillResignActive();
                });
        // The session may end the application without asking (log-out): no
        // new work then, and the one running finishes first.
        connect(application, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { terminateWhenIdle(); });
        connect(application, &QCoreApplication::aboutToQuit, this, [this] {
            if (!terminated_) {
                terminated_ = true;
                applicationWillTerminate();
            }
        });
    }
}

AppController::~AppController() {
    endingSubscriber_.reset();
    // The release kit outlives this controller; its windows, alerts and the
    // invitation's gate, which asks this controller, go with it.
    releaseController_.feedbackReporter().setPromptGate(nullptr);
    if (ownPresenter_ && releaseController_.presenter() == ownPresenter_.get())
        releaseController_.setPresenter(nullptr);
    delete aboutWindow_.data();
    preferencesWindowController_.reset();
    mainWindowController_.reset();
}

void AppController::applicationWillFinishLaunching() {
    // The shared instances, in this order: the installed applications (the
    // parsed desktop entries kept between launches), the manager with its
    // viewer, the granted folders.
    quillfen::LocalResources::setDesktopEntryCacheURL(quillfen::DesktopEntryCache::defaultURL());
    quillfen::LocalResources::shared();
    (void)context_.manager().viewer();
    quillfen::AccessManager& access = quillfen::AccessManager::shared();
    // Without access nothing is read now: the main window asks for it.
    if (access.hasAccess(fs::path("/"))) context_.submit(BackupAction::readBackupFile);

    auto& settings = keel::UserSettings::standard();
    settings.registerDefault(quillfen::LocalResources::localExcludeFileURLsKey);
    settings.registerDefault(BackupManager::enableNoteAfterProcessingKey);
    settings.registerDefault(BackupManager::enableAlertAfterProcessingKey);

    releaseController_.setConfiguration(
        outfitter::ReleaseConfiguration::fromBuildSettings(outfitter::BuildSettings::current()));
    releaseController_.setScreensProvider([] {
        std::vector<outfitter::ScreenInfo> screens;
        for (const QScreen* screen : QGuiApplication::screens())
            screens.push_back({static_cast<double>(screen->size().width()),
                               static_cast<double>(screen->size().height()),
                               screen->devicePixelRatio()});
        return screens;
    });
    // The kit's windows, and its alerts and questions as alerts of this
    // application, unless the kit has a presenter already.
    if (!releaseController_.presenter()) {
        ownPresenter_ = std::make_shared<ReleaseKitPresenter>(
            context_.alerts(), [this](const QUrl& url) { context_.workspace().open(url); });
        releaseController_.setPresenter(ownPresenter_);
    }
    releaseController_.feedbackReporter().setPromptGate([this] { return newsletterMayPrompt(); });
    releaseController_.applicationWillFinishLaunch();
}

void AppController::applicationDidFinishLaunching() {
    // Ended while the kit asked its question at launch.
    if (terminated_) return;
    releaseController_.applicationDidFinishLaunch();
    mainWindowController().showWindow();
    // The settings file was moved aside at its first read, during launch.
    if (const auto notice = quillfen::SettingsFileNotice::take()) {
        gantry::AlertRequest request;
        request.name = "SettingsFileSetAsideAlert";
        request.messageText = "Your settings could not be read";
        request.informativeText = *notice;
        request.style = gantry::AlertRequest::Style::warning;
        context_.alerts().beginSheet(mainWindowController().window(), request, {});
    }
}

void AppController::applicationWillTerminate() {
    releaseController_.applicationWillTerminate();
}

MainWindowController& AppController::mainWindowController() {
    if (!mainWindowController_) {
        mainWindowController_ = std::make_unique<MainWindowController>(context_);
        QMainWindow* window = mainWindowController_->window();
        buildMenus(window->menuBar());
        mainWindowController_->setFeedbackAvailable(feedbackIsOffered());
        connect(mainWindowController_.get(), &MainWindowController::feedbackRequested, this,
                [this] { provideFeedback(); });
        connect(mainWindowController_.get(), &MainWindowController::closeRequested, this,
                [this] { terminate(); });
    }
    return *mainWindowController_;
}

bool AppController::feedbackIsOffered() {
    // Without a feedback service in this build a report could never be sent.
    return releaseController_.presenter() != nullptr &&
           releaseController_.feedbackReporter().isAvailable();
}

bool AppController::newsletterMayPrompt() const {
    // An invitation over a sheet, over a question or in the middle of a
    // backup would interrupt the user; it waits for a later activation.
    return !ending_ && !terminated_ && mainWindowController_ &&
           mainWindowController_->window()->isVisible() && !context_.manager().isProcessing() &&
           QApplication::activeModalWidget() == nullptr;
}

void AppController::buildMenus(QMenuBar* menuBar) {
    MainWindowController& main = *mainWindowController_;
    auto add = [this](QMenu* menu, const char* name, std::string_view title, auto slot) {
        QAction* action = menu->addAction(localized(title));
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    QMenu* file = menuBar->addMenu(localized("MenuFile"));
    file->setObjectName("fileMenu");
    main.addCommandAction(
        MainWindowController::Command::backupDevice,
        add(file, "backupDevice", "MenuBackUp", [&main] { main.backupDevice(); }));
    main.addCommandAction(
        MainWindowController::Command::installDevice,
        add(file, "installDevice", "MenuInstall", [&main] { main.installDevice(); }));
    main.addCommandAction(
        MainWindowController::Command::syncDevice,
        add(file, "syncDevice", "MenuSynchronize", [&main] { main.syncDevice(); }));
    file->addSeparator();
    openPreferencesMenuItem_ =
        add(file, "openPreferences", "MenuPreferences", [this] { openPreferences(); });
    // Not every desktop names a key for preferences; Ctrl+, is the usual one.
    openPreferencesMenuItem_->setShortcut(QKeySequence(QKeySequence::Preferences).isEmpty()
                                              ? QKeySequence(Qt::CTRL | Qt::Key_Comma)
                                              : QKeySequence(QKeySequence::Preferences));
    openPreferencesMenuItem_->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    QAction* quit = add(file, "terminate", "MenuQuit", [this] { terminate(); });
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu* items = menuBar->addMenu(localized("MenuItems"));
    items->setObjectName("itemsMenu");
    new ListCommandsMenu(main, items);

    QMenu* window = menuBar->addMenu(localized("MenuWindow"));
    window->setObjectName("windowMenu");
    add(window, "showMainWindow", "MenuMainWindow", [this] { showMainWindow(); });

    QMenu* help = menuBar->addMenu(localized("MenuHelp"));
    help->setObjectName("helpMenu");
    QAction* tips =
        add(help, "toggleHelpPopovers", "MenuShowTips", [&main] { main.toggleHelpPopovers(); });
    tips->setShortcut(QKeySequence::HelpContents);
    main.addCommandAction(MainWindowController::Command::toggleHelpPopovers, tips);
    help->addSeparator();
    add(help, "provideFeedback", "MenuProvideFeedback", [this] {
        provideFeedback();
    })->setVisible(feedbackIsOffered());
    add(help, "showNewsletter", "MenuStayInTouch", [this] {
        showNewsletter();
    })->setVisible(feedbackIsOffered());
    add(help, "tellAFriendByUsingMail", "MenuTellAFriend", [this] { tellAFriendByUsingMail(); });
    add(help, "openCompanyWebsite", "MenuCompanyWebsite", [this] {
        openCompanyWebsite();
    })->setVisible(!links_.website.isEmpty());
    add(help, "openCompanyTwitter", "MenuCompanyTwitter", [this] {
        openCompanyTwitter();
    })->setVisible(!links_.twitter.isEmpty());
    add(help, "openSupportPage", "MenuSupportPage", [this] {
        openSupportPage();
    })->setVisible(!links_.support.isEmpty());
    help->addSeparator();
    checkForUpdatesMenuItem_ =
        add(help, "checkForUpdatesMenuItem", "MenuCheckForUpdates", [this] { checkForUpdates(); });
    // Not without an update feed and its key, nor inside Flatpak or Snap.
    checkForUpdatesMenuItem_->setVisible(releaseController_.updater().canCheckForUpdates());
    QAction* about = add(help, "showAboutWindow", "MenuAbout", [this] { showAboutWindow(); });
    about->setMenuRole(QAction::AboutRole);
}

void AppController::trackUserAction(const std::string& name) {
    releaseController_.userActionsTracker().trackUserAction(name);
}

AppController::TerminateReply AppController::applicationShouldTerminate() {
    StoppableState processing = StoppableState::goOn;
    if (context_.manager().isProcessing()) {
        // One button: while the manager works, quitting is always refused.
        context_.alerts().runModal(
            mainWindowController_ ? mainWindowController_->window() : nullptr,
            {"QuitAppWhileProcessingAlert",
             keel::TL("QuitAppWhileProcessingAlertMessageText"),
             keel::TL("QuitAppWhileProcessingAlertInformativeText"),
             {keel::TL("QuitAppWhileProcessingAlertStopButton")},
             gantry::AlertRequest::Style::warning});
        processing = StoppableState::stop;
    }
    const StoppableState feedback = releaseController_.feedbackReporter().askCanQuitApplication()
                                        ? StoppableState::goOn
                                        : StoppableState::stop;
    return (processing || feedback) == StoppableState::stop ? TerminateReply::terminateCancel
                                                            : TerminateReply::terminateNow;
}

void AppController::terminate() {
    if (terminated_) return;
    if (applicationShouldTerminate() != TerminateReply::terminateNow) return;
    // A note typed just before quitting is saved first; the quit waits for it.
    if (mainWindowController_ && mainWindowController_->saveBeforeQuitting())
        return terminateWhenIdle();
    finishTermination();
}

void AppController::terminateWhenIdle() {
    if (ending_ || terminated_) return;
    ending_ = true;
    if (mainWindowController_ && !context_.manager().isProcessing())
        mainWindowController_->saveBeforeQuitting();
    context_.stopAcceptingNewWork();
    if (mainWindowController_) mainWindowController_->refreshState();
    if (!context_.manager().isProcessing()) return finishTermination();
    endingSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    endingSubscriber_->subscribe({BackupManager::didProcessNotification}, &context_.manager(),
                                 [this](const keel::Notification&) {
                                     // After every observer of the end of
                                     // the process has had its turn.
                                     QTimer::singleShot(0, this, [this] { finishTermination(); });
                                 });
}

void AppController::finishTermination() {
    if (terminated_) return;
    terminated_ = true;
    endingSubscriber_.reset();
    applicationWillTerminate();
    context_.exit(0);
}

bool AppController::applicationShouldOpenUntitledFile() {
    return applicationOpenUntitledFile();
}

bool AppController::applicationOpenUntitledFile() {
    if (mainWindowController_) mainWindowController_->showWindow();
    return true;
}

void AppController::openPreferences() {
    trackUserAction(openPreferencesAction);
    preferencesWindowController().showWindow();
}

PreferencesWindowController& AppController::preferencesWindowController() {
    if (!preferencesWindowController_)
        preferencesWindowController_ = std::make_unique<PreferencesWindowController>(
            context_, releaseController_, quillfen::LocalResources::shared());
    return *preferencesWindowController_;
}

void AppController::showMainWindow() {
    mainWindowController().showWindow();
}

void AppController::showAboutWindow() {
    trackUserAction(showAboutWindowAction);
    if (!aboutWindow_) {
        const outfitter::BundleInfo& bundle = outfitter::BundleInfo::main();
        aboutWindow_ = new AboutDialog(QString::fromStdString(bundle.shortVersion.value_or("")),
                                       QString::fromStdString(bundle.version.value_or("")), links_,
                                       mainWindowController().window());
    }
    aboutWindow_->show();
    aboutWindow_->raise();
    aboutWindow_->activateWindow();
}

void AppController::provideFeedback() {
    trackUserAction(provideFeedbackAction);
    releaseController_.feedbackReporter().reportFeedback(outfitter::FeedbackType::suggestion);
}

void AppController::showNewsletter() {
    releaseController_.feedbackReporter().showNewsletterPanel();
}

void AppController::tellAFriendByUsingMail() {
    trackUserAction(tellAFriendAction);
    context_.workspace().open(links_.tellAFriendMail());
}

void AppController::openLink(const QUrl& url, const std::string& trackedName) {
    if (url.isEmpty()) return;
    trackUserAction(trackedName);
    context_.workspace().open(url);
}

void AppController::openCompanyWebsite() {
    openLink(links_.website, openCompanyWebsiteAction);
}

void AppController::openCompanyTwitter() {
    openLink(links_.twitter, openCompanyTwitterAction);
}

void AppController::openSupportPage() {
    openLink(links_.support, openSupportPageAction);
}

void AppController::checkForUpdates() {
    releaseController_.updater().checkForUpdates(nullptr);
}

}  // namespace desktop
