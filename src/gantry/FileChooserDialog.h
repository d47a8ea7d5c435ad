// FileChooserDialog: an open panel that chooses files and folders in one
// selection, which Qt's file dialog cannot: it picks either files or one
// folder. It lists one folder at a time over a QFileSystemModel (names,
// sizes, dates), enters a folder on a double click or Alt+Down, goes up with
// the enclosing-folder button or Alt+Up, and goes where its location field
// says when Return is pressed there (a file: its folder, with the file
// selected). Hidden entries (a dotfile, ".config") show when the request
// asks, and Ctrl+H switches them as in the desktop's own file dialogs.
//
// The accept button (the default one: Return in the list) is enabled while
// the selection holds something the request may choose; accepting hands back
// the selected locations, absolute, in the order they are listed. A double
// click on a file chooses the selection at once, as a file dialog does.
//
// The folder is read on a thread of the model's own; its rows arrive later
// on the main thread, and `directoryLoaded` says when.
//
// Threads: main thread only.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>

#include <filesystem>
#include <memory>
#include <vector>

#include "gantry/PanelPresenter.h"

class QFileIconProvider;
class QFileSystemModel;

namespace gantry {

class FileChooserDialog : public QDialog {
    Q_OBJECT

public:
    // A panel for `request` (an open panel), starting in its directory or
    // else the user's home folder.
    explicit FileChooserDialog(const PanelRequest& request, QWidget* parent = nullptr);
    ~FileChooserDialog() override;

    // The folder listed.
    std::filesystem::path directoryURL() const;
    // Lists `folder`; false (and nothing changes) when it is not a folder.
    bool setDirectoryURL(const std::filesystem::path& folder);
    // Whether the folder listed has been read.
    bool directoryIsLoaded() const { return loaded_; }
    // Selects the listed entries at `urls` (replacing the selection); entries
    // not listed in the current folder are skipped. Returns how many were
    // selected.
    int selectURLs(const std::vector<std::filesystem::path>& urls);
    // The selection that accepting would hand back.
    std::vector<std::filesystem::path> chosenURLs() const;
    // After the dialog was accepted: what was chosen; else empty.
    std::vector<std::filesystem::path> URLs() const { return urls_; }

    bool showsHiddenFiles() const;
    void setShowsHiddenFiles(bool shown);

    // Outlets, named after themselves (objectName).
    QTreeView* fileView() const { return fileView_; }
    QLineEdit* locationField() const { return locationField_; }
    QToolButton* parentFolderButton() const { return parentFolderButton_; }
    QToolButton* homeButton() const { return homeButton_; }
    QCheckBox* showHiddenFilesButton() const { return showHiddenFilesButton_; }
    QPushButton* acceptButton() const { return acceptButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

    void accept() override;

signals:
    // The folder now listed was read.
    void directoryLoaded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateAcceptButton();
    void activate(const QModelIndex& index);
    void goToTypedLocation();
    bool mayChoose(const QModelIndex& index) const;

    PanelRequest request_;
    // Outlives the model (see the destructor).
    std::unique_ptr<QFileIconProvider> iconProvider_;
    QFileSystemModel* model_ = nullptr;
    QPointer<QTreeView> fileView_;
    QPointer<QLineEdit> locationField_;
    QPointer<QToolButton> parentFolderButton_;
    QPointer<QToolButton> homeButton_;
    QPointer<QCheckBox> showHiddenFilesButton_;
    QPointer<QPushButton> acceptButton_;
    QPointer<QPushButton> cancelButton_;
    std::vector<std::filesystem::path> urls_;
    bool loaded_ = false;
};

}  // namespace gantry
