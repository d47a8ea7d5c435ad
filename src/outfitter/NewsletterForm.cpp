#include "outfitter/NewsletterForm.h"

#include <QRegularExpression>

#include <cstdio>

#include "keel/LocalizedString.h"
#include "keel/UserSettings.h"
#include "outfitter/FeedbackUploader.h"
#include "outfitter/Presenter.h"
#include "outfitter/ReleaseController.h"
#include "outfitter/ReleaseSettings.h"

namespace outfitter {

NewsletterForm::NewsletterForm(ReleaseController& controller) : controller_(controller) {}

NewsletterForm::~NewsletterForm() = default;

bool NewsletterForm::isValidEmailAddress(const std::string& text) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(\A(?:[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,64})\z)"));
    return pattern.match(QString::fromStdString(text)).hasMatch();
}

void NewsletterForm::setConfiguration(std::optional<ReleaseConfiguration> configuration) {
    configuration_ = std::move(configuration);
    emit changed();
}

void NewsletterForm::reset() {
    if (phase_ == Phase::sending) return;
    email_.clear();
    showsInvalidAddress_ = false;
    phase_ = Phase::editing;
    emit changed();
}

void NewsletterForm::present() {
    Presenter* presenter = controller_.presenter();
    if (!presenter) return;  // no window to show
    isReporting_ = true;
    emit changed();
    presenter->show(*this);
}

void NewsletterForm::close() {
    emit closeRequested();
    windowDidClose();
}

void NewsletterForm::windowDidClose() {
    if (!isReporting_) return;
    isReporting_ = false;
    emit changed();
    emit closed();
}

void NewsletterForm::setEmail(std::string email) {
    email_ = std::move(email);
    if (showsInvalidAddress_ && configuration_ && isValidText()) showsInvalidAddress_ = false;
    emit changed();
}

void NewsletterForm::setOffersDontAskAgain(bool offers) {
    offersDontAskAgain_ = offers;
    emit changed();
}

void NewsletterForm::dontAskAgain() {
    if (phase_ == Phase::sending) return;
    try {
        keel::UserSettings::standard().set(ReleaseSettings::askStayInTouchDeclined, true);
    } catch (const std::exception& storeError) {
        std::printf("NewsletterReporter cannot store the refusal: %s\n", storeError.what());
    }
    close();
}

std::optional<std::string> NewsletterForm::socialURL(SocialNetwork network) const {
    if (!configuration_) return std::nullopt;
    switch (network) {
        case SocialNetwork::twitter:
            return configuration_->feedbackTwitterURL;
        case SocialNetwork::youtube:
            return configuration_->feedbackYoutubeURL;
        case SocialNetwork::forum:
            return configuration_->feedbackForumURL;
    }
    return std::nullopt;
}

void NewsletterForm::send() {
    if (!isValidText()) {
        showsInvalidAddress_ = true;
        emit changed();
        return;
    }
    if (!configuration_ || phase_ == Phase::sending) return;
    auto uploader = FeedbackUploader::make(*configuration_, controller_.network(),
                                           controller_.environment().bundle,
                                           controller_.environment().reachability);
    if (!uploader) return;
    phase_ = Phase::sending;
    showsInvalidAddress_ = false;
    emit changed();

    if (!uploader->checkReachability()) {
        Presenter* presenter = controller_.presenter();
        const std::size_t answer =
            presenter ? presenter->ask({keel::TL("HostNotReachableMessageText"),
                                        keel::TL("HostNotReachableInformativeText"),
                                        {keel::TL("HostNotReachableCancelButtonTitle"),
                                         keel::TL("HostNotReachableTryButtonTitle")}})
                      : 0;
        if (answer == 0) {
            phase_ = Phase::editing;
            emit changed();
            return;
        }
    }
    FeedbackContent content;
    content.type = FeedbackType::newsletter;
    content.userEmail = email_;
    uploader_ = std::move(uploader);
    uploader_->upload(content, [this](const std::optional<FeedbackUploaderError>& error) {
        finishSending(error);
    });
}

void NewsletterForm::finishSending(const std::optional<FeedbackUploaderError>& error) {
    phase_ = error ? Phase::editing : Phase::sent;
    emit changed();
    if (!error) {
        try {
            keel::UserSettings::standard().set(ReleaseSettings::hasRegisteredEmail, true);
        } catch (const std::exception& storeError) {
            std::printf("NewsletterReporter cannot store the subscription: %s\n",
                        storeError.what());
        }
        return;
    }
    const std::string description = error->errorDescription();
    std::printf("%s\n", description.c_str());
    if (Presenter* presenter = controller_.presenter())
        presenter->alert({keel::TL("SendingDidFailMessageText"),
                          keel::TL("SendingDidFailInformativeText", description),
                          {keel::TL("SendingDidFailOKButtonTitle")}});
}

}  // namespace outfitter
