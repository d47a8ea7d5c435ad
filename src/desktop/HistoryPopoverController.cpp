#include "desktop/HistoryPopoverController.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/BackupManager.h"
#include "app/BackupViewer.h"
#include "backup/BackupFile.h"
#include "desktop/ShellCommon.h"
#include "desktop/ShellContext.h"
#include "desktop/StyleSheet.h"
#include "gantry/AlertPresenter.h"
#include "keel/DateFormatter.h"
#include "keel/DispatchQueue.h"
#include "keel/LocalizedString.h"
#include "keel/NoteSubscriber.h"
#include "keel/NotificationCenter.h"

namespace desktop {

HistoryPopoverController::HistoryPopoverController(ShellContext& context,
                                                   QToolButton* togglerButton)
    : context_(context), togglerButton_(togglerButton) {
    viewerDidReloadSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    viewerDidReloadSubscriber_->subscribe({quillfen::BackupViewer::didReloadNotification},
                                          context_.manager().viewer().get(),
                                          [this](const keel::Notification&) { update(); });
}

HistoryPopoverController::~HistoryPopoverController() {
    // The content belongs to the popover, which belongs to the window.
    if (contentView_ && !contentView_->parent()) delete contentView_.data();
}

QWidget* HistoryPopoverController::contentView() {
    if (contentView_) return contentView_;
    contentView_ = new QWidget();
    contentView_->setObjectName("HistoryPopover");
    contentView_->setFixedWidth(320);
    auto* layout = new QVBoxLayout(contentView_);
    layout->setContentsMargins(12, 10, 12, 12);

    auto* header = new QHBoxLayout();
    auto* title = new QLabel(localized("HistoryPopoverTitle"), contentView_);
    title->setObjectName("historyTitleField");
    title->setFont(StyleSheet::font(title->font(), 1.1, true));
    header->addWidget(title, 1);
    clearButton_ = new QPushButton(localized("HistoryPopoverClearButton"), contentView_);
    clearButton_->setObjectName("clearButton");
    QObject::connect(clearButton_, &QPushButton::clicked, clearButton_, [this] { clearHistory(); });
    header->addWidget(clearButton_);
    layout->addLayout(header);

    historyTableView_ = new QListWidget(contentView_);
    historyTableView_->setObjectName("historyTableView");
    historyTableView_->setMinimumHeight(240);
    historyTableView_->setAlternatingRowColors(true);
    historyTableView_->setWordWrap(true);
    layout->addWidget(historyTableView_);

    placeholderTextField_ = new QLabel(localized("HistoryPopoverPlaceholderText"), contentView_);
    placeholderTextField_->setObjectName("placeholderTextField");
    placeholderTextField_->setAlignment(Qt::AlignCenter);
    placeholderTextField_->setWordWrap(true);
    placeholderTextField_->setMinimumHeight(120);
    placeholderTextField_->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(placeholderTextField_);
    update();
    return contentView_;
}

void HistoryPopoverController::toggle() {
    if (!togglerButton_) return;
    if (!popover()) createPopover(contentView(), togglerButton_->window());
    togglePopoverAtBottom(togglerButton_, [this] { update(); });
}

void HistoryPopoverController::update() {
    std::vector<quillfen::BackupEventItem> events;
    if (auto file = context_.manager().file()) events = file->eventItems();

    if (togglerButton_) {
        static const keel::DateFormatter dateOnly(keel::DateFormatter::Style::shortStyle,
                                                  keel::DateFormatter::Style::none);
        togglerButton_->setText(events.empty()
                                    ? localized("HistoryButtonEmptyHistoryTitle")
                                    : QString::fromStdString(dateOnly.string(events.front().date)));
    }
    if (!contentView_) return;
    static const keel::DateFormatter dateAndTime(keel::DateFormatter::Style::shortStyle,
                                                 keel::DateFormatter::Style::shortStyle);
    historyTableView_->clear();
    for (const auto& event : events) {
        std::string information = dateAndTime.string(event.date);
        if (event.comment) information += " - " + *event.comment;
        auto* row = new QListWidgetItem(
            QString::fromStdString(quillfen::localizedTitle(event.action) + "\n" + information),
            historyTableView_);
        row->setIcon(
            StyleSheet::tintedIcon(event.action == quillfen::SyncAction::install  ? "install"
                                   : event.action == quillfen::SyncAction::backUp ? "backup"
                                                                                  : "synchronize",
                                   QSize(20, 20), StyleSheet::toolbarIconColor));
    }
    historyTableView_->setHidden(events.empty());
    placeholderTextField_->setHidden(!events.empty());
    clearButton_->setEnabled(!events.empty() && !context_.manager().isProcessing());
}

void HistoryPopoverController::clearHistory() {
    auto file = context_.manager().file();
    if (!file || file->eventItems().empty() || context_.manager().isProcessing()) {
        closePopover();
        return;
    }
    gantry::AlertRequest request;
    request.name = "ClearHistoryAlert";
    request.messageText = keel::TL("ClearHistoryAlertMessageText");
    request.informativeText = keel::TL("ClearHistoryAlertInformativeText");
    // The first button is the one that changes nothing.
    request.buttons = {keel::TL("ClearHistoryAlertCancelButton"),
                       keel::TL("ClearHistoryAlertContinueButton")};
    QPointer<QWidget> alive = contentView_;
    QWidget* window = togglerButton_ ? togglerButton_->window() : nullptr;
    closePopover();
    context_.alerts().beginSheet(window, request, [this, alive](std::size_t button) {
        if (!alive || button != 1) return;
        auto current = context_.manager().file();
        if (!current || context_.manager().isProcessing()) return;
        current->removeEvents();
        // Saved once the viewer has passed the edit on (see the lists).
        keel::DispatchQueue::main().async([this, alive] {
            if (alive) context_.submit(quillfen::BackupAction::saveBackupFile);
        });
    });
}

}  // namespace desktop
