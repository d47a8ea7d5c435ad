// NewsletterForm: the state and actions of the newsletter window, without the
// window. The user leaves an e-mail address; it travels to the feedback
// service as a report of type `newsletter`. The window also offers the
// maker's social pages.
//
// The form moves from editing to sending (controls locked, window not
// closable) and then to sent (the thank-you text) or back to editing, with
// the address kept, after a failure. An address that is not valid never
// reaches the network: the form shows that it is invalid instead.
//
// Threads: main thread only. `changed` is emitted after every change of
// state, `closeRequested` when the window should close, and `closed` once
// the window closed (the reporter then lets the form go).
#pragma once

#include <QObject>

#include <memory>
#include <optional>
#include <string>

#include "outfitter/ReleaseConfiguration.h"

namespace outfitter {

class FeedbackUploader;
class FeedbackUploaderError;
class ReleaseController;

class NewsletterForm : public QObject {
    Q_OBJECT

public:
    enum class Phase { editing, sending, sent };
    enum class SocialNetwork { twitter, youtube, forum };

    explicit NewsletterForm(ReleaseController& controller);
    ~NewsletterForm() override;

    // Whether `text` as a whole is an e-mail address:
    // [A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,64}
    static bool isValidEmailAddress(const std::string& text);

    void setConfiguration(std::optional<ReleaseConfiguration> configuration);
    // Back to an empty address in the editing phase.
    void reset();
    // Shows the window through the presenter and marks the form as reporting;
    // does nothing without a presenter.
    void present();
    void close();

    const std::string& email() const { return email_; }
    void setEmail(std::string email);
    bool isValidText() const { return isValidEmailAddress(email_); }
    // Whether the window shows that the address is not valid; cleared as
    // soon as it becomes valid.
    bool showsInvalidAddress() const { return showsInvalidAddress_; }
    Phase phase() const { return phase_; }
    bool isSending() const { return phase_ == Phase::sending; }
    bool isClosable() const { return phase_ != Phase::sending; }
    bool isReporting() const { return isReporting_; }
    // The maker's page for a social button; nothing when not configured.
    std::optional<std::string> socialURL(SocialNetwork network) const;

    // Whether the window came unasked (the invitation at activation), and
    // so offers "Don't ask again".
    bool offersDontAskAgain() const { return offersDontAskAgain_; }
    void setOffersDontAskAgain(bool offers);
    // "Don't ask again": no invitation comes any more; closes the window.
    void dontAskAgain();

    // The send button; see above.
    void send();
    void windowDidClose();

signals:
    void changed();
    void closeRequested();
    void closed();

private:
    void finishSending(const std::optional<FeedbackUploaderError>& error);

    ReleaseController& controller_;
    std::optional<ReleaseConfiguration> configuration_;
    std::string email_;
    bool showsInvalidAddress_ = false;
    Phase phase_ = Phase::editing;
    bool isReporting_ = false;
    bool offersDontAskAgain_ = false;
    std::unique_ptr<FeedbackUploader> uploader_;
};

}  // namespace outfitter
