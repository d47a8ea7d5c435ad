#include "outfitter_widgets/FeedbackWindowController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "outfitter/FeedbackForm.h"
#include "outfitter_widgets/KitWindow.h"

namespace outfitter {

namespace {

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// Sets the text of a field only when it differs, so that typing into it
// does not move the cursor.
void setTextKeepingCursor(QLineEdit* field, const QString& text) {
    if (field->text() != text) field->setText(text);
}

}  // namespace

FeedbackWindowController::FeedbackWindowController(FeedbackForm& form, QObject* parent)
    : QObject(parent), form_(form) {
    chooseFiles_ = [](QWidget* parentWindow) {
        return QFileDialog::getOpenFileNames(parentWindow, kitText("FeedbackAttachChooserTitle"));
    };
    build();
    connect(&form_, &FeedbackForm::changed, this, [this] { refresh(); });
    connect(&form_, &FeedbackForm::closeRequested, this, [this] {
        if (window_->isVisible()) window_->close();
    });
    refresh();
}

FeedbackWindowController::~FeedbackWindowController() {
    delete informationDialog_.data();
}

QWidget* FeedbackWindowController::window() const {
    return window_.get();
}

void FeedbackWindowController::showWindow() {
    refresh();
    window_->show();
    window_->raise();
    window_->activateWindow();
    if (messageView_->isEnabled()) messageView_->setFocus();
}

void FeedbackWindowController::build() {
    window_ = std::make_unique<KitWindow>();
    window_->setObjectName("feedbackWindow");
    window_->setCanClose([this] { return !form_.isSending(); });
    window_->setDidClose([this] {
        if (informationDialog_) informationDialog_->close();
        form_.windowDidClose();
    });

    auto* intro = new QLabel(kitText("FeedbackWindowIntroText"));
    intro->setObjectName("feedbackIntroLabel");
    intro->setWordWrap(true);

    typePopUp_ = new QComboBox;
    typePopUp_->setObjectName("feedbackTypePopUp");
    for (const char* key :
         {"FeedbackTypeSuggestion", "FeedbackTypeSupportRequest", "FeedbackTypeBugReport"})
        typePopUp_->addItem(kitText(key));
    connect(typePopUp_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!refreshing_ && index >= 0) form_.setFeedbackTypeIndex(index);
    });

    nameField_ = new QLineEdit;
    nameField_->setObjectName("nameTextField");
    nameField_->setPlaceholderText(kitText("FeedbackNamePlaceholder"));
    connect(nameField_, &QLineEdit::textEdited, this,
            [this](const QString& text) { form_.setUserName(text.toStdString()); });

    emailField_ = new QLineEdit;
    emailField_->setObjectName("emailTextField");
    emailField_->setPlaceholderText(kitText("FeedbackEmailPlaceholder"));
    connect(emailField_, &QLineEdit::textEdited, this,
            [this](const QString& text) { form_.setUserEmail(text.toStdString()); });

    auto* fields = new QFormLayout;
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    fields->addRow(kitText("FeedbackTypeLabel"), typePopUp_);
    fields->addRow(kitText("FeedbackNameLabel"), nameField_);
    fields->addRow(kitText("FeedbackEmailLabel"), emailField_);

    messageView_ = new QPlainTextEdit;
    messageView_->setObjectName("messageTextView");
    messageView_->setPlaceholderText(kitText("FeedbackMessagePlaceholder"));
    messageView_->setTabChangesFocus(true);
    messageView_->setMinimumHeight(140);
    connect(messageView_, &QPlainTextEdit::textChanged, this, [this] {
        if (!refreshing_) form_.setMessage(messageView_->toPlainText().toStdString());
    });

    // Attachments: a list, with buttons to add and remove files.
    attachmentsArea_ = new QWidget;
    attachmentsArea_->setObjectName("attachmentsArea");
    attachmentsList_ = new QListWidget;
    attachmentsList_->setObjectName("attachmentsTable");
    attachmentsList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    attachmentsList_->setMaximumHeight(80);
    addAttachmentButton_ = new QPushButton(kitText("FeedbackAttachButtonTitle"));
    addAttachmentButton_->setObjectName("addAttachmentButton");
    removeAttachmentButton_ = new QPushButton(kitText("FeedbackRemoveAttachmentButtonTitle"));
    removeAttachmentButton_->setObjectName("removeAttachmentButton");
    connect(addAttachmentButton_, &QPushButton::clicked, this, [this] { addAttachments(); });
    connect(removeAttachmentButton_, &QPushButton::clicked, this,
            [this] { removeSelectedAttachments(); });
    connect(attachmentsList_, &QListWidget::itemSelectionChanged, this, [this] { refresh(); });
    auto* attachmentButtons = new QVBoxLayout;
    attachmentButtons->addWidget(addAttachmentButton_);
    attachmentButtons->addWidget(removeAttachmentButton_);
    attachmentButtons->addStretch();
    auto* attachmentsLabel = new QLabel(kitText("FeedbackAttachmentsLabel"));
    attachmentsLabel->setWordWrap(true);
    auto* attachmentsRow = new QHBoxLayout;
    attachmentsRow->setContentsMargins(0, 0, 0, 0);
    attachmentsRow->addWidget(attachmentsList_, 1);
    attachmentsRow->addLayout(attachmentButtons);
    auto* attachmentsLayout = new QVBoxLayout(attachmentsArea_);
    attachmentsLayout->setContentsMargins(0, 0, 0, 0);
    attachmentsLayout->addWidget(attachmentsLabel);
    attachmentsLayout->addLayout(attachmentsRow);

    includeInformationButton_ = new QCheckBox(kitText("FeedbackIncludeInformationTitle"));
    includeInformationButton_->setObjectName("includeInformationButton");
    connect(includeInformationButton_, &QCheckBox::toggled, this, [this](bool checked) {
        if (!refreshing_) form_.setIncludeInformation(checked);
    });
    showInformationButton_ = new QPushButton(kitText("FeedbackShowInformationButtonTitle"));
    showInformationButton_->setObjectName("showInformationButton");
    makeLinkButton(showInformationButton_);
    connect(showInformationButton_, &QPushButton::clicked, this, [this] {
        QDialog* dialog = informationDialog();
        fillInformation();
        dialog->show();
        dialog->raise();
    });
    auto* informationRow = new QHBoxLayout;
    informationRow->addWidget(includeInformationButton_);
    informationRow->addWidget(showInformationButton_);
    informationRow->addStretch();

    progress_ = new QProgressBar;
    progress_->setObjectName("sendProgressIndicator");
    progress_->setRange(0, 0);  // busy: the upload reports no progress
    progress_->setTextVisible(false);
    progress_->setMaximumWidth(90);
    progress_->setMaximumHeight(12);
    sendingLabel_ = new QLabel(kitText("FeedbackSendingText"));
    sendingLabel_->setObjectName("sendingLabel");
    cancelButton_ = new QPushButton(kitText("FeedbackCancelButtonTitle"));
    cancelButton_->setObjectName("cancelFeedbackButton");
    connect(cancelButton_, &QPushButton::clicked, window_.get(), &QWidget::close);
    sendButton_ = new QPushButton(kitText("FeedbackSendButtonTitle"));
    sendButton_->setObjectName("sendFeedbackButton");
    sendButton_->setDefault(true);
    connect(sendButton_, &QPushButton::clicked, this, [this] { form_.send(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progress_);
    buttons->addWidget(sendingLabel_);
    buttons->addStretch();
    buttons->addWidget(cancelButton_);
    buttons->addWidget(sendButton_);

    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(intro);
    layout->addLayout(fields);
    layout->addWidget(messageView_, 1);
    layout->addWidget(attachmentsArea_);
    layout->addLayout(informationRow);
    layout->addLayout(buttons);
    window_->resize(520, 460);
    window_->setMinimumSize(420, 380);
}

void FeedbackWindowController::refresh() {
    refreshing_ = true;
    window_->setWindowTitle(fromStd(form_.windowTitle()));
    const bool enabled = form_.componentsEnabled();
    if (form_.feedbackTypeIndex() >= 0 && form_.feedbackTypeIndex() < typePopUp_->count())
        typePopUp_->setCurrentIndex(form_.feedbackTypeIndex());
    setTextKeepingCursor(nameField_, fromStd(form_.userName()));
    setTextKeepingCursor(emailField_, fromStd(form_.userEmail()));
    const QString message = fromStd(form_.message());
    if (messageView_->toPlainText() != message) messageView_->setPlainText(message);
    includeInformationButton_->setChecked(form_.includeInformation());

    attachmentsArea_->setVisible(form_.attachmentsEnabled());
    QStringList names;
    for (const auto& path : form_.attachments())
        names << fromStd(path.string());
    QStringList shown;
    for (int row = 0; row < attachmentsList_->count(); ++row)
        shown << attachmentsList_->item(row)->data(Qt::UserRole).toString();
    if (shown != names) {
        attachmentsList_->clear();
        for (const auto& path : form_.attachments()) {
            auto* item = new QListWidgetItem(fromStd(path.filename().string()));
            item->setData(Qt::UserRole, fromStd(path.string()));
            item->setToolTip(fromStd(path.string()));
            attachmentsList_->addItem(item);
        }
    }

    for (QWidget* control : std::initializer_list<QWidget*>{
             typePopUp_, nameField_, emailField_, messageView_, attachmentsList_,
             addAttachmentButton_, includeInformationButton_, showInformationButton_,
             cancelButton_})
        control->setEnabled(enabled);
    removeAttachmentButton_->setEnabled(enabled && !attachmentsList_->selectedItems().isEmpty());
    sendButton_->setEnabled(enabled && form_.canSend() &&
                            !messageView_->toPlainText().trimmed().isEmpty());
    progress_->setVisible(form_.isSending());
    sendingLabel_->setVisible(form_.isSending());
    if (informationDialog_ && informationDialog_->isVisible()) fillInformation();
    refreshing_ = false;
}

QDialog* FeedbackWindowController::informationDialog() {
    if (informationDialog_) return informationDialog_;
    auto* dialog = new QDialog(window_.get());
    dialog->setObjectName("feedbackInformationDialog");
    dialog->setWindowTitle(kitText("FeedbackInformationWindowTitle"));
    dialog->setWindowModality(Qt::WindowModal);

    auto* explanation = new QLabel(kitText("FeedbackInformationExplanation"));
    explanation->setWordWrap(true);

    systemView_ = new QTreeWidget;
    systemView_->setObjectName("systemInformationView");
    systemView_->setColumnCount(2);
    systemView_->setHeaderLabels(
        {kitText("FeedbackInformationFactColumn"), kitText("FeedbackInformationValueColumn")});
    systemView_->setRootIsDecorated(false);
    systemView_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    consoleView_ = new QPlainTextEdit;
    consoleView_->setObjectName("consoleInformationView");
    consoleView_->setReadOnly(true);
    consoleView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    preferencesView_ = new QPlainTextEdit;
    preferencesView_->setObjectName("preferencesInformationView");
    preferencesView_->setReadOnly(true);
    preferencesView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* tabs = new QTabWidget;
    tabs->setObjectName("informationTabs");
    tabs->addTab(systemView_, kitText("FeedbackInformationSystemTab"));
    tabs->addTab(consoleView_, kitText("FeedbackInformationConsoleTab"));
    tabs->addTab(preferencesView_, kitText("FeedbackInformationPreferencesTab"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);

    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(explanation);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);
    dialog->resize(560, 420);
    informationDialog_ = dialog;
    fillInformation();
    return dialog;
}

void FeedbackWindowController::fillInformation() {
    if (!informationDialog_) return;
    // The very texts the form sends, unchanged.
    systemView_->clear();
    for (const auto& [fact, value] : form_.systemInformation())
        systemView_->addTopLevelItem(new QTreeWidgetItem({fromStd(fact), fromStd(value)}));
    consoleView_->setPlainText(fromStd(form_.consoleInformation()));
    preferencesView_->setPlainText(fromStd(form_.preferencesInformation()));
}

void FeedbackWindowController::addAttachments() {
    const QStringList chosen = chooseFiles_(window_.get());
    if (chosen.isEmpty()) return;
    std::vector<std::filesystem::path> attachments = form_.attachments();
    for (const QString& name : chosen) {
        const std::filesystem::path path = name.toStdString();
        if (std::find(attachments.begin(), attachments.end(), path) == attachments.end())
            attachments.push_back(path);
    }
    form_.setAttachments(std::move(attachments));
}

void FeedbackWindowController::removeSelectedAttachments() {
    std::vector<std::filesystem::path> kept;
    for (int row = 0; row < attachmentsList_->count(); ++row) {
        QListWidgetItem* item = attachmentsList_->item(row);
        if (!item->isSelected())
            kept.emplace_back(item->data(Qt::UserRole).toString().toStdString());
    }
    form_.setAttachments(std::move(kept));
}

}  // namespace outfitter
