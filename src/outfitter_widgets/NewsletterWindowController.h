// NewsletterWindowController: the newsletter window, bound to a
// NewsletterForm. An address field with a Subscribe button; a note under the
// field while the address is not valid; a busy indicator while the address
// is sent, during which the window cannot be closed; the thank-you text
// after a successful send, in place of the field; buttons for the maker's
// pages that the build names; and "Don't ask again" when the window came as
// an invitation.
//
// The controller owns its window and goes with the form: the kit lets the
// form go when the window closed, and the next request makes both afresh.
//
// Threads: main thread only.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QUrl;
class QWidget;

namespace outfitter {

class KitWindow;
class NewsletterForm;

class NewsletterWindowController : public QObject {
    Q_OBJECT

public:
    // Opens a web page; the desktop's browser by default. Tests set their own.
    using LinkOpener = std::function<void(const QUrl&)>;

    explicit NewsletterWindowController(NewsletterForm& form, QObject* parent = nullptr);
    ~NewsletterWindowController() override;

    QWidget* window() const;
    void showWindow();
    void setLinkOpener(LinkOpener opener) { openLink_ = std::move(opener); }

private:
    void build();
    void refresh();

    NewsletterForm& form_;
    std::unique_ptr<KitWindow> window_;
    QLineEdit* emailField_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    QLabel* invalidLabel_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* thanksLabel_ = nullptr;
    QPushButton* twitterButton_ = nullptr;
    QPushButton* youtubeButton_ = nullptr;
    QPushButton* forumButton_ = nullptr;
    QPushButton* dontAskAgainButton_ = nullptr;
    LinkOpener openLink_;
};

}  // namespace outfitter
