// UpdateWindowController: the window of an update that downloads, verifies
// and installs a new version, bound to an UpdateForm: what is happening, the
// download's progress, the release notes, and Cancel while the download
// runs. Closing the window cancels a running download as Cancel does; once
// the download is done the update goes on without the window, and its
// outcome comes as an alert.
//
// Threads: main thread only.
#pragma once

#include <QObject>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace outfitter {

class KitWindow;
class UpdateForm;

class UpdateWindowController : public QObject {
    Q_OBJECT

public:
    explicit UpdateWindowController(UpdateForm& form, QObject* parent = nullptr);
    ~UpdateWindowController() override;

    QWidget* window() const;
    void showWindow();

private:
    void refresh();

    UpdateForm& form_;
    std::unique_ptr<KitWindow> window_;
    QLabel* statusLabel_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* bytesLabel_ = nullptr;
    QPlainTextEdit* notesView_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace outfitter
