#include "desktop/MainWindowController.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdio>

#include "app/BackupManager.h"
#include "app/BackupProcess.h"
#include "app/BackupViewer.h"
#include "app/ErrorDescription.h"
#include "backup/BackupEventItem.h"
#include "backup/BackupFile.h"
#include "desktop/AppsListViewController.h"
#include "desktop/ContentViewController.h"
#include "desktop/ExecsListViewController.h"
#include "desktop/FilesListViewController.h"
#include "desktop/HistoryPopoverController.h"
#include "desktop/IconView.h"
#include "desktop/IntroWindowController.h"
#include "desktop/LogsWindowController.h"
#include "desktop/MessageView.h"
#include "desktop/NotesListViewController.h"
#include "desktop/ShellCommon.h"
#include "desktop/ShellContext.h"
#include "desktop/SidebarButton.h"
#include "desktop/StyleSheet.h"
#include "gantry/AlertPresenter.h"
#include "gantry/Appearance.h"
#include "gantry/EmptyToolbar.h"
#include "gantry/PanelPresenter.h"
#include "gantry/ProgressIndicator.h"
#include "gantry/TipsManager.h"
#include "gantry/UserNotificationCenter.h"
#include "gantry/ViewConveniences.h"
#include "keel/DateFormatter.h"
#include "keel/DispatchQueue.h"
#include "keel/LocalizedString.h"
#include "keel/NoteSubscriber.h"
#include "keel/NotificationCenter.h"
#include "keel/ReviewRequestMaker.h"
#include "keel/URL.h"
#include "keel/UserSettings.h"
#include "local/AccessManager.h"
#include "sync/SyncLogs.h"

using quillfen::AccessManager;

namespace desktop {

namespace {

bool hasRootAccess() {
    return AccessManager::shared().hasAccess(fs::path("/"));
}

// The actions the user starts and waits for, after which the desktop is
// told (reading, saving and reloading happen on their own).
bool signalsEnd(BackupAction action) {
    switch (action) {
        case BackupAction::moveBackupFile:
        case BackupAction::replaceBackupFile:
        case BackupAction::importBackupFile:
        case BackupAction::exportBackupFile:
        case BackupAction::backUpDevice:
        case BackupAction::installDevice:
        case BackupAction::syncDevice:
        case BackupAction::undoInstall:
            return true;
        case BackupAction::readBackupFile:
        case BackupAction::saveBackupFile:
        case BackupAction::reloadViewer:
            return false;
    }
    return false;
}

// The sidebar's strip: its own background and a separator line on its right.
class SidebarView : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), StyleSheet::color(StyleSheet::sidebarBackgroundColor));
        painter.fillRect(QRect(width() - 1, 0, 1, height()),
                         StyleSheet::color(StyleSheet::backgroundSeparatorColor));
    }
};

}  // namespace

// The window itself: closing it is a request to quit, and becoming the
// active window is when the first-run check runs.
class MainWindowController::Window : public QMainWindow {
public:
    std::function<void()> onCloseRequest;
    std::function<void()> onBecameMain;

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (onCloseRequest) onCloseRequest();
    }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::WindowActivate && onBecameMain) onBecameMain();
        return QMainWindow::event(event);
    }
};

MainWindowController::MainWindowController(ShellContext& context, QObject* parent)
    : QObject(parent),
      context_(context),
      tipsManager_(std::make_unique<gantry::TipsManager>("MainWindow")) {
    std::weak_ptr<int> alive = lifeToken_;
    context_.manager().setSyncProgressHandler([this, alive](std::size_t done, std::size_t total) {
        keel::DispatchQueue::main().async([this, alive, done, total] {
            if (alive.lock()) showProgress(done, total);
        });
    });
}

MainWindowController::~MainWindowController() {
    context_.manager().setSyncProgressHandler(nullptr);
    managerWillProcessSubscriber_.reset();
    managerDidProcessSubscriber_.reset();
    viewerDidReloadSubscriber_.reset();
    historyPopoverController_.reset();
    tipsManager_.reset();
    delete sheetWindowController_.data();
    // The content views live in the window; their controllers go first.
    ownedContentViewControllers_.clear();
    delete window_.data();
}

QMainWindow* MainWindowController::window() {
    if (!window_) windowDidLoad();
    return window_;
}

QWidget* MainWindowController::messageView() const {
    return messageView_;
}

SidebarButton* MainWindowController::sidebarButton(int index) const {
    if (index < 0 || index >= static_cast<int>(contentSidebarButtons_.size())) return nullptr;
    return contentSidebarButtons_[static_cast<std::size_t>(index)];
}

void MainWindowController::showWindow() {
    QMainWindow* w = window();
    if (w->isMinimized()) w->showNormal();
    w->show();
    w->raise();
    w->activateWindow();
    firstRunCheck();
}

void MainWindowController::windowDidLoad() {
    auto* w = new Window();
    window_ = w;
    w->setObjectName("MainWindow");
    w->setWindowTitle(QApplication::applicationDisplayName());
    w->setWindowIcon(StyleSheet::applicationIcon());
    w->setMinimumSize(720, 460);
    w->resize(920, 600);
    w->setUnifiedTitleAndToolBarOnMac(true);
    w->onCloseRequest = [this] { emit closeRequested(); };
    w->onBecameMain = [this] { firstRunCheck(); };

    toolbar_ = new gantry::EmptyToolbar(w);
    w->addToolBar(Qt::TopToolBarArea, toolbar_);
    makeHeader();

    backgroundView_ = new QWidget(w);
    backgroundView_->setObjectName("backgroundView");
    auto* background = new QHBoxLayout(backgroundView_);
    background->setContentsMargins(0, 0, 0, 0);
    background->setSpacing(0);
    background->addWidget(makeSidebar());

    auto* stackHost = new QWidget(backgroundView_);
    auto* stack = new QGridLayout(stackHost);
    stack->setContentsMargins(0, 0, 0, 0);
    contentView_ = new QWidget(stackHost);
    contentView_->setObjectName("contentView");
    auto* contentLayout = new QVBoxLayout(contentView_);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    containerView_ = new QWidget(contentView_);
    containerView_->setObjectName("containerView");
    contentLayout->addWidget(containerView_);
    stack->addWidget(contentView_, 0, 0);
    stack->addWidget(makeMessageView(), 0, 0);
    background->addWidget(stackHost, 1);
    w->setCentralWidget(backgroundView_);

    appearanceObserver_ = std::make_unique<gantry::AppearanceObserver>();
    connect(appearanceObserver_.get(), &gantry::AppearanceObserver::paletteChanged, this,
            [this] { refreshIcons(); });
    refreshIcons();

    showContent(appsList);
    refreshHistoryButtonTitle();
    subscribe();

    tipsManager_->setToggler(helpButton_);
    const std::string synchronizeTip = keel::TL("TipsSynchonizeYourBackupInstallAction") + "\n\n" +
                                       keel::TL("TipsSynchonizeYourSynchronizeAction");
    tipsManager_->setTips({
        {helpButton_.data(), localized("TipsGoToTheMenuBarForMoreHelpText"),
         gantry::PopoverEdge::bottom},
        {feedbackButton_.data(), localized("TipsSendFeedbackIfIssuesText"),
         gantry::PopoverEdge::bottom},
        {sidebarButton(filesList), localized("TipsAddYourCustomFilesIfNeededText"),
         gantry::PopoverEdge::right},
        {synchronizeButton_.data(), QString::fromStdString(synchronizeTip),
         gantry::PopoverEdge::bottom},
    });

    updateMessageArea();
    updateCommands();
}

QToolButton* MainWindowController::makeHeaderButton(const char* name, const QString& iconName,
                                                    const QString& title, const QString& toolTip) {
    auto* button = new QToolButton(toolbar_);
    button->setObjectName(name);
    button->setProperty("iconName", iconName);
    button->setText(title);
    button->setToolTip(toolTip);
    button->setAccessibleName(title.isEmpty() ? toolTip : title);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setIconSize(QSize(20, 20));
    button->setToolButtonStyle(title.isEmpty() ? Qt::ToolButtonIconOnly
                                               : Qt::ToolButtonTextBesideIcon);
    return button;
}

QWidget* MainWindowController::makeHeader() {
    backupButton_ =
        makeHeaderButton("backupButton", "backup", localized("MainWindowBackUpButtonTitle"),
                         localized("MainWindowBackUpButtonToolTip"));
    installButton_ =
        makeHeaderButton("installButton", "install", localized("MainWindowInstallButtonTitle"),
                         localized("MainWindowInstallButtonToolTip"));
    synchronizeButton_ = makeHeaderButton("synchronizeButton", "synchronize",
                                          localized("MainWindowSynchronizeButtonTitle"),
                                          localized("MainWindowSynchronizeButtonToolTip"));
    historyButton_ =
        makeHeaderButton("historyButton", "history", localized("HistoryButtonEmptyHistoryTitle"),
                         localized("MainWindowHistoryButtonToolTip"));
    helpButton_ =
        makeHeaderButton("helpButton", "help", QString(), localized("MainWindowHelpButtonToolTip"));
    feedbackButton_ = makeHeaderButton("feedbackButton", "feedback", QString(),
                                       localized("MainWindowFeedbackButtonToolTip"));

    connect(backupButton_, &QToolButton::clicked, this, [this] { backupDevice(); });
    connect(installButton_, &QToolButton::clicked, this, [this] { installDevice(); });
    connect(synchronizeButton_, &QToolButton::clicked, this, [this] { syncDevice(); });
    connect(historyButton_, &QToolButton::clicked, this, [this] { toggleHistoryPopover(); });
    connect(helpButton_, &QToolButton::clicked, this, [this] { toggleHelpPopovers(); });
    connect(feedbackButton_, &QToolButton::clicked, this, [this] { emit feedbackRequested(); });

    toolbar_->addFixedSpace(6);
    toolbar_->addWidget(backupButton_);
    toolbar_->addWidget(installButton_);
    toolbar_->addWidget(synchronizeButton_);
    toolbar_->addFlexibleSpace();
    toolbar_->addWidget(historyButton_);
    toolbar_->addWidget(helpButton_);
    // The action that holds the feedback button in the tool bar: hiding the
    // button itself would leave its slot in the layout.
    QAction* feedbackSlot = toolbar_->addWidget(feedbackButton_);
    feedbackSlot->setObjectName("feedbackButtonSlot");
    feedbackSlot->setVisible(feedbackAvailable_);
    toolbar_->addFixedSpace(6);
    return toolbar_;
}

QWidget* MainWindowController::makeSidebar() {
    auto* sidebar = new SidebarView(backgroundView_);
    sidebar->setObjectName("sidebarView");
    sidebar->setFixedWidth(64);
    auto* layout = new QVBoxLayout(sidebar);
    layout->setContentsMargins(8, 12, 9, 12);
    layout->setSpacing(6);
    const std::array<std::pair<const char*, const char*>, 4> buttons = {{
        {"appsListSidebarButton", "sidebar-apps"},
        {"execsListSidebarButton", "sidebar-execs"},
        {"filesListSidebarButton", "sidebar-files"},
        {"notesListSidebarButton", "sidebar-notes"},
    }};
    const std::array<const char*, 4> titles = {"SidebarAppsButtonTitle", "SidebarExecsButtonTitle",
                                               "SidebarFilesButtonTitle",
                                               "SidebarNotesButtonTitle"};
    for (int i = 0; i < 4; ++i) {
        const auto index = static_cast<std::size_t>(i);
        auto* button = new SidebarButton(buttons[index].second, i, sidebar);
        button->setObjectName(buttons[index].first);
        button->setToolTip(localized(titles[index]));
        button->setAccessibleName(localized(titles[index]));
        connect(button, &SidebarButton::clicked, this,
                [this, button] { buttonChangeContent(button->tag()); });
        layout->addWidget(button, 0, Qt::AlignHCenter);
        contentSidebarButtons_[index] = button;
    }
    layout->addStretch(1);
    return sidebar;
}

QWidget* MainWindowController::makeMessageView() {
    messageView_ = new MessageView(backgroundView_);
    messageView_->setObjectName("messageView");
    auto* layout = new QVBoxLayout(messageView_);
    layout->setContentsMargins(40, 40, 40, 40);
    layout->setSpacing(10);
    layout->addStretch(1);

    progressIndicator_ = new gantry::ProgressIndicator(messageView_);
    progressIndicator_->setObjectName("progressIndicator");
    layout->addWidget(progressIndicator_, 0, Qt::AlignHCenter);
    messageIconView_ = new IconView("lock", StyleSheet::secondBackgroundColor, 44, messageView_);
    messageIconView_->setObjectName("messageIconView");
    layout->addWidget(messageIconView_, 0, Qt::AlignHCenter);
    layout->addSpacing(4);

    messageTitleField_ = new QLabel(messageView_);
    messageTitleField_->setObjectName("messageTitleField");
    messageTitleField_->setFont(StyleSheet::font(messageTitleField_->font(), 1.3, true));
    messageTitleField_->setAlignment(Qt::AlignCenter);
    messageTitleField_->setWordWrap(true);
    layout->addWidget(messageTitleField_);

    messageSubTitleField_ = new QLabel(messageView_);
    messageSubTitleField_->setObjectName("messageSubTitleField");
    messageSubTitleField_->setAlignment(Qt::AlignCenter);
    messageSubTitleField_->setWordWrap(true);
    // A wrapped label is as narrow as its longest word unless told its width.
    messageSubTitleField_->setFixedWidth(460);
    messageSubTitleField_->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(messageSubTitleField_, 0, Qt::AlignHCenter);
    layout->addSpacing(8);

    messageButton_ = new QPushButton(messageView_);
    messageButton_->setObjectName("messageButton");
    messageButton_->setDefault(true);
    connect(messageButton_, &QPushButton::clicked, this, [this] { autorizeAccess(); });
    layout->addWidget(messageButton_, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    messageView_->hide();
    return messageView_;
}

void MainWindowController::refreshIcons() {
    for (QToolButton* button :
         {backupButton_.data(), installButton_.data(), synchronizeButton_.data(),
          historyButton_.data(), helpButton_.data(), feedbackButton_.data()}) {
        if (!button) continue;
        button->setIcon(StyleSheet::tintedIcon(button->property("iconName").toString(),
                                               button->iconSize(), StyleSheet::toolbarIconColor));
    }
}

void MainWindowController::addCommandAction(Command command, QAction* action) {
    commandActions_.emplace_back(command, action);
    updateCommands();
}

const std::vector<ContentViewController*>& MainWindowController::contentViewControllers() {
    if (contentViewControllers_.empty()) {
        auto own = [this](std::unique_ptr<ContentViewController> controller) {
            ownedContentViewControllers_.push_back(std::move(controller));
            contentViewControllers_.push_back(ownedContentViewControllers_.back().get());
        };
        own(std::make_unique<AppsListViewController>(*this, context_));
        own(std::make_unique<ExecsListViewController>(*this, context_));
        own(std::make_unique<FilesListViewController>(*this, context_));
        own(std::make_unique<NotesListViewController>(*this, context_));
    }
    return contentViewControllers_;
}

bool MainWindowController::saveBeforeQuitting() {
    bool started = false;
    for (ContentViewController* controller : contentViewControllers_)
        started = controller->saveBeforeQuitting() || started;
    return started;
}

int MainWindowController::displayedContentIndex() const {
    for (std::size_t i = 0; i < contentViewControllers_.size(); ++i)
        if (contentViewControllers_[i] == displayedViewController_) return static_cast<int>(i);
    return -1;
}

void MainWindowController::showContent(int index) {
    const auto& controllers = contentViewControllers();
    if (index < 0 || index >= static_cast<int>(controllers.size())) return;
    ContentViewController* target = controllers[static_cast<std::size_t>(index)];
    ContentViewController* current = displayedViewController_;
    auto setButtonStates = [this] {
        for (std::size_t i = 0; i < contentSidebarButtons_.size(); ++i)
            if (contentSidebarButtons_[i])
                contentSidebarButtons_[i]->setChecked(i < contentViewControllers_.size() &&
                                                      contentViewControllers_[i] ==
                                                          displayedViewController_);
    };
    if (current && !current->shouldDisappear()) return setButtonStates();
    if (!target->shouldAppear() || target == current) return setButtonStates();

    auto& center = keel::NotificationCenter::defaultCenter();
    center.post(willChangeContentNotification, this);
    if (current) current->willDisappear();
    target->willAppear();
    displayedViewController_ = target;
    if (current) gantry::removeFromSuperview(current->view());
    gantry::addFilledSubView(containerView_, target->view());
    setButtonStates();
    if (current) current->didDisappear();
    target->didAppear();
    center.post(didChangeContentNotification, this);
}

HistoryPopoverController& MainWindowController::historyPopoverController() {
    if (!historyPopoverController_)
        historyPopoverController_ =
            std::make_unique<HistoryPopoverController>(context_, historyButton_);
    return *historyPopoverController_;
}

void MainWindowController::toggleHistoryPopover() {
    if (historyButton_) historyPopoverController().toggle();
}

void MainWindowController::toggleHelpPopovers() {
    if (validateUserInterfaceItem(Command::toggleHelpPopovers)) tipsManager_->toggleTips();
}

bool MainWindowController::validateUserInterfaceItem(Command command) const {
    const bool idleWithAccess =
        context_.acceptsNewWork() && !context_.manager().isProcessing() && hasRootAccess();
    switch (command) {
        case Command::backupDevice:
        case Command::installDevice:
        case Command::syncDevice:
            return idleWithAccess && context_.manager().file() != nullptr;
        case Command::toggleHelpPopovers:
            return idleWithAccess;
    }
    return false;
}

void MainWindowController::updateCommands() {
    const bool devices = validateUserInterfaceItem(Command::backupDevice);
    for (QToolButton* button :
         {backupButton_.data(), installButton_.data(), synchronizeButton_.data()})
        if (button) button->setEnabled(devices);
    if (helpButton_)
        helpButton_->setEnabled(validateUserInterfaceItem(Command::toggleHelpPopovers));
    for (auto& [command, action] : commandActions_)
        if (action) action->setEnabled(validateUserInterfaceItem(command));
}

void MainWindowController::setFeedbackAvailable(bool available) {
    feedbackAvailable_ = available;
    if (!toolbar_) return;
    if (auto* slot = toolbar_->findChild<QAction*>("feedbackButtonSlot"))
        slot->setVisible(available);
}

void MainWindowController::refreshState() {
    updateMessageArea();
    updateCommands();
}

void MainWindowController::backupDevice() {
    runDeviceAction(BackupAction::backUpDevice);
}

void MainWindowController::installDevice() {
    runDeviceAction(BackupAction::installDevice);
}

void MainWindowController::syncDevice() {
    runDeviceAction(BackupAction::syncDevice);
}

void MainWindowController::runDeviceAction(BackupAction action) {
    if (!validateUserInterfaceItem(Command::backupDevice)) return;
    context_.submit(context_.manager().makeProcess(action));
}

void MainWindowController::subscribe() {
    BackupManager& manager = context_.manager();
    managerWillProcessSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    managerWillProcessSubscriber_->subscribe(
        {BackupManager::willProcessNotification}, &manager,
        [this](const keel::Notification& n) { managerWillProcess(n); });
    managerDidProcessSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    managerDidProcessSubscriber_->subscribe(
        {BackupManager::didProcessNotification}, &manager,
        [this](const keel::Notification& n) { managerDidProcess(n); });
    viewerDidReloadSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    viewerDidReloadSubscriber_->subscribe(
        {quillfen::BackupViewer::didReloadNotification}, manager.viewer().get(),
        [this](const keel::Notification&) { refreshHistoryButtonTitle(); });
}

void MainWindowController::managerWillProcess(const keel::Notification& notification) {
    processingAction_ = BackupManager::backupAction(notification);
    updateMessageArea();
    updateCommands();
}

void MainWindowController::managerDidProcess(const keel::Notification& notification) {
    processingAction_.reset();
    updateMessageArea();
    updateCommands();
    const auto process = BackupManager::backupProcess(notification);
    if (!process) return;
    if (process->error()) {
        if (!context_.acceptsNewWork()) {
            // Ending: no window will stay to show an alert.
            std::fprintf(stderr, "quillfen-gui: %s: %s\n",
                         quillfen::progressTitle(process->action()).c_str(),
                         quillfen::ErrorDescription::text(process->error(), "; ").c_str());
        } else if (window_) {
            presentError(*process);
        }
    }
    if (signalsEnd(process->action())) signalEndOfProcess(process->action());
    if (const quillfen::SyncLogs* logs = process->syncLogs()) showLogs(*logs);
}

void MainWindowController::updateMessageArea() {
    if (!window_) return;
    const double duration = window_->isVisible() ? 0.3 : 0;
    if (context_.manager().isProcessing())
        message_ = Message::processing;
    else if (hasRootAccess())
        message_ = Message::none;
    else
        message_ = Message::authorizationRequired;

    switch (message_) {
        case Message::processing:
            messageTitleField_->setText(localized("QuillfenIsProcessingTitle"));
            messageSubTitleField_->setText(
                processingAction_
                    ? QString::fromStdString(keel::TL("QuillfenIsProcessingSubtitle",
                                                      quillfen::progressTitle(*processingAction_)))
                    : QString());
            messageButton_->hide();
            messageIconView_->hide();
            progressIndicator_->show();
            progressIndicator_->setAnimation(true);
            break;
        case Message::authorizationRequired:
            messageTitleField_->setText(localized("DiskUserAutorizationRequiredTitle"));
            messageSubTitleField_->setText(localized("DiskUserAutorizationRequiredSubitle"));
            messageButton_->setText(localized("DiskUserAutorizationRequiredButton"));
            messageButton_->show();
            messageIconView_->show();
            progressIndicator_->hide();
            progressIndicator_->setAnimation(false);
            break;
        case Message::none:
            progressIndicator_->setAnimation(false);
            break;
    }
    const bool showsMessage = message_ != Message::none;
    gantry::animate(messageView_, duration, !showsMessage);
    gantry::animate(contentView_, duration, showsMessage);
    if (!showsMessage && window_->isVisible()) {
        QPointer<MainWindowController> self = this;
        QTimer::singleShot(static_cast<int>(duration * 1000) + 500, this, [self] {
            if (self && self->message_ == Message::none && !self->sheetWindowController_)
                self->tipsManager_->showTipsIfNeeded();
        });
    }
}

void MainWindowController::showProgress(std::size_t done, std::size_t total) {
    if (message_ != Message::processing || !processingAction_ || !messageSubTitleField_) return;
    messageSubTitleField_->setText(
        QString::fromStdString(keel::TL("QuillfenIsProcessingProgressSubtitle",
                                        quillfen::progressTitle(*processingAction_), done, total)));
}

void MainWindowController::refreshHistoryButtonTitle() {
    if (!historyButton_) return;
    std::vector<quillfen::BackupEventItem> events;
    if (auto file = context_.manager().file()) events = file->eventItems();
    if (events.empty()) {
        historyButton_->setText(localized("HistoryButtonEmptyHistoryTitle"));
        return;
    }
    static const keel::DateFormatter formatter(keel::DateFormatter::Style::shortStyle,
                                               keel::DateFormatter::Style::none);
    historyButton_->setText(QString::fromStdString(formatter.string(events.front().date)));
}

QWidget* MainWindowController::sheetParent() const {
    if (sheetWindowController_ && sheetWindowController_->isSheetShown())
        return sheetWindowController_->window();
    return window_;
}

void MainWindowController::presentError(const quillfen::BackupProcess& process) {
    gantry::AlertRequest request;
    request.name = "BackupErrorDidOccurAlert";
    request.messageText = keel::TL("BackupErrorDidOccurAlertMessageText");
    request.informativeText = keel::TL("BackupErrorDidOccurAlertInformativeText",
                                       quillfen::progressTitle(process.action()),
                                       quillfen::ErrorDescription::text(process.error(), "\n"));
    request.buttons = {keel::TL("BackupErrorDidOccurAlertOKButton")};
    request.style = gantry::AlertRequest::Style::critical;
    context_.alerts().beginSheet(sheetParent(), request, {});
}

void MainWindowController::signalEndOfProcess(BackupAction) {
    auto& settings = keel::UserSettings::standard();
    if (settings.get(BackupManager::enableNoteAfterProcessingKey))
        context_.notifications().deliver(localized("AppDidEndProcessUserNoteTitle"),
                                         localized("AppDidEndProcessUserNoteInformativeText"));
    if (settings.get(BackupManager::enableAlertAfterProcessingKey) && window_)
        QApplication::alert(window_, 0);
    keel::ReviewRequestMaker::make();
}

void MainWindowController::showLogs(const quillfen::SyncLogs& logs) {
    auto results = logs.results();
    if (results.empty() || sheetWindowController_ || !window_) return;
    auto* logsController = new LogsWindowController(std::move(results), this);
    sheetWindowController_ = logsController;
    QPointer<MainWindowController> self = this;
    logsController->beginSheet(window_, [self, logsController](int) {
        if (self && self->sheetWindowController_ == logsController)
            self->sheetWindowController_ = nullptr;
        logsController->deleteLater();
    });
}

void MainWindowController::autorizeAccess() {
    if (context_.manager().isProcessing() || hasRootAccess() || !window_) return;
    gantry::PanelRequest request;
    request.kind = gantry::PanelRequest::Kind::open;
    request.name = "AskAuthorizationPanel";
    request.title = keel::TL("AskAuthorizationPanelTitle");
    request.message = keel::TL("AskAuthorizationPanelMessage");
    request.prompt = keel::TL("AskAuthorizationPanelPromptButton");
    request.directoryURL = "/";
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.canCreateDirectories = false;
    request.allowsMultipleSelection = false;
    QPointer<MainWindowController> self = this;
    context_.panels().beginSheet(window_, request, [self](std::vector<fs::path> urls) {
        if (!self) return;
        // Only the top folder itself covers everything a run may touch.
        if (urls.empty() || !keel::isFileParent(urls.front(), fs::path("/"))) {
            self->context_.alerts().beginSheet(self->window_,
                                               {"RootNotAllowedAlert",
                                                keel::TL("RootNotAllowedAlertMessageText"),
                                                keel::TL("RootNotAllowedAlertInformativeText"),
                                                {keel::TL("RootNotAllowedAlertOKButton")},
                                                gantry::AlertRequest::Style::warning},
                                               {});
            return;
        }
        self->grantAccess(urls.front());
    });
}

void MainWindowController::grantAccess(const fs::path& folder) {
    try {
        AccessManager::shared().addAccess(folder);
    } catch (const std::exception& error) {
        // The grant holds for this run; say that it will be asked again.
        context_.alerts().beginSheet(
            window_,
            {"AccessNotStoredAlert",
             keel::TL("AccessNotStoredAlertMessageText"),
             keel::TL("AccessNotStoredAlertInformativeText", std::string(error.what())),
             {keel::TL("AccessNotStoredAlertOKButton")},
             gantry::AlertRequest::Style::warning},
            {});
    }
    context_.submit(BackupAction::readBackupFile);
    updateMessageArea();
    updateCommands();
}

void MainWindowController::firstRunCheck() {
    if (!window_ || firstRunCheckPending_ || sheetWindowController_) return;
    for (const QDialog* dialog : window_->findChildren<QDialog*>())
        if (dialog->isVisible()) return;
    firstRunCheckPending_ = true;
    QPointer<MainWindowController> self = this;
    QTimer::singleShot(static_cast<int>(context_.firstRunDelay().count()), this, [self] {
        if (!self) return;
        self->firstRunCheckPending_ = false;
        if (self->sheetWindowController_) return;
        if (keel::UserSettings::standard().get(BackupManager::backupFileURLLocationKey)) return;
        self->presentIntroSheet();
    });
}

void MainWindowController::presentIntroSheet() {
    auto* intro = new IntroWindowController(context_, this);
    intro->setBackupManager(&context_.manager());
    sheetWindowController_ = intro;
    QPointer<MainWindowController> self = this;
    intro->beginSheet(window_, [self, intro](int) {
        if (self && self->sheetWindowController_ == intro) self->sheetWindowController_ = nullptr;
        intro->deleteLater();
    });
}

}  // namespace desktop
