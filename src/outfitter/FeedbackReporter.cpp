#include "outfitter/FeedbackReporter.h"

#include <ctime>

#include "keel/LocalizedString.h"
#include "keel/UserSettings.h"
#include "outfitter/FeedbackForm.h"
#include "outfitter/FeedbackUploader.h"
#include "outfitter/NewsletterForm.h"
#include "outfitter/Presenter.h"
#include "outfitter/ReleaseController.h"
#include "outfitter/ReleaseSettings.h"
#include "outfitter/SystemProfile.h"

namespace outfitter {

namespace {

// `date` moved by whole days on the local calendar (a day across a change
// of daylight saving time is 23 or 25 hours).
keel::Date addingDays(keel::Date date, int days) {
    const std::time_t seconds = static_cast<std::time_t>(date.timeIntervalSince1970());
    std::tm parts{};
    if (!localtime_r(&seconds, &parts))
        return keel::Date{date.timeIntervalSinceReferenceDate + days * 86400.0};
    parts.tm_mday += days;
    parts.tm_isdst = -1;
    const double fraction = date.timeIntervalSince1970() - static_cast<double>(seconds);
    return keel::Date::fromUnixTime(static_cast<double>(std::mktime(&parts)) + fraction);
}

bool askToQuit(Presenter* presenter, const std::string& prefix) {
    if (!presenter) return false;
    return presenter->ask({keel::TL(prefix + "MessageText"),
                           keel::TL(prefix + "InformativeText"),
                           {keel::TL(prefix + "CancelButtonTitle"),
                            keel::TL(prefix + "QuitButtonTitle")}}) != 0;
}

}  // namespace

void FeedbackReporter::DeleteLater::operator()(NewsletterForm* form) const {
    // The form may be in the middle of one of its own calls.
    if (form) form->deleteLater();
}

FeedbackReporter::FeedbackReporter(ReleaseController& releaseController)
    : releaseController_(releaseController) {}

FeedbackReporter::~FeedbackReporter() {
    // Not inside one of the form's own calls: no need to wait for the event loop.
    delete newsletterForm_.release();
}

bool FeedbackReporter::isAvailable() const {
    const auto& configuration = releaseController_.configuration();
    return configuration &&
           FeedbackUploader::make(*configuration, releaseController_.network(),
                                  releaseController_.environment().bundle) != nullptr;
}

void FeedbackReporter::reportFeedback(FeedbackType type) {
    if (!isAvailable()) return;
    if (!feedbackForm_) feedbackForm_ = std::make_unique<FeedbackForm>(releaseController_);
    if (feedbackForm_->isReporting()) {
        feedbackForm_->present();  // to the front
        return;
    }
    const ReleaseConfiguration& configuration = *releaseController_.configuration();
    feedbackForm_->setConfiguration(configuration);
    feedbackForm_->reloadComponents();
    SystemProfile profile(releaseController_.environment().sources,
                          releaseController_.environment().bundle);
    profile.consoleLogDate = configuration.feedbackConsoleLogDate;
    profile.consoleLogLength = configuration.feedbackConsoleLength;
    // The configuration's keys (the user's contact), and the statistics
    // identifier, which would tie the report to the usage statistics.
    profile.excludedPreferencesKeys = configuration.feedbackExcludedKeys;
    profile.excludedPreferencesKeys.push_back(ReleaseSettings::analyticsClientID().name);
    feedbackForm_->populate(profile);
    feedbackForm_->setFeedbackTypeIndex(static_cast<int>(type));
    feedbackForm_->present();
}

void FeedbackReporter::closeFeedbackPanel() {
    if (feedbackForm_ && feedbackForm_->isReporting()) feedbackForm_->close();
}

void FeedbackReporter::showNewsletterPanel() {
    showNewsletter(false);
}

bool FeedbackReporter::showNewsletter(bool prompted) {
    if (!isAvailable()) return false;
    if (!newsletterForm_) {
        newsletterForm_.reset(new NewsletterForm(releaseController_));
        QObject::connect(newsletterForm_.get(), &NewsletterForm::closed, newsletterForm_.get(),
                         [this] { newsletterForm_.reset(); });
    }
    if (!newsletterForm_->isReporting()) {
        newsletterForm_->setConfiguration(releaseController_.configuration());
        newsletterForm_->reset();
        newsletterForm_->setOffersDontAskAgain(prompted);
    }
    newsletterForm_->present();
    return true;
}

void FeedbackReporter::closeNewsletterPanel() {
    if (newsletterForm_) newsletterForm_->close();
}

bool FeedbackReporter::askToJoinNewsletter(bool onlyIfNeeded) {
    if (!isAvailable()) return false;
    if (onlyIfNeeded && (!mayPromptNow() || !updateAskNewsletterState())) return false;
    return showNewsletter(onlyIfNeeded);
}

bool FeedbackReporter::updateAskNewsletterState() {
    auto& settings = keel::UserSettings::standard();
    try {
        if (settings.get(ReleaseSettings::hasRegisteredEmail) ||
            settings.get(ReleaseSettings::askStayInTouchDeclined))
            return false;
        const std::int64_t count = settings.get(ReleaseSettings::askStayInTouchCount);
        settings.set(ReleaseSettings::askStayInTouchCount, count + 1);
        if (count <= 2) return false;
        const keel::Date now = releaseController_.now();
        const auto last = settings.get(ReleaseSettings::askStayInTouchDate);
        settings.set(ReleaseSettings::askStayInTouchDate, std::optional(now));
        return !last || addingDays(*last, 21) <= now;
    } catch (const std::exception&) {
        // Settings that cannot be written would make the invitation come
        // back at every activation.
        return false;
    }
}

void FeedbackReporter::applicationDidBecomeActive() {
    // The gate first: an activation that may not prompt does not count.
    if (isAvailable() && mayPromptNow() && updateAskNewsletterState()) showNewsletter(true);
}

bool FeedbackReporter::isReporting() const {
    return feedbackForm_ && feedbackForm_->isReporting();
}

bool FeedbackReporter::isSending() const {
    return feedbackForm_ && feedbackForm_->isSending();
}

bool FeedbackReporter::askCanQuitApplication() {
    if (!feedbackForm_) return true;
    Presenter* presenter = releaseController_.presenter();
    if (feedbackForm_->isSending() && !askToQuit(presenter, "QuitAppWhileSending")) return false;
    if (feedbackForm_->isReporting() && !askToQuit(presenter, "QuitAppWhileReporting"))
        return false;
    return true;
}

}  // namespace outfitter
