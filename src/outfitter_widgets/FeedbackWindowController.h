// FeedbackWindowController: the feedback window, bound to a FeedbackForm.
// The window shows what the form holds and writes the user's input into it:
// the kind of report, name, address, message, the "include system
// information" box (unticked until the user ticks it), a view of exactly
// the texts that the box adds to the report, and the attachments list when
// the configuration enables attachments. Send hands over to the form, which
// runs the send and asks its questions through the kit's presenter; while it
// runs every control is disabled and a busy indicator turns.
//
// The controller owns its window. It lives as long as the form, which the
// kit keeps for the whole process, so the same window is shown again.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QWidget;

namespace outfitter {

class FeedbackForm;
class KitWindow;

class FeedbackWindowController : public QObject {
    Q_OBJECT

public:
    // Files to attach, asked of the user; a dialog by default. Tests set their own.
    using FileChooser = std::function<QStringList(QWidget* parent)>;

    explicit FeedbackWindowController(FeedbackForm& form, QObject* parent = nullptr);
    ~FeedbackWindowController() override;

    QWidget* window() const;
    // Shows the window, or brings it to the front.
    void showWindow();
    void setFileChooser(FileChooser chooser) { chooseFiles_ = std::move(chooser); }

    // The view of what the information box adds to the report, made on
    // first use.
    QDialog* informationDialog();

private:
    void build();
    void refresh();
    void fillInformation();
    void addAttachments();
    void removeSelectedAttachments();

    FeedbackForm& form_;
    std::unique_ptr<KitWindow> window_;
    QComboBox* typePopUp_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    QLineEdit* emailField_ = nullptr;
    QPlainTextEdit* messageView_ = nullptr;
    QCheckBox* includeInformationButton_ = nullptr;
    QPushButton* showInformationButton_ = nullptr;
    QWidget* attachmentsArea_ = nullptr;
    QListWidget* attachmentsList_ = nullptr;
    QPushButton* addAttachmentButton_ = nullptr;
    QPushButton* removeAttachmentButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* sendingLabel_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    QPointer<QDialog> informationDialog_;
    QTreeWidget* systemView_ = nullptr;
    QPlainTextEdit* consoleView_ = nullptr;
    QPlainTextEdit* preferencesView_ = nullptr;
    FileChooser chooseFiles_;
    bool refreshing_ = false;
};

}  // namespace outfitter
