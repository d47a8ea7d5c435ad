#include "outfitter_widgets/UpdateWindowController.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "keel/LocalizedString.h"
#include "outfitter/UpdateForm.h"
#include "outfitter_widgets/KitWindow.h"

namespace outfitter {

UpdateWindowController::UpdateWindowController(UpdateForm& form, QObject* parent)
    : QObject(parent), form_(form) {
    window_ = std::make_unique<KitWindow>();
    window_->setObjectName("updateWindow");
    window_->setWindowTitle(kitText("UpdateWindowTitle"));
    window_->setDidClose([this] {
        if (form_.canCancel()) form_.cancel();
        form_.windowDidClose();
    });

    statusLabel_ = new QLabel;
    statusLabel_->setObjectName("updateStatusLabel");
    QFont statusFont = statusLabel_->font();
    statusFont.setBold(true);
    statusLabel_->setFont(statusFont);
    statusLabel_->setWordWrap(true);
    progress_ = new QProgressBar;
    progress_->setObjectName("updateProgressIndicator");
    progress_->setTextVisible(false);
    bytesLabel_ = new QLabel;
    bytesLabel_->setObjectName("updateBytesLabel");
    notesView_ = new QPlainTextEdit;
    notesView_->setObjectName("updateReleaseNotesView");
    notesView_->setReadOnly(true);
    notesView_->setMinimumHeight(110);
    cancelButton_ = new QPushButton(kitText("UpdateCancelButtonTitle"));
    cancelButton_->setObjectName("updateCancelButton");
    connect(cancelButton_, &QPushButton::clicked, this, [this] { form_.cancel(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bytesLabel_);
    buttons->addStretch();
    buttons->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(20, 18, 20, 16);
    layout->addWidget(statusLabel_);
    layout->addWidget(progress_);
    layout->addWidget(notesView_, 1);
    layout->addLayout(buttons);
    window_->resize(440, 280);

    connect(&form_, &UpdateForm::changed, this, [this] { refresh(); });
    connect(&form_, &UpdateForm::closeRequested, this, [this] {
        if (window_->isVisible()) window_->close();
    });
    refresh();
}

UpdateWindowController::~UpdateWindowController() = default;

QWidget* UpdateWindowController::window() const {
    return window_.get();
}

void UpdateWindowController::showWindow() {
    refresh();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void UpdateWindowController::refresh() {
    using Phase = UpdateForm::Phase;
    const Phase phase = form_.phase();
    QString status = QString::fromStdString(form_.statusText());
    if (phase == Phase::failed && !form_.errorText().empty())
        status = QString::fromStdString(form_.errorText());
    statusLabel_->setText(status);
    if (phase == Phase::downloading && form_.totalBytes() > 0) {
        progress_->setRange(0, 1000);
        progress_->setValue(static_cast<int>(form_.fraction() * 1000));
        const QLocale locale;
        bytesLabel_->setText(QString::fromStdString(keel::TL(
            "UpdateWindowBytesText", locale.formattedDataSize(form_.receivedBytes()).toStdString(),
            locale.formattedDataSize(form_.totalBytes()).toStdString())));
    } else if (phase == Phase::installed) {
        progress_->setRange(0, 1);
        progress_->setValue(1);
        bytesLabel_->clear();
    } else {
        progress_->setRange(0, 0);  // verifying and installing report no progress
        bytesLabel_->clear();
    }
    progress_->setVisible(phase != Phase::failed && phase != Phase::idle);
    const QString notes = QString::fromStdString(form_.releaseNotes());
    if (notesView_->toPlainText() != notes) notesView_->setPlainText(notes);
    notesView_->setVisible(!notes.isEmpty());
    cancelButton_->setEnabled(form_.canCancel());
}

}  // namespace outfitter
