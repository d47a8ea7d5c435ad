// FeedbackReporter: the release kit's feedback service. It owns the feedback
// and newsletter forms, shows them through the presenter, decides when to
// invite the user to the newsletter, and refuses a quit that would lose a
// report the user is writing or sending.
//
// Both windows are offered only when the configuration names a usable
// feedback service (`isAvailable()`): without one a report could never be
// sent, so the host should not offer the commands either.
//
// Threads: main thread only.
#pragma once

#include <functional>
#include <memory>

#include "outfitter/AppLifeCycleHandler.h"
#include "outfitter/FeedbackType.h"

namespace outfitter {

class FeedbackForm;
class NewsletterForm;
class ReleaseController;

class FeedbackReporter : public AppLifeCycleHandler {
public:
    explicit FeedbackReporter(ReleaseController& releaseController);
    ~FeedbackReporter() override;

    // Whether a feedback service is configured that reports can be sent to.
    bool isAvailable() const;

    // Opens the feedback window for a report of `type`, with the system
    // facts of a new profile; the form is made once and kept.
    void reportFeedback(FeedbackType type);
    void closeFeedbackPanel();
    // Opens the newsletter window; its form lives until the window closes.
    void showNewsletterPanel();
    void closeNewsletterPanel();
    // Shows the newsletter window, when `onlyIfNeeded` only if the prompting
    // rule says so; true when it was shown.
    bool askToJoinNewsletter(bool onlyIfNeeded);

    // The host's say on whether an invitation may open now: not while it is
    // busy or shows a dialog. Without one it always may.
    void setPromptGate(std::function<bool()> mayPrompt) { mayPrompt_ = std::move(mayPrompt); }

    // The prompting rule. Counts its runs in the settings: never during the
    // first three; never once the user subscribed or declined further
    // invitations; then yes when it has not run past its first three times
    // for 21 days (by the calendar), since every run past them stores the
    // current moment.
    bool updateAskNewsletterState();

    bool isReporting() const;
    bool isSending() const;
    FeedbackForm* feedbackForm() const { return feedbackForm_.get(); }
    NewsletterForm* newsletterForm() const { return newsletterForm_.get(); }

    void applicationWillFinishLaunch() override {}
    void applicationDidFinishLaunch() override {}
    // Runs the prompting rule and shows the newsletter window when it says so.
    void applicationDidBecomeActive() override;
    void applicationWillResignActive() override {}
    void applicationWillTerminate() override {}
    // Asks before quitting while a report is being sent, then while the
    // feedback window is open; the first button of either keeps running.
    bool askCanQuitApplication() override;

    ReleaseController& releaseController() const { return releaseController_; }

private:
    struct DeleteLater {
        void operator()(NewsletterForm* form) const;
    };
    bool showNewsletter(bool prompted);
    bool mayPromptNow() const { return !mayPrompt_ || mayPrompt_(); }

    ReleaseController& releaseController_;
    std::unique_ptr<FeedbackForm> feedbackForm_;
    std::unique_ptr<NewsletterForm, DeleteLater> newsletterForm_;
    std::function<bool()> mayPrompt_;
};

}  // namespace outfitter
