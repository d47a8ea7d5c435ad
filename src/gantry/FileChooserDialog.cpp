#include "gantry/FileChooserDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace gantry {

namespace {

QString clean(const QString& path) {
    return QDir::cleanPath(path);
}

// The desktop's icons for files and folders, or the style's where the
// desktop gives none. The model asks on its own thread: the fallbacks are
// made beforehand, on the main thread, and only copied there.
class ChooserIconProvider : public QFileIconProvider {
public:
    explicit ChooserIconProvider(const QStyle* style)
        : folder_(style->standardIcon(QStyle::SP_DirIcon)),
          file_(style->standardIcon(QStyle::SP_FileIcon)) {}

    QIcon icon(IconType type) const override {
        const QIcon own = QFileIconProvider::icon(type);
        return own.isNull() ? (type == File ? file_ : folder_) : own;
    }
    QIcon icon(const QFileInfo& info) const override {
        const QIcon own = QFileIconProvider::icon(info);
        if (!own.isNull() && !own.availableSizes().isEmpty()) return own;
        return info.isDir() ? folder_ : file_;
    }

private:
    QIcon folder_;
    QIcon file_;
};

}  // namespace

FileChooserDialog::FileChooserDialog(const PanelRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
    setObjectName(QString::fromStdString(request.name));
    setWindowTitle(request.title.empty() ? QApplication::applicationDisplayName()
                                         : QString::fromStdString(request.title));
    setSizeGripEnabled(true);
    resize(680, 440);

    auto* layout = new QVBoxLayout(this);
    if (!request.message.empty()) {
        auto* message = new QLabel(QString::fromStdString(request.message), this);
        message->setObjectName("messageTextField");
        message->setWordWrap(true);
        layout->addWidget(message);
    }

    auto* bar = new QHBoxLayout();
    parentFolderButton_ = new QToolButton(this);
    parentFolderButton_->setObjectName("parentFolderButton");
    parentFolderButton_->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    parentFolderButton_->setToolTip(tr("Enclosing Folder"));
    parentFolderButton_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    homeButton_ = new QToolButton(this);
    homeButton_->setObjectName("homeButton");
    homeButton_->setIcon(style()->standardIcon(QStyle::SP_DirHomeIcon));
    homeButton_->setToolTip(tr("Home Folder"));
    locationField_ = new QLineEdit(this);
    locationField_->setObjectName("locationField");
    locationField_->installEventFilter(this);
    bar->addWidget(parentFolderButton_);
    bar->addWidget(homeButton_);
    bar->addWidget(locationField_, 1);
    layout->addLayout(bar);

    iconProvider_ = std::make_unique<ChooserIconProvider>(style());
    model_ = new QFileSystemModel(this);
    model_->setIconProvider(iconProvider_.get());
    model_->setReadOnly(true);
    // Files pass the extension filter; folders are always listed, so that
    // the user can go into them.
    if (!request.allowedExtension.empty() && !request.extensionIsPackage) {
        model_->setNameFilters({"*." + QString::fromStdString(request.allowedExtension)});
        model_->setNameFilterDisables(false);
    }
    fileView_ = new QTreeView(this);
    fileView_->setObjectName("fileView");
    fileView_->setModel(model_);
    fileView_->setRootIsDecorated(false);
    fileView_->setItemsExpandable(false);
    fileView_->setUniformRowHeights(true);
    fileView_->setSortingEnabled(true);
    fileView_->sortByColumn(0, Qt::AscendingOrder);
    fileView_->setSelectionMode(request.allowsMultipleSelection
                                    ? QAbstractItemView::ExtendedSelection
                                    : QAbstractItemView::SingleSelection);
    fileView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    fileView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fileView_->header()->setStretchLastSection(false);
    fileView_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    fileView_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    fileView_->hideColumn(2);
    fileView_->header()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    layout->addWidget(fileView_, 1);

    auto* bottom = new QHBoxLayout();
    showHiddenFilesButton_ = new QCheckBox(tr("Show Hidden Files"), this);
    showHiddenFilesButton_->setObjectName("showHiddenFilesButton");
    bottom->addWidget(showHiddenFilesButton_);
    bottom->addStretch(1);
    auto* buttons = new QDialogButtonBox(this);
    acceptButton_ = buttons->addButton(
        request.prompt.empty() ? tr("Open") : QString::fromStdString(request.prompt),
        QDialogButtonBox::AcceptRole);
    acceptButton_->setObjectName("acceptButton");
    acceptButton_->setDefault(true);
    cancelButton_ = buttons->addButton(QDialogButtonBox::Cancel);
    cancelButton_->setObjectName("cancelButton");
    bottom->addWidget(buttons);
    layout->addLayout(bottom);

    auto* toggleHidden = new QAction(this);
    toggleHidden->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    addAction(toggleHidden);
    connect(toggleHidden, &QAction::triggered, this,
            [this] { setShowsHiddenFiles(!showsHiddenFiles()); });
    auto* enter = new QAction(this);
    enter->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Down));
    addAction(enter);
    connect(enter, &QAction::triggered, this, [this] {
        const QModelIndex current = fileView_->currentIndex();
        if (current.isValid() && model_->isDir(current))
            setDirectoryURL(model_->filePath(current).toStdString());
    });

    connect(buttons, &QDialogButtonBox::accepted, this, &FileChooserDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &FileChooserDialog::reject);
    connect(parentFolderButton_, &QToolButton::clicked, this, [this] {
        const std::filesystem::path folder = directoryURL();
        if (folder.has_parent_path() && folder != folder.root_path())
            setDirectoryURL(folder.parent_path());
    });
    connect(homeButton_, &QToolButton::clicked, this,
            [this] { setDirectoryURL(QDir::homePath().toStdString()); });
    connect(showHiddenFilesButton_, &QCheckBox::toggled, this,
            [this](bool shown) { setShowsHiddenFiles(shown); });
    connect(fileView_, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { activate(index); });
    connect(fileView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateAcceptButton(); });
    connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
        if (clean(path) != clean(model_->rootPath())) return;
        loaded_ = true;
        emit directoryLoaded();
    });

    setShowsHiddenFiles(request.showsHiddenFiles);
    const QString start = request.directoryURL.empty()
                              ? QDir::homePath()
                              : QString::fromStdString(request.directoryURL.string());
    if (!setDirectoryURL(start.toStdString())) setDirectoryURL(QDir::homePath().toStdString());
    fileView_->setFocus();
}

FileChooserDialog::~FileChooserDialog() {
    // The model's thread asks the icon provider: the model goes first.
    delete model_;
}

std::filesystem::path FileChooserDialog::directoryURL() const {
    return clean(model_->rootPath()).toStdString();
}

bool FileChooserDialog::setDirectoryURL(const std::filesystem::path& folder) {
    const QString path = clean(QString::fromStdString(folder.string()));
    if (!QFileInfo(path).isDir()) return false;
    loaded_ = false;
    fileView_->clearSelection();
    fileView_->setRootIndex(model_->setRootPath(path));
    locationField_->setText(path);
    parentFolderButton_->setEnabled(path != "/");
    updateAcceptButton();
    return true;
}

int FileChooserDialog::selectURLs(const std::vector<std::filesystem::path>& urls) {
    QItemSelection selection;
    for (const auto& url : urls) {
        const QString path = clean(QString::fromStdString(url.string()));
        const QModelIndex index = model_->index(path);
        if (!index.isValid() || index.parent() != fileView_->rootIndex()) continue;
        selection.select(index, index);
    }
    fileView_->selectionModel()->select(
        selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!selection.isEmpty())
        fileView_->selectionModel()->setCurrentIndex(selection.indexes().first(),
                                                     QItemSelectionModel::NoUpdate);
    return static_cast<int>(fileView_->selectionModel()->selectedRows().size());
}

bool FileChooserDialog::mayChoose(const QModelIndex& index) const {
    if (!index.isValid()) return false;
    const QFileInfo info = model_->fileInfo(index);
    if (info.isDir()) {
        if (request_.extensionIsPackage)
            return request_.allowedExtension.empty() ||
                   info.suffix() == QString::fromStdString(request_.allowedExtension);
        return request_.canChooseDirectories;
    }
    return request_.canChooseFiles && !request_.extensionIsPackage;
}

std::vector<std::filesystem::path> FileChooserDialog::chosenURLs() const {
    QModelIndexList rows = fileView_->selectionModel()->selectedRows();
    // In the order the user sees them: the model keeps its rows sorted.
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::filesystem::path> urls;
    for (const QModelIndex& row : rows)
        if (mayChoose(row)) urls.emplace_back(clean(model_->filePath(row)).toStdString());
    return urls;
}

bool FileChooserDialog::showsHiddenFiles() const {
    return model_->filter().testFlag(QDir::Hidden);
}

void FileChooserDialog::setShowsHiddenFiles(bool shown) {
    QDir::Filters filters = QDir::AllDirs | QDir::NoDotAndDotDot;
    if (request_.canChooseFiles || request_.extensionIsPackage) filters |= QDir::Files;
    if (shown) filters |= QDir::Hidden;
    if (model_->filter() != filters) model_->setFilter(filters);
    const QSignalBlocker blocker(showHiddenFilesButton_);
    showHiddenFilesButton_->setChecked(shown);
    updateAcceptButton();
}

void FileChooserDialog::updateAcceptButton() {
    acceptButton_->setEnabled(!chosenURLs().empty());
}

void FileChooserDialog::activate(const QModelIndex& index) {
    if (!index.isValid()) return;
    if (model_->isDir(index) && !(request_.extensionIsPackage && mayChoose(index))) {
        setDirectoryURL(model_->filePath(index).toStdString());
        return;
    }
    if (mayChoose(index)) accept();
}

void FileChooserDialog::goToTypedLocation() {
    QString typed = locationField_->text().trimmed();
    if (typed.startsWith("~")) typed = QDir::homePath() + typed.mid(1);
    if (QDir::isRelativePath(typed))
        typed = QDir(QString::fromStdString(directoryURL().string())).filePath(typed);
    const QFileInfo info(clean(typed));
    if (info.isDir()) {
        setDirectoryURL(info.absoluteFilePath().toStdString());
    } else if (info.exists() && setDirectoryURL(info.absolutePath().toStdString())) {
        // The file is listed once its folder is read.
        const std::filesystem::path file = info.absoluteFilePath().toStdString();
        auto selectOnce = std::make_shared<QMetaObject::Connection>();
        *selectOnce =
            connect(this, &FileChooserDialog::directoryLoaded, this, [this, file, selectOnce] {
                disconnect(*selectOnce);
                selectURLs({file});
            });
    } else {
        QApplication::beep();
    }
}

bool FileChooserDialog::eventFilter(QObject* watched, QEvent* event) {
    // Return in the location field goes there instead of accepting.
    if (watched == locationField_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            goToTypedLocation();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FileChooserDialog::accept() {
    urls_ = chosenURLs();
    if (urls_.empty()) return;
    QDialog::accept();
}

}  // namespace gantry
