#include "desktop/ItemStatePopoverController.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QToolButton>
#include <QVBoxLayout>

#include <filesystem>

#include "desktop/ShellContext.h"
#include "desktop/StyleSheet.h"
#include "gantry/Workspace.h"
#include "keel/FileManager.h"
#include "keel/LocalizedString.h"

namespace fs = std::filesystem;

namespace desktop {

ItemStatePopoverController::~ItemStatePopoverController() {
    if (contentView_ && !contentView_->parent()) delete contentView_.data();
}

QWidget* ItemStatePopoverController::contentView() {
    if (contentView_) return contentView_;
    contentView_ = new QWidget();
    contentView_->setObjectName("ItemStatePopoverView");
    contentView_->setFixedWidth(420);
    auto* layout = new QVBoxLayout(contentView_);
    layout->setContentsMargins(12, 10, 12, 12);
    nameTextField_ = new QLabel(contentView_);
    nameTextField_->setObjectName("nameTextField");
    nameTextField_->setFont(StyleSheet::font(nameTextField_->font(), 1.1, true));
    layout->addWidget(nameTextField_);
    tableView_ = new QTableWidget(0, 3, contentView_);
    tableView_->setObjectName("tableView");
    tableView_->setHorizontalHeaderLabels(
        {QString::fromStdString(keel::TL("ItemsListPathColumnTitle")),
         QString::fromStdString(keel::TL("ItemsListStateColumnTitle")), QString()});
    tableView_->verticalHeader()->hide();
    tableView_->setShowGrid(false);
    tableView_->setWordWrap(true);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    tableView_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    tableView_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    tableView_->setMinimumHeight(160);
    layout->addWidget(tableView_);
    return contentView_;
}

void ItemStatePopoverController::setSyncItemState(const std::string& name,
                                                  const quillfen::SyncItemState& state) {
    contentView();
    nameTextField_->setText(QString::fromStdString(name));
    tableView_->setRowCount(static_cast<int>(state.states.size()));
    int row = 0;
    for (const auto& [path, pathState] : state.states) {
        tableView_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(path)));
        tableView_->setItem(row, 1,
                            new QTableWidgetItem(QString::fromStdString(
                                quillfen::localizedTitle(pathState.action))));
        const fs::path url = keel::FileManager::noSandboxHomeURL() / path;
        std::error_code error;
        // The table shows the widgets it holds whenever it lays them out: the
        // button sits in a holder so that it can stay hidden.
        auto* holder = new QWidget(tableView_);
        auto* holderLayout = new QHBoxLayout(holder);
        holderLayout->setContentsMargins(2, 0, 2, 0);
        auto* reveal = new QToolButton(holder);
        holderLayout->addWidget(reveal);
        reveal->setObjectName("showInFinderButton");
        reveal->setIcon(
            StyleSheet::tintedIcon("sidebar-files", QSize(14, 14), StyleSheet::toolbarIconColor));
        reveal->setToolTip(QString::fromStdString(keel::TL("ItemsListShowItemsCommand")));
        reveal->setAutoRaise(true);
        QObject::connect(reveal, &QToolButton::clicked, reveal,
                         [this, url] { context_.workspace().activateFileViewerSelecting({url}); });
        tableView_->setCellWidget(row, 2, holder);
        reveal->setVisible(fs::exists(fs::symlink_status(url, error)));
        ++row;
    }
    tableView_->resizeRowsToContents();
}

void ItemStatePopoverController::toggle(QWidget* anchor, const std::string& name,
                                        const quillfen::SyncItemState& state) {
    if (!popover()) createPopover(contentView(), anchor->window());
    togglePopoverAtBottom(anchor, [this, name, state] { setSyncItemState(name, state); });
}

}  // namespace desktop
