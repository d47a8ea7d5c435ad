#include "desktop/LogsWindowController.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "desktop/ShellCommon.h"
#include "desktop/StyleSheet.h"
#include "keel/LocalizedString.h"

namespace desktop {

LogsWindowController::LogsWindowController(std::vector<quillfen::SyncResult> results,
                                           QObject* parent)
    : SheetController(parent), results_(std::move(results)) {}

QDialog* LogsWindowController::loadWindow() {
    auto* dialog = new QDialog();
    dialog->setObjectName("LogsWindow");
    dialog->setWindowTitle(localized("LogsWindowTitle"));
    dialog->resize(560, 380);
    auto* layout = new QVBoxLayout(dialog);

    auto* title = new QLabel(localized("LogsWindowMessageText"), dialog);
    title->setObjectName("logsTitleField");
    title->setFont(StyleSheet::font(title->font(), 1.15, true));
    layout->addWidget(title);
    auto* subtitle = new QLabel(localized("LogsWindowInformativeText"), dialog);
    subtitle->setWordWrap(true);
    subtitle->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(subtitle);

    resultTableView_ = new QTreeWidget(dialog);
    resultTableView_->setObjectName("resultTableView");
    resultTableView_->setColumnCount(2);
    resultTableView_->setHeaderLabels(
        {localized("LogsWindowItemColumnTitle"), localized("LogsWindowErrorColumnTitle")});
    resultTableView_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    resultTableView_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    resultTableView_->header()->setStretchLastSection(false);
    resultTableView_->setIconSize(QSize(20, 20));
    resultTableView_->setWordWrap(true);
    layout->addWidget(resultTableView_, 1);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    continueButton_ = new QPushButton(localized("LogsWindowContinueButton"), dialog);
    continueButton_->setObjectName("continueButton");
    continueButton_->setDefault(true);
    connect(continueButton_, &QPushButton::clicked, this, [this] { closeLogsSheet(); });
    buttons->addWidget(continueButton_);
    layout->addLayout(buttons);
    return dialog;
}

void LogsWindowController::windowDidLoad() {
    // One row per item, its failing paths below it with their reasons.
    const QIcon icon =
        StyleSheet::tintedIcon("sidebar-apps", QSize(20, 20), StyleSheet::toolbarIconColor);
    for (const auto& result : results_) {
        auto* item = new QTreeWidgetItem(resultTableView_);
        item->setText(0, QString::fromStdString(result.identifier));
        item->setIcon(0, icon);
        item->setText(
            1, QString::fromStdString(keel::TL("SyncResultErrorsCount", result.errors.size())));
        for (const auto& [path, error] : result.errors) {
            auto* line = new QTreeWidgetItem(item);
            line->setText(0, QString::fromStdString(path));
            line->setText(1, QString::fromStdString(error.description));
            line->setToolTip(1, QString::fromStdString(error.description));
        }
    }
    resultTableView_->expandAll();
}

}  // namespace desktop
