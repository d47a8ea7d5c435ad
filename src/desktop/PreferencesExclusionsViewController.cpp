#include "desktop/PreferencesExclusionsViewController.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

#include "desktop/ShellCommon.h"
#include "desktop/ShellContext.h"
#include "gantry/AlertPresenter.h"
#include "gantry/PanelPresenter.h"
#include "gantry/Popover.h"
#include "gantry/Workspace.h"
#include "keel/FileManager.h"
#include "keel/LocalizedString.h"
#include "keel/NoteSubscriber.h"
#include "local/LocalResources.h"

namespace desktop {

namespace {

QToolButton* makeButton(const char* name, const QString& text, const char* toolTipKey,
                        QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(localized(toolTipKey));
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setMinimumWidth(28);
    return button;
}

}  // namespace

PreferencesExclusionsViewController::PreferencesExclusionsViewController(
    ShellContext& context, quillfen::LocalResources& resources)
    : context_(context), resources_(resources) {}

PreferencesExclusionsViewController::~PreferencesExclusionsViewController() = default;

QWidget* PreferencesExclusionsViewController::loadView() {
    auto* view = new QWidget();
    view->setObjectName("PreferencesExclusionsView");
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(6);

    auto* title = new QLabel(localized("PreferencesExclusionsListTitle"), view);
    title->setWordWrap(true);
    layout->addWidget(title);

    filesTableView_ = new QListWidget(view);
    filesTableView_->setObjectName("filesTableView");
    filesTableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    filesTableView_->setUniformItemSizes(true);
    filesTableView_->setTextElideMode(Qt::ElideMiddle);
    filesTableView_->setMinimumHeight(220);
    layout->addWidget(filesTableView_, 1);

    auto* bar = new QHBoxLayout();
    bar->setSpacing(4);
    addFilesButton_ = makeButton("addFilesButton", "+", "PreferencesAddExclusionsToolTip", view);
    removeFilesButton_ = makeButton("removeFilesButton", QString::fromUtf8("−"),
                                    "PreferencesRemoveExclusionsToolTip", view);
    sortFilesButton_ = makeButton("sortFilesButton", localized("PreferencesSortExclusionsButton"),
                                  "PreferencesSortExclusionsToolTip", view);
    showFilesButton_ = makeButton("showFilesButton", localized("PreferencesShowExclusionsButton"),
                                  "PreferencesShowExclusionsToolTip", view);
    helpButton_ = makeButton("helpButton", "?", "PreferencesExclusionsHelpToolTip", view);
    bar->addWidget(addFilesButton_);
    bar->addWidget(removeFilesButton_);
    bar->addSpacing(8);
    bar->addWidget(sortFilesButton_);
    bar->addWidget(showFilesButton_);
    bar->addStretch(1);
    bar->addWidget(helpButton_);
    layout->addLayout(bar);

    QObject::connect(addFilesButton_, &QToolButton::clicked, view, [this] { addExcludedFiles(); });
    QObject::connect(removeFilesButton_, &QToolButton::clicked, view,
                     [this] { removeExcludedFiles(); });
    QObject::connect(sortFilesButton_, &QToolButton::clicked, view,
                     [this] { sortExcludedFiles(); });
    QObject::connect(showFilesButton_, &QToolButton::clicked, view,
                     [this] { showExcludedFiles(); });
    QObject::connect(helpButton_, &QToolButton::clicked, view, [this] { toggleHelpPopover(); });
    return view;
}

void PreferencesExclusionsViewController::viewDidLoad() {
    resourcesDidExcludeFilesSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    resourcesDidExcludeFilesSubscriber_->subscribe(
        {quillfen::LocalResources::didUpdateListNotification}, &resources_,
        [this](const keel::Notification&) {
            reloadTable();
            updateButtons();
        });
    QObject::connect(filesTableView_, &QListWidget::itemSelectionChanged, filesTableView_,
                     [this] { updateButtons(); });
    reloadTable();
    updateButtons();
}

void PreferencesExclusionsViewController::reloadTable() {
    QFileIconProvider icons;
    filesTableView_->clear();
    for (const auto& url : resources_.excludedFileURLs()) {
        const QString path = QString::fromStdString(url.string());
        const QFileInfo info(path);
        // A location that is not there (yet) gets the plain file icon.
        auto* item = new QListWidgetItem(
            info.exists() ? icons.icon(info) : icons.icon(QFileIconProvider::File), path,
            filesTableView_);
        item->setToolTip(path);
    }
}

void PreferencesExclusionsViewController::updateButtons() {
    const bool selected = !filesTableView_->selectedItems().isEmpty();
    addFilesButton_->setEnabled(true);
    removeFilesButton_->setEnabled(selected);
    showFilesButton_->setEnabled(selected);
    sortFilesButton_->setEnabled(filesTableView_->count() > 0);
}

std::vector<int> PreferencesExclusionsViewController::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : filesTableView_->selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void PreferencesExclusionsViewController::store(const std::vector<std::filesystem::path>* urls) {
    try {
        if (urls) resources_.setExcludedFileURLs(*urls);
        resources_.saveExcludedFileURLs();
    } catch (const std::exception& error) {
        context_.alerts().beginSheet(
            view()->window(),
            {"ExclusionsNotStoredAlert",
             keel::TL("ExclusionsNotStoredAlertMessageText"),
             keel::TL("ExclusionsNotStoredAlertInformativeText", std::string(error.what())),
             {keel::TL("ExclusionsNotStoredAlertOKButton")},
             gantry::AlertRequest::Style::warning},
            {});
    }
}

void PreferencesExclusionsViewController::addExcludedFiles() {
    gantry::PanelRequest request;
    request.kind = gantry::PanelRequest::Kind::open;
    request.name = "ExcludeFilesPanel";
    request.title = keel::TL("OpenPanelExcludeFilesTitle");
    request.prompt = keel::TL("OpenPanelExcludeFilesPrompt");
    request.directoryURL = keel::FileManager::noSandboxHomeURL();
    // Any file or folder: what is excluded need not be a package.
    request.canChooseFiles = true;
    request.canChooseDirectories = true;
    request.allowsMultipleSelection = true;
    request.showsHiddenFiles = true;
    QPointer<QWidget> alive = view();
    context_.panels().beginSheet(view()->window(), request,
                                 [this, alive](std::vector<std::filesystem::path> chosen) {
                                     if (!alive || chosen.empty()) return;
                                     auto urls = resources_.excludedFileURLs();
                                     for (auto& url : chosen) {
                                         url = url.lexically_normal();
                                         // A location listed twice is one exclusion.
                                         if (std::find(urls.begin(), urls.end(), url) == urls.end())
                                             urls.push_back(url);
                                     }
                                     store(&urls);
                                 });
}

void PreferencesExclusionsViewController::removeExcludedFiles() {
    const auto rows = selectedRows();
    if (rows.empty()) return;
    auto urls = resources_.excludedFileURLs();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        if (*row < static_cast<int>(urls.size())) urls.erase(urls.begin() + *row);
    store(&urls);
}

void PreferencesExclusionsViewController::sortExcludedFiles() {
    if (resources_.excludedFileURLs().empty()) return;
    resources_.sortExcludedFileURLs();
    store(nullptr);
}

void PreferencesExclusionsViewController::showExcludedFiles() {
    const auto urls = resources_.excludedFileURLs();
    std::vector<std::filesystem::path> selected;
    for (int row : selectedRows())
        if (row < static_cast<int>(urls.size())) selected.push_back(urls[std::size_t(row)]);
    if (!selected.empty()) context_.workspace().activateFileViewerSelecting(selected);
}

void PreferencesExclusionsViewController::toggleHelpPopover() {
    if (!helpPopover_) {
        // Made on first use, as the window's other popovers are.
        auto* content = new QWidget();
        content->setObjectName("helpPopoverView");
        auto* layout = new QVBoxLayout(content);
        layout->setContentsMargins(12, 10, 12, 12);
        auto* help = new QLabel(localized("PreferencesExclusionsHelpText"), content);
        help->setObjectName("helpTextField");
        help->setWordWrap(true);
        help->setFixedWidth(300);
        help->setMinimumHeight(help->heightForWidth(300));
        layout->addWidget(help);
        helpPopover_ = new gantry::Popover(content, view()->window());
        helpPopover_->setObjectName("helpPopover");
    }
    helpPopover_->toggleAtBottom(helpButton_);
}

}  // namespace desktop
