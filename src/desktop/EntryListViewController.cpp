#include "desktop/EntryListViewController.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "app/BackupAppEntry.h"
#include "app/BackupExecEntry.h"
#include "app/BackupFileEntry.h"
#include "app/BackupManager.h"
#include "app/BackupViewer.h"
#include "app/ItemEditor.h"
#include "backup/BackupFile.h"
#include "desktop/FoundStatusPopoverController.h"
#include "desktop/IconView.h"
#include "desktop/ItemStatePopoverController.h"
#include "desktop/ItemTableRowDelegate.h"
#include "desktop/ShellCommon.h"
#include "desktop/ShellContext.h"
#include "desktop/StyleSheet.h"
#include "gantry/AlertPresenter.h"
#include "gantry/PanelPresenter.h"
#include "gantry/ViewConveniences.h"
#include "gantry/Workspace.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/LocalizedString.h"
#include "keel/NoteSubscriber.h"
#include "keel/NotificationCenter.h"

using quillfen::BackupAppEntry;
using quillfen::BackupEdition;
using quillfen::BackupExecEntry;
using quillfen::BackupFileEntry;

namespace desktop {

namespace {

std::vector<BackupAppEntry> fetch(quillfen::BackupViewer& viewer, const BackupAppEntry*) {
    return viewer.backupAppEntries();
}
std::vector<BackupExecEntry> fetch(quillfen::BackupViewer& viewer, const BackupExecEntry*) {
    return viewer.backupExecEntries();
}
std::vector<BackupFileEntry> fetch(quillfen::BackupViewer& viewer, const BackupFileEntry*) {
    return viewer.backupFileEntries();
}

BackupEdition::Category category(const BackupAppEntry*) {
    return BackupEdition::Category::apps;
}
BackupEdition::Category category(const BackupExecEntry*) {
    return BackupEdition::Category::execs;
}
BackupEdition::Category category(const BackupFileEntry*) {
    return BackupEdition::Category::files;
}

// The existing locations of an entry's settings paths.
template <class Entry>
std::vector<fs::path> existingItemURLs(const Entry& entry) {
    std::vector<fs::path> urls;
    for (const auto& [path, state] : entry.state.states) {
        std::error_code error;
        const fs::path url = keel::FileManager::noSandboxHomeURL() / path;
        if (fs::exists(fs::symlink_status(url, error))) urls.push_back(url);
    }
    return urls;
}
std::vector<fs::path> existingItemURLs(const BackupFileEntry& entry) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(entry.url(), error))) return {};
    return {entry.url()};
}

}  // namespace

template <class Entry>
EntryListViewController<Entry>::EntryListViewController(MainWindowController& mainWindowController,
                                                        ShellContext& context,
                                                        quillfen::ItemKind kind, QString viewName,
                                                        std::vector<typename Model::Column> columns,
                                                        std::vector<ListCommand> commands)
    : ContentViewController(mainWindowController),
      context_(context),
      kind_(kind),
      viewName_(std::move(viewName)),
      commands_(std::move(commands)) {
    const auto viewer = context_.manager().viewer();
    model_ = std::make_unique<Model>(
        [viewer] { return fetch(*viewer, static_cast<const Entry*>(nullptr)); },
        std::move(columns));
}

template <class Entry>
EntryListViewController<Entry>::~EntryListViewController() = default;

template <class Entry>
QWidget* EntryListViewController<Entry>::loadView() {
    auto* view = new QWidget();
    view->setObjectName(viewName_);
    auto* stack = new QVBoxLayout(view);
    stack->setContentsMargins(0, 0, 0, 0);

    contentView_ = new QWidget(view);
    contentView_->setObjectName("contentView");
    auto* contentLayout = new QVBoxLayout(contentView_);
    contentLayout->setContentsMargins(8, 8, 8, 8);
    tableView_ = new QTableView(contentView_);
    tableView_->setObjectName(viewName_ == "AppsListView"    ? "appsTableView"
                              : viewName_ == "ExecsListView" ? "execsTableView"
                                                             : "filesTableView");
    tableView_->setModel(model_.get());
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tableView_->setShowGrid(false);
    tableView_->setWordWrap(false);
    tableView_->setIconSize(QSize(24, 24));
    // Each row is a card on the window's background.
    tableView_->setItemDelegate(new ItemTableRowDelegate(tableView_));
    tableView_->setFrameShape(QFrame::NoFrame);
    tableView_->viewport()->setBackgroundRole(QPalette::Window);
    tableView_->verticalHeader()->hide();
    tableView_->verticalHeader()->setDefaultSectionSize(ItemTableRowDelegate::rowHeight);
    tableView_->horizontalHeader()->setHighlightSections(false);
    tableView_->setContextMenuPolicy(Qt::ActionsContextMenu);
    contentLayout->addWidget(tableView_);
    stack->addWidget(contentView_);

    messageView_ = new QWidget(view);
    messageView_->setObjectName("messageView");
    auto* messageLayout = new QVBoxLayout(messageView_);
    messageLayout->addStretch(1);
    auto* messageLabel = new QLabel(localized(viewName_.toStdString() + "EmptyText"), messageView_);
    messageLabel->setObjectName("messageTextField");
    messageLabel->setAlignment(Qt::AlignCenter);
    messageLabel->setWordWrap(true);
    messageLabel->setForegroundRole(QPalette::PlaceholderText);
    messageLayout->addWidget(messageLabel);
    messageLayout->addStretch(1);
    stack->addWidget(messageView_);

    for (const ListCommandInfo& info : listCommandInfos()) {
        if (std::find(commands_.begin(), commands_.end(), info.command) == commands_.end())
            continue;
        auto* action = new QAction(localized(info.titleKey), tableView_);
        action->setObjectName(info.objectName);
        action->setShortcut(info.shortcut);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        const ListCommand command = info.command;
        QObject::connect(action, &QAction::triggered, tableView_,
                         [this, command] { perform(command); });
        tableView_->addAction(action);
        actions_.emplace_back(command, action);
    }
    return view;
}

template <class Entry>
void EntryListViewController<Entry>::viewDidLoad() {
    const auto viewer = context_.manager().viewer();
    viewerDidReloadSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    viewerDidReloadSubscriber_->subscribe(
        {quillfen::BackupViewer::didReloadNotification}, viewer.get(),
        [this](const keel::Notification& notification) {
            const auto edition =
                notification.userInfoValue<BackupEdition>(quillfen::BackupViewer::editionKey);
            if (!edition || edition->category == BackupEdition::Category::all)
                model_->reload();
            else if (edition->category == category(static_cast<const Entry*>(nullptr)))
                model_->apply(*edition);
            else
                return;
            updateMessage();
            updateActions();
        });
    managerSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    managerSubscriber_->subscribe({quillfen::BackupManager::willProcessNotification,
                                   quillfen::BackupManager::didProcessNotification},
                                  &context_.manager(),
                                  [this](const keel::Notification&) { updateActions(); });
    QObject::connect(tableView_->selectionModel(), &QItemSelectionModel::selectionChanged,
                     tableView_, [this] { updateActions(); });
    QObject::connect(
        tableView_, &QTableView::clicked, tableView_, [this](const QModelIndex& index) {
            const QString identifier = model_->columns()[std::size_t(index.column())].identifier;
            if (identifier.endsWith("ItemsCountColumn")) toggleItemStatePopover(index.row());
            if (identifier.endsWith("FoundColumn")) toggleFoundStatusPopover(index.row());
        });
    model_->reload();
    // The name or path takes the room left; the other columns their content's.
    QHeaderView* header = tableView_->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (const QString name : {"AppNameColumn", "ExecNameColumn", "FilePathColumn"})
        if (const int column = model_->column(name); column >= 0)
            header->setSectionResizeMode(column, QHeaderView::Stretch);
    updateMessage();
    updateActions();
}

template <class Entry>
void EntryListViewController<Entry>::didAppear() {
    if (tableView_) tableView_->setFocus();
}

template <class Entry>
QAction* EntryListViewController<Entry>::action(ListCommand command) {
    forceLoadIfNeeded();
    for (auto& [listed, action] : actions_)
        if (listed == command) return action;
    return nullptr;
}

template <class Entry>
void EntryListViewController<Entry>::updateMessage() {
    const bool empty = model_->rowCount() == 0;
    const double duration = view()->window() && view()->window()->isVisible() ? 0.3 : 0;
    gantry::animate(messageView_, duration, !empty);
    gantry::animate(contentView_, duration, empty);
}

template <class Entry>
void EntryListViewController<Entry>::updateActions() {
    for (auto& [command, action] : actions_)
        if (action) action->setEnabled(validate(command));
}

template <class Entry>
std::vector<int> EntryListViewController<Entry>::selectedRows() const {
    std::vector<int> rows;
    if (!tableView_) return rows;
    for (const QModelIndex& index : tableView_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

template <class Entry>
std::vector<Entry> EntryListViewController<Entry>::selectedEntries() const {
    std::vector<Entry> entries;
    for (int row : selectedRows())
        if (const Entry* entry = model_->entry(row)) entries.push_back(*entry);
    return entries;
}

template <class Entry>
bool EntryListViewController<Entry>::validate(ListCommand command) {
    if (std::find(commands_.begin(), commands_.end(), command) == commands_.end()) return false;
    if (context_.manager().isProcessing() || !context_.manager().file()) return false;
    const auto entries = selectedEntries();
    auto any = [&](auto predicate) {
        return std::any_of(entries.begin(), entries.end(), predicate);
    };
    switch (command) {
        case ListCommand::enableSelectedItems:
            return any([](const Entry& e) { return !e.isEnabled().value_or(false); });
        case ListCommand::disableSelectedItems:
            return any([](const Entry& e) { return e.isEnabled().value_or(false); });
        case ListCommand::toggleSelectedItems:
        case ListCommand::deleteSelectedItems:
            return !entries.empty();
        case ListCommand::showAppsInFinder:
            if constexpr (std::is_same_v<Entry, BackupAppEntry>)
                return any([](const Entry& e) { return e.localItem.has_value(); });
            return false;
        case ListCommand::showItemsInFinder:
            return any([](const Entry& e) { return e.isFound(); });
        case ListCommand::addCustomFiles:
            return true;
    }
    return false;
}

template <class Entry>
void EntryListViewController<Entry>::perform(ListCommand command) {
    if (!validate(command)) return;
    switch (command) {
        case ListCommand::enableSelectedItems:
            return setEnabled(selectedEntries(), true);
        case ListCommand::disableSelectedItems:
            return setEnabled(selectedEntries(), false);
        case ListCommand::toggleSelectedItems: {
            // Like the switch of each row: all on unless all are on already.
            const auto entries = selectedEntries();
            const bool allOn = std::all_of(entries.begin(), entries.end(), [](const Entry& e) {
                return e.isEnabled().value_or(false);
            });
            return setEnabled(entries, !allOn);
        }
        case ListCommand::deleteSelectedItems:
            return deleteSelected();
        case ListCommand::showAppsInFinder:
        case ListCommand::showItemsInFinder:
            return reveal(command);
        case ListCommand::addCustomFiles:
            return addCustomFiles();
    }
}

template <class Entry>
void EntryListViewController<Entry>::toggleRow(int row) {
    const Entry* entry = model_->entry(row);
    if (!entry || context_.manager().isProcessing()) return;
    setEnabled({*entry}, !entry->isEnabled().value_or(false));
}

template <class Entry>
QWidget* EntryListViewController<Entry>::anchorAt(int row, const QString& columnName) {
    const int column = model_->column(columnName);
    if (!model_->entry(row) || column < 0) return nullptr;
    if (!popoverAnchor_) {
        popoverAnchor_ = new QWidget(tableView_->viewport());
        popoverAnchor_->setObjectName("popoverAnchor");
        popoverAnchor_->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    popoverAnchor_->setGeometry(tableView_->visualRect(model_->index(row, column)));
    popoverAnchor_->show();
    return popoverAnchor_;
}

template <class Entry>
void EntryListViewController<Entry>::toggleItemStatePopover(int row) {
    if constexpr (!std::is_same_v<Entry, BackupFileEntry>) {
        QWidget* anchor = anchorAt(
            row, viewName_ == "AppsListView" ? "AppItemsCountColumn" : "ExecItemsCountColumn");
        if (!anchor) return;
        if (!itemStatePopover_)
            itemStatePopover_ = std::make_unique<ItemStatePopoverController>(context_);
        const Entry* entry = model_->entry(row);
        itemStatePopover_->toggle(anchor, entry->name, entry->state);
    } else {
        (void)row;
    }
}

template <class Entry>
void EntryListViewController<Entry>::toggleFoundStatusPopover(int row) {
    const QString column = viewName_ == "AppsListView"    ? "AppFoundColumn"
                           : viewName_ == "ExecsListView" ? "ExecFoundColumn"
                                                          : "FileFoundColumn";
    QWidget* anchor = anchorAt(row, column);
    if (!anchor) return;
    const Entry* entry = model_->entry(row);
    FoundStatusPopoverController::Locations locations;
    if constexpr (std::is_same_v<Entry, BackupAppEntry>) locations.application = entry->bundleURL();
    // What exists is read now: the row may be older than the disk.
    locations.settings = existingItemURLs(*entry);
    if (!foundStatusPopover_)
        foundStatusPopover_ = std::make_unique<FoundStatusPopoverController>();
    foundStatusPopover_->toggle(anchor, entry->isFound(), locations);
}

template <class Entry>
void EntryListViewController<Entry>::setEnabled(const std::vector<Entry>& entries, bool enabled) {
    const auto file = context_.manager().file();
    if (!file || entries.empty()) return;
    std::vector<std::string> keys;
    for (const Entry& entry : entries)
        keys.push_back(entry.title());
    quillfen::ItemEditor(file).setEnabled(kind_, keys, enabled);
    save();
}

template <class Entry>
void EntryListViewController<Entry>::save() {
    // The manager writes under the package's lock; a failed save is shown
    // as the error of its run, and the edit stays marked for the next one.
    // The save waits on the main queue behind the package's announcement of
    // the edit: the viewer follows edits only while no process runs, and a
    // save does not rebuild it afterwards.
    QPointer<QTableView> alive = tableView_;
    keel::DispatchQueue::main().async([this, alive] {
        if (alive) context_.submit(quillfen::BackupAction::saveBackupFile);
    });
}

template <class Entry>
void EntryListViewController<Entry>::deleteSelected() {
    const auto entries = selectedEntries();
    if (entries.empty()) return;
    gantry::AlertRequest request;
    const bool single = entries.size() == 1;
    request.name = single ? "BackupDeleteSingleItemAlert" : "BackupDeleteSeveralItemsAlert";
    request.messageText = keel::TL(single ? "BackupDeleteSingleItemAlertMessageText"
                                          : "BackupDeleteSeveralItemsAlertMessageText");
    request.informativeText =
        single ? keel::TL("BackupDeleteSingleItemAlertInformativeText", entries.front().title())
               : keel::TL("BackupDeleteSeveralItemsAlertInformativeText", entries.size());
    // The first button is the one that changes nothing.
    request.buttons = {keel::TL(single ? "BackupDeleteSingleItemAlertCancelButton"
                                       : "BackupDeleteSeveralItemsAlertCancelButton"),
                       keel::TL(single ? "BackupDeleteSingleItemAlertContinueButton"
                                       : "BackupDeleteSeveralItemsAlertContinueButton")};
    request.style = gantry::AlertRequest::Style::warning;
    std::vector<std::string> keys;
    for (const Entry& entry : entries)
        keys.push_back(entry.title());
    QPointer<QTableView> alive = tableView_;
    context_.alerts().beginSheet(tableView_->window(), request,
                                 [this, alive, keys](std::size_t button) {
                                     if (!alive || button != 1) return;
                                     const auto file = context_.manager().file();
                                     if (!file || context_.manager().isProcessing()) return;
                                     quillfen::ItemEditor(file).remove(kind_, keys);
                                     save();
                                 });
}

template <class Entry>
void EntryListViewController<Entry>::reveal(ListCommand command) {
    std::vector<fs::path> urls;
    for (const Entry& entry : selectedEntries()) {
        if constexpr (std::is_same_v<Entry, BackupAppEntry>) {
            if (command == ListCommand::showAppsInFinder) {
                if (entry.localItem) urls.push_back(entry.localItem->bundleURL);
                continue;
            }
        }
        for (auto& url : existingItemURLs(entry))
            urls.push_back(url);
    }
    if (!urls.empty()) context_.workspace().activateFileViewerSelecting(urls);
}

template <class Entry>
void EntryListViewController<Entry>::addCustomFiles() {
    gantry::PanelRequest request;
    request.kind = gantry::PanelRequest::Kind::open;
    request.name = "AddFilesPanel";
    request.prompt = keel::TL("AddFilesPanelPromptButton");
    request.directoryURL = keel::FileManager::noSandboxHomeURL();
    request.canChooseFiles = true;
    request.canChooseDirectories = true;
    request.allowsMultipleSelection = true;
    request.showsHiddenFiles = true;
    QPointer<QTableView> alive = tableView_;
    context_.panels().beginSheet(tableView_->window(), request,
                                 [this, alive](std::vector<fs::path> urls) {
                                     if (alive && !urls.empty()) addChosenFiles(urls);
                                 });
}

template <class Entry>
void EntryListViewController<Entry>::addChosenFiles(const std::vector<fs::path>& urls) {
    const auto file = context_.manager().file();
    if (!file || context_.manager().isProcessing()) return;
    std::vector<std::string> paths;
    for (const auto& url : urls)
        paths.push_back(url.string());
    const auto outcome = quillfen::ItemEditor(file).add(quillfen::ItemKind::file, paths);
    if (outcome.applied > 0) save();
    if (outcome.refused.empty()) return;
    std::string reasons;
    for (const auto& reason : outcome.refused)
        reasons += (reasons.empty() ? "" : "\n") + reason;
    context_.alerts().beginSheet(tableView_->window(),
                                 {"SomeFilesNotOnMainDiskAlert",
                                  keel::TL("SomeFilesNotOnMainDiskAlertMessageText"),
                                  keel::TL("SomeFilesNotOnMainDiskAlertInformativeText", reasons),
                                  {keel::TL("SomeFilesNotOnMainDiskAlertOKButton")},
                                  gantry::AlertRequest::Style::warning},
                                 {});
}

template class EntryListViewController<BackupAppEntry>;
template class EntryListViewController<BackupExecEntry>;
template class EntryListViewController<BackupFileEntry>;

}  // namespace desktop
