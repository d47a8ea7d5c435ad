#include "desktop/IntroWindowController.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/BackupManager.h"
#include "desktop/ShellCommon.h"
#include "desktop/ShellContext.h"
#include "desktop/StyleSheet.h"
#include "gantry/AlertPresenter.h"
#include "gantry/PanelPresenter.h"
#include "gantry/Workspace.h"
#include "keel/LocalizedString.h"
#include "keel/NoteSubscriber.h"
#include "keel/Strings.h"
#include "keel/UserSettings.h"

namespace desktop {

IntroWindowController::IntroWindowController(ShellContext& context, QObject* parent)
    : SheetController(parent), context_(context) {}

IntroWindowController::~IntroWindowController() = default;

QDialog* IntroWindowController::loadWindow() {
    auto* dialog = new QDialog();
    dialog->setObjectName("IntroWindow");
    dialog->setWindowTitle(localized("IntroWindowTitle"));

    auto* layout = new QHBoxLayout(dialog);
    layout->setContentsMargins(24, 24, 24, 20);
    layout->setSpacing(20);

    auto* icon = new QLabel(dialog);
    icon->setPixmap(StyleSheet::applicationIcon().pixmap(QSize(72, 72)));
    icon->setAlignment(Qt::AlignTop);
    layout->addWidget(icon, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout();
    column->setSpacing(8);
    layout->addLayout(column, 1);

    auto* title = new QLabel(localized("IntroWindowTitle"), dialog);
    title->setObjectName("introTitle");
    title->setFont(StyleSheet::font(title->font(), 1.35, true));
    column->addWidget(title);

    auto* message = new QLabel(localized("IntroWindowMessageText"), dialog);
    message->setWordWrap(true);
    message->setMinimumWidth(380);
    column->addWidget(message);
    column->addSpacing(10);

    auto* caption = new QLabel(localized("IntroWindowPathLabel"), dialog);
    caption->setFont(StyleSheet::font(caption->font(), 0.92, true));
    column->addWidget(caption);

    auto* pathRow = new QHBoxLayout();
    pathRow->setSpacing(8);
    pathTextField_ = new QLineEdit(dialog);
    pathTextField_->setObjectName("pathTextField");
    pathTextField_->setReadOnly(true);
    pathTextField_->setMinimumWidth(300);
    pathRow->addWidget(pathTextField_, 1);

    showFileButton_ = new QPushButton(localized("IntroWindowShowButton"), dialog);
    showFileButton_->setObjectName("showFileButton");
    showFileButton_->setAutoDefault(false);
    connect(showFileButton_, &QPushButton::clicked, this, [this] { showBackupLocation(); });
    pathRow->addWidget(showFileButton_);

    actionButton_ = new QPushButton(localized("IntroWindowChangeButton"), dialog);
    actionButton_->setObjectName("actionButton");
    actionButton_->setAutoDefault(false);
    auto* menu = new QMenu(actionButton_);
    QAction* move = menu->addAction(localized("IntroWindowMoveMenuItem"));
    move->setObjectName("moveBackupFile");
    connect(move, &QAction::triggered, this, [this] { moveBackupFile(); });
    QAction* replace = menu->addAction(localized("IntroWindowReplaceMenuItem"));
    replace->setObjectName("replaceBackupFile");
    connect(replace, &QAction::triggered, this, [this] { replaceBackupFile(); });
    actionButton_->setMenu(menu);
    pathRow->addWidget(actionButton_);
    column->addLayout(pathRow);

    column->addSpacing(14);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    continueButton_ = new QPushButton(localized("IntroWindowContinueButton"), dialog);
    continueButton_->setObjectName("continueButton");
    continueButton_->setDefault(true);
    connect(continueButton_, &QPushButton::clicked, this, [this] { closeIntroductionSheet(); });
    buttons->addWidget(continueButton_);
    column->addLayout(buttons);

    // Escape and the window's close button end the sheet like Continue:
    // the first run is done either way.
    connect(dialog, &QDialog::rejected, this, [this] { closeIntroductionSheet(); });
    return dialog;
}

void IntroWindowController::windowDidLoad() {
    subscribe();
    refresh();
    if (backupManager_) setButtonsEnabled(!backupManager_->isProcessing());
}

void IntroWindowController::setBackupManager(BackupManager* manager) {
    managerWillProcessSubscriber_.reset();
    managerDidProcessSubscriber_.reset();
    backupManager_ = manager;
    refresh();
    subscribe();
}

void IntroWindowController::subscribe() {
    if (!backupManager_ || managerWillProcessSubscriber_) return;
    managerWillProcessSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    managerWillProcessSubscriber_->subscribe(
        {BackupManager::willProcessNotification}, backupManager_,
        [this](const keel::Notification& n) { managerWillProcess(n); });
    managerDidProcessSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    managerDidProcessSubscriber_->subscribe(
        {BackupManager::didProcessNotification}, backupManager_,
        [this](const keel::Notification& n) { managerDidProcess(n); });
}

void IntroWindowController::refresh() {
    if (!pathTextField_) return;
    std::optional<fs::path> url;
    if (backupManager_) url = backupManager_->backupFileURL();
    const QString path = url ? QString::fromStdString(keel::abreviatingTildeInPath(url->string()))
                             : QStringLiteral("-");
    pathTextField_->setText(path);
    pathTextField_->setToolTip(path);
    // A long path shows its end: the package's own name.
    pathTextField_->setCursorPosition(static_cast<int>(path.size()));
}

void IntroWindowController::setButtonsEnabled(bool enabled) {
    for (QPushButton* button :
         {showFileButton_.data(), actionButton_.data(), continueButton_.data()})
        if (button) button->setEnabled(enabled);
}

void IntroWindowController::refreshIfMoved(const keel::Notification& notification) {
    const auto action = BackupManager::backupAction(notification);
    if (action == BackupAction::moveBackupFile || action == BackupAction::replaceBackupFile)
        refresh();
}

void IntroWindowController::managerWillProcess(const keel::Notification& notification) {
    setButtonsEnabled(false);
    refreshIfMoved(notification);
}

void IntroWindowController::managerDidProcess(const keel::Notification& notification) {
    setButtonsEnabled(true);
    refreshIfMoved(notification);
}

void IntroWindowController::moveBackupFile() {
    if (!backupManager_ || backupManager_->isProcessing()) return;
    gantry::PanelRequest request;
    request.kind = gantry::PanelRequest::Kind::save;
    request.name = "IntroMovePanel";
    request.title = keel::TL("IntroMovePanelTitle");
    request.prompt = keel::TL("IntroMovePanelPrompt");
    request.canCreateDirectories = true;
    request.allowedExtension = "qfbackup";
    request.extensionIsPackage = true;
    if (const auto url = backupManager_->backupFileURL()) {
        request.directoryURL = url->parent_path();
        request.nameFieldStringValue = url->filename().string();
    }
    QPointer<IntroWindowController> self = this;
    context_.panels().beginSheet(window(), request, [self](std::vector<fs::path> urls) {
        if (!self || urls.empty() || !self->backupManager_) return;
        self->context_.submit(
            self->backupManager_->makeProcess(BackupAction::moveBackupFile, urls.front()));
    });
}

void IntroWindowController::replaceBackupFile() {
    if (!backupManager_ || backupManager_->isProcessing()) return;
    gantry::PanelRequest request;
    request.kind = gantry::PanelRequest::Kind::open;
    request.name = "IntroReplacePanel";
    request.title = keel::TL("IntroReplacePanelTitle");
    request.prompt = keel::TL("IntroReplacePanelPrompt");
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.canCreateDirectories = false;
    request.allowsMultipleSelection = false;
    request.allowedExtension = "qfbackup";
    request.extensionIsPackage = true;
    if (const auto url = backupManager_->backupFileURL()) request.directoryURL = url->parent_path();
    QPointer<IntroWindowController> self = this;
    context_.panels().beginSheet(window(), request, [self](std::vector<fs::path> urls) {
        if (!self || urls.empty() || !self->backupManager_) return;
        self->context_.submit(
            self->backupManager_->makeProcess(BackupAction::replaceBackupFile, urls.front()));
    });
}

void IntroWindowController::showBackupLocation() {
    if (!backupManager_) return;
    if (const auto url = backupManager_->backupFileURL())
        context_.workspace().activateFileViewerSelecting({*url});
}

void IntroWindowController::closeIntroductionSheet() {
    if (backupManager_) {
        try {
            keel::UserSettings::standard().set(BackupManager::backupFileURLLocationKey,
                                               backupManager_->backupFileURL());
        } catch (const std::exception& error) {
            context_.alerts().beginSheet(
                window() ? window()->parentWidget() : nullptr,
                {"LocationNotStoredAlert",
                 keel::TL("LocationNotStoredAlertMessageText"),
                 keel::TL("LocationNotStoredAlertInformativeText", std::string(error.what())),
                 {keel::TL("LocationNotStoredAlertOKButton")},
                 gantry::AlertRequest::Style::warning},
                {});
        }
    }
    // Ending the sheet rejects nothing: it is already ending when rejected.
    if (window() && window()->isVisible()) endSheet(1);
}

}  // namespace desktop
