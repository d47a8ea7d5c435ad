#include "desktop/PreferencesGeneralViewController.h"

#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/BackupManager.h"
#include "desktop/ShellCommon.h"
#include "desktop/ShellContext.h"
#include "gantry/AlertPresenter.h"
#include "gantry/PanelPresenter.h"
#include "gantry/Workspace.h"
#include "keel/LocalizedString.h"
#include "keel/NoteSubscriber.h"
#include "keel/Strings.h"
#include "keel/UserSettings.h"
#include "outfitter/ReleaseController.h"
#include "outfitter/ReleaseSettings.h"
#include "outfitter/Updater.h"
#include "outfitter/UserActionsTracker.h"

namespace desktop {

namespace {

QPushButton* makeButton(const char* name, const char* titleKey, QWidget* parent) {
    auto* button = new QPushButton(localized(titleKey), parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    // Room for the whole title, whatever the style's margins.
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 28);
    return button;
}

QCheckBox* makeCheckBox(const char* name, const char* titleKey, QWidget* parent) {
    auto* box = new QCheckBox(localized(titleKey), parent);
    box->setObjectName(name);
    return box;
}

QLabel* makeNote(const char* key, QWidget* parent) {
    auto* label = new QLabel(localized(key), parent);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setContentsMargins(24, 0, 0, 0);
    return label;
}

}  // namespace

PreferencesGeneralViewController::PreferencesGeneralViewController(
    ShellContext& context, outfitter::ReleaseController& releaseController)
    : context_(context), releaseController_(releaseController) {}

PreferencesGeneralViewController::~PreferencesGeneralViewController() = default;

QWidget* PreferencesGeneralViewController::loadView() {
    auto* view = new QWidget();
    view->setObjectName("PreferencesGeneralView");
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(8);

    auto* locationTitle = new QLabel(localized("PreferencesBackupFileLocationTitle"), view);
    QFont bold = locationTitle->font();
    bold.setBold(true);
    locationTitle->setFont(bold);
    layout->addWidget(locationTitle);
    auto* pathRow = new QHBoxLayout();
    backupFilePathTextField_ = new QLineEdit(view);
    backupFilePathTextField_->setObjectName("backupFilePathTextField");
    backupFilePathTextField_->setReadOnly(true);
    backupFilePathTextField_->setMinimumWidth(320);
    pathRow->addWidget(backupFilePathTextField_, 1);
    showFileButton_ = makeButton("showFileButton", "PreferencesShowFileButton", view);
    pathRow->addWidget(showFileButton_);
    layout->addLayout(pathRow);
    auto* fileRow = new QHBoxLayout();
    changeFileButton_ = makeButton("changeFileButton", "PreferencesChangeFileButton", view);
    replaceFileButton_ = makeButton("replaceFileButton", "PreferencesReplaceFileButton", view);
    importFileButton_ = makeButton("importFileButton", "PreferencesImportFileButton", view);
    exportFileButton_ = makeButton("exportFileButton", "PreferencesExportFileButton", view);
    for (QPushButton* button : {changeFileButton_.data(), replaceFileButton_.data(),
                                importFileButton_.data(), exportFileButton_.data()})
        fileRow->addWidget(button);
    fileRow->addStretch(1);
    layout->addLayout(fileRow);
    layout->addWidget(makeNote("PreferencesBackupFileLocationNote", view));

    auto* separator = new QFrame(view);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    layout->addSpacing(4);
    layout->addWidget(separator);
    layout->addSpacing(4);

    auto* processTitle = new QLabel(localized("PreferencesAfterProcessTitle"), view);
    processTitle->setFont(bold);
    layout->addWidget(processTitle);
    noteAfterProcessButton_ =
        makeCheckBox("noteAfterProcessButton", "PreferencesNoteAfterProcessButton", view);
    alertAfterProcessButton_ =
        makeCheckBox("alertAfterProcessButton", "PreferencesAlertAfterProcessButton", view);
    layout->addWidget(noteAfterProcessButton_);
    layout->addWidget(alertAfterProcessButton_);

    auto* separator2 = new QFrame(view);
    separator2->setFrameShape(QFrame::HLine);
    separator2->setFrameShadow(QFrame::Sunken);
    layout->addSpacing(4);
    layout->addWidget(separator2);
    layout->addSpacing(4);

    auto* privacyTitle = new QLabel(localized("PreferencesPrivacyAndUpdatesTitle"), view);
    privacyTitle->setFont(bold);
    layout->addWidget(privacyTitle);
    usageStatisticsButton_ =
        makeCheckBox("usageStatisticsButton", "PreferencesUsageStatisticsButton", view);
    layout->addWidget(usageStatisticsButton_);
    layout->addWidget(makeNote("PreferencesUsageStatisticsNote", view));
    automaticUpdatesButton_ =
        makeCheckBox("automaticUpdatesButton", "PreferencesAutomaticUpdatesButton", view);
    layout->addWidget(automaticUpdatesButton_);
    // Where the updater is off (a sandbox, a build without a feed) there is
    // nothing to switch.
    automaticUpdatesButton_->setVisible(releaseController_.updater().canCheckForUpdates());
    layout->addStretch(1);

    QObject::connect(changeFileButton_, &QPushButton::clicked, view, [this] { moveBackupFile(); });
    QObject::connect(replaceFileButton_, &QPushButton::clicked, view,
                     [this] { replaceBackupFile(); });
    QObject::connect(importFileButton_, &QPushButton::clicked, view,
                     [this] { importBackupFile(); });
    QObject::connect(exportFileButton_, &QPushButton::clicked, view,
                     [this] { exportBackupFile(); });
    QObject::connect(showFileButton_, &QPushButton::clicked, view, [this] { showBackupFile(); });
    QObject::connect(noteAfterProcessButton_, &QCheckBox::clicked, view,
                     [this] { changeNoteAfterProcess(); });
    QObject::connect(alertAfterProcessButton_, &QCheckBox::clicked, view,
                     [this] { changeAlertAfterProcess(); });
    QObject::connect(usageStatisticsButton_, &QCheckBox::clicked, view,
                     [this] { changeUsageStatistics(); });
    QObject::connect(automaticUpdatesButton_, &QCheckBox::clicked, view,
                     [this] { changeAutomaticUpdates(); });
    return view;
}

void PreferencesGeneralViewController::viewDidLoad() {
    refresh();
    BackupManager& manager = context_.manager();
    managerWillProcessSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    managerWillProcessSubscriber_->subscribe(
        {BackupManager::willProcessNotification}, &manager,
        [this](const keel::Notification&) { setFileButtonsEnabled(false); });
    managerDidProcessSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    managerDidProcessSubscriber_->subscribe(
        {BackupManager::didProcessNotification}, &manager,
        [this](const keel::Notification& notification) { managerDidProcess(notification); });
    defaultsDidSyncKeySubscriber_ = std::make_unique<keel::NoteSubscriber>();
    defaultsDidSyncKeySubscriber_->subscribe(
        {keel::UserSettings::didEditKeyNotification}, &keel::UserSettings::standard(),
        [this](const keel::Notification& notification) { settingsDidEdit(notification); });
    setFileButtonsEnabled(!manager.isProcessing());
}

void PreferencesGeneralViewController::refresh() {
    refreshPath();
    auto& settings = keel::UserSettings::standard();
    noteAfterProcessButton_->setChecked(settings.get(BackupManager::enableNoteAfterProcessingKey));
    alertAfterProcessButton_->setChecked(
        settings.get(BackupManager::enableAlertAfterProcessingKey));
    usageStatisticsButton_->setChecked(
        releaseController_.userActionsTracker().isAnalyticsEnabled());
    automaticUpdatesButton_->setChecked(
        settings.get(outfitter::ReleaseSettings::updateAutomaticChecks)
            .value_or(releaseController_.updater().automaticallyChecksForUpdates()));
}

void PreferencesGeneralViewController::refreshPath() {
    const auto url = context_.manager().backupFileURL();
    const QString path =
        url ? QString::fromStdString(keel::abreviatingTildeInPath(url->string())) : "nil";
    backupFilePathTextField_->setText(path);
    backupFilePathTextField_->setToolTip(path);
    // A long path shows its end: the package's own name.
    backupFilePathTextField_->setCursorPosition(static_cast<int>(path.size()));
}

void PreferencesGeneralViewController::setFileButtonsEnabled(bool enabled) {
    for (QPushButton* button :
         {changeFileButton_.data(), replaceFileButton_.data(), importFileButton_.data(),
          exportFileButton_.data(), showFileButton_.data()})
        if (button) button->setEnabled(enabled);
}

void PreferencesGeneralViewController::managerDidProcess(const keel::Notification& notification) {
    setFileButtonsEnabled(true);
    const auto action = BackupManager::backupAction(notification);
    if (action == BackupAction::moveBackupFile || action == BackupAction::replaceBackupFile)
        refreshPath();
}

void PreferencesGeneralViewController::settingsDidEdit(const keel::Notification& notification) {
    const std::string name = keel::UserSettings::editedKeyName(notification);
    auto& settings = keel::UserSettings::standard();
    if (name == BackupManager::backupFileURLLocationKey.name)
        refreshPath();
    else if (name == BackupManager::enableNoteAfterProcessingKey.name)
        noteAfterProcessButton_->setChecked(
            settings.get(BackupManager::enableNoteAfterProcessingKey));
    else if (name == BackupManager::enableAlertAfterProcessingKey.name)
        alertAfterProcessButton_->setChecked(
            settings.get(BackupManager::enableAlertAfterProcessingKey));
    else if (name == outfitter::ReleaseSettings::enableUsageAnalytics.name)
        usageStatisticsButton_->setChecked(
            settings.get(outfitter::ReleaseSettings::enableUsageAnalytics));
}

void PreferencesGeneralViewController::moveBackupFile() {
    BackupManager& manager = context_.manager();
    if (manager.isProcessing()) return;
    gantry::PanelRequest request;
    request.kind = gantry::PanelRequest::Kind::save;
    request.name = "PreferencesMovePanel";
    request.title = keel::TL("PreferencesMovePanelTitle");
    request.prompt = keel::TL("PreferencesMovePanelPrompt");
    request.canCreateDirectories = true;
    request.allowedExtension = "qfbackup";
    request.extensionIsPackage = true;
    if (const auto url = manager.backupFileURL()) {
        request.directoryURL = url->parent_path();
        request.nameFieldStringValue = url->filename().string();
    }
    QPointer<QWidget> alive = view();
    context_.panels().beginSheet(
        view()->window(), request, [this, alive](std::vector<fs::path> urls) {
            if (!alive || urls.empty()) return;
            context_.submit(
                context_.manager().makeProcess(BackupAction::moveBackupFile, urls.front()));
        });
}

void PreferencesGeneralViewController::exportBackupFile() {
    BackupManager& manager = context_.manager();
    if (manager.isProcessing()) return;
    gantry::PanelRequest request;
    request.kind = gantry::PanelRequest::Kind::save;
    request.name = "PreferencesExportPanel";
    request.title = keel::TL("PreferencesExportPanelTitle");
    request.prompt = keel::TL("PreferencesExportPanelPrompt");
    request.canCreateDirectories = true;
    request.allowedExtension = "qfbackup";
    request.extensionIsPackage = true;
    if (const auto url = manager.backupFileURL()) {
        request.directoryURL = url->parent_path();
        request.nameFieldStringValue = url->filename().string();
    }
    QPointer<QWidget> alive = view();
    context_.panels().beginSheet(
        view()->window(), request, [this, alive](std::vector<fs::path> urls) {
            if (!alive || urls.empty()) return;
            context_.submit(
                context_.manager().makeProcess(BackupAction::exportBackupFile, urls.front()));
        });
}

void PreferencesGeneralViewController::replaceBackupFile() {
    confirmThenChoosePackage(BackupAction::replaceBackupFile, "PreferencesReplacePanel");
}

void PreferencesGeneralViewController::importBackupFile() {
    confirmThenChoosePackage(BackupAction::importBackupFile, "PreferencesImportPanel");
}

void PreferencesGeneralViewController::confirmThenChoosePackage(BackupAction action,
                                                                const char* panelName) {
    if (context_.manager().isProcessing()) return;
    gantry::AlertRequest confirmation;
    confirmation.name = "AskBackupFileImportAlert";
    confirmation.messageText = keel::TL("AskBackupFileImportAlertMessageText");
    confirmation.informativeText = keel::TL("AskBackupFileImportAlertInformativeText");
    confirmation.buttons = {keel::TL("AskBackupFileImportAlertCancelButton"),
                            keel::TL("AskBackupFileImportAlertContinueButton")};
    confirmation.style = gantry::AlertRequest::Style::warning;
    const std::string name = panelName;
    QPointer<QWidget> alive = view();
    context_.alerts().beginSheet(
        view()->window(), confirmation, [this, alive, action, name](std::size_t button) {
            // The first button is Cancel.
            if (!alive || button == 0 || context_.manager().isProcessing()) return;
            gantry::PanelRequest request;
            request.kind = gantry::PanelRequest::Kind::open;
            request.name = name;
            request.title = keel::TL(name + "Title");
            request.prompt = keel::TL(name + "Prompt");
            request.canChooseFiles = false;
            request.canChooseDirectories = true;
            request.allowsMultipleSelection = false;
            request.allowedExtension = "qfbackup";
            request.extensionIsPackage = true;
            if (const auto url = context_.manager().backupFileURL())
                request.directoryURL = url->parent_path();
            context_.panels().beginSheet(
                view()->window(), request, [this, alive, action](std::vector<fs::path> urls) {
                    if (!alive || urls.empty()) return;
                    context_.submit(context_.manager().makeProcess(action, urls.front()));
                });
        });
}

void PreferencesGeneralViewController::showBackupFile() {
    if (const auto url = context_.manager().backupFileURL())
        context_.workspace().activateFileViewerSelecting({*url});
}

template <class Store>
void PreferencesGeneralViewController::storeSetting(Store store) {
    try {
        store();
    } catch (const std::exception& error) {
        context_.alerts().beginSheet(
            view()->window(),
            {"PreferenceNotStoredAlert",
             keel::TL("PreferenceNotStoredAlertMessageText"),
             keel::TL("PreferenceNotStoredAlertInformativeText", std::string(error.what())),
             {keel::TL("PreferenceNotStoredAlertOKButton")},
             gantry::AlertRequest::Style::warning},
            {});
        refresh();
    }
}

void PreferencesGeneralViewController::changeNoteAfterProcess() {
    const bool on = noteAfterProcessButton_->isChecked();
    storeSetting([on] {
        keel::UserSettings::standard().set(BackupManager::enableNoteAfterProcessingKey, on);
    });
}

void PreferencesGeneralViewController::changeAlertAfterProcess() {
    const bool on = alertAfterProcessButton_->isChecked();
    storeSetting([on] {
        keel::UserSettings::standard().set(BackupManager::enableAlertAfterProcessingKey, on);
    });
}

void PreferencesGeneralViewController::changeUsageStatistics() {
    const bool on = usageStatisticsButton_->isChecked();
    storeSetting([this, on] { releaseController_.userActionsTracker().setAnalyticsEnabled(on); });
}

void PreferencesGeneralViewController::changeAutomaticUpdates() {
    const bool on = automaticUpdatesButton_->isChecked();
    storeSetting([this, on] { releaseController_.updater().setAutomaticallyChecksForUpdates(on); });
}

}  // namespace desktop
