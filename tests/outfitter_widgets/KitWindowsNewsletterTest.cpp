#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "KitWindowsFixture.h"
#include "keel/UserSettings.h"
#include "outfitter/FeedbackReporter.h"
#include "outfitter/ReleaseSettings.h"
#include "outfitter/UpdateForm.h"
#include "outfitter_widgets/NewsletterWindowController.h"
#include "outfitter_widgets/UpdateWindowController.h"

using namespace outfitter;
using namespace outfittertest;
using namespace kitwindowstest;
using testsupport::ScriptedAnswer;

namespace {

class KitWindowsNewsletterTest : public KitWindowsFixture {
protected:
    QWidget* window() const {
        NewsletterWindowController* shown = windowPresenter->windows.newsletterWindow();
        return shown ? shown->window() : nullptr;
    }
    QWidget* open() {
        EXPECT_TRUE(controller().feedbackReporter().askToJoinNewsletter(false));
        EXPECT_TRUE(window() && window()->isVisible());
        return window();
    }
    void type(const char* address) {
        auto* field = find<QLineEdit>(window(), "emailTextField");
        field->clear();
        QTest::keyClicks(field, address);
    }
    static void setAskCount(std::int64_t count) {
        keel::UserSettings::standard().set(ReleaseSettings::askStayInTouchCount, count);
    }
};

TEST_F(KitWindowsNewsletterTest, AnInvalidAddressShowsTheNoteAndSendsNothing) {
    open();
    type("ana");
    click(window(), "sendNewsletterButton");
    EXPECT_TRUE(find<QLabel>(window(), "emailIsInvalidLabel")->isVisible());
    type("ana@example.org");
    EXPECT_FALSE(find<QLabel>(window(), "emailIsInvalidLabel")->isVisible());
    spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(network.requestCount(), 0);
}

TEST_F(KitWindowsNewsletterTest, ASuccessShowsThanksAndReopeningShowsAnEmptyField) {
    configuration.feedbackForumURL = "https://forum.example.org";
    ScriptedAnswer slow = ScriptedAnswer::json(R"({"code":-1,"message":"Welcome"})");
    slow.delay = std::chrono::milliseconds(200);
    server.enqueue(slow);
    open();
    EXPECT_TRUE(find<QWidget>(window(), "forumButton")->isVisible());
    EXPECT_FALSE(find<QWidget>(window(), "twitterButton")->isVisible());
    EXPECT_FALSE(find<QWidget>(window(), "dontAskAgainButton")->isVisible());
    type("ana@example.org");
    click(window(), "sendNewsletterButton");
    // Sending: the field and button give way to the indicator; no closing.
    EXPECT_TRUE(find<QWidget>(window(), "uploadProgressIndicator")->isVisible());
    EXPECT_FALSE(find<QWidget>(window(), "emailTextField")->isVisible());
    window()->close();
    EXPECT_TRUE(window()->isVisible());

    ASSERT_TRUE(
        waitUntil([&] { return !controller().feedbackReporter().newsletterForm()->isSending(); }));
    EXPECT_TRUE(find<QWidget>(window(), "succeedUploadTextField")->isVisible());
    EXPECT_FALSE(find<QWidget>(window(), "emailTextField")->isVisible());
    EXPECT_FALSE(find<QWidget>(window(), "sendNewsletterButton")->isVisible());
    EXPECT_TRUE(keel::UserSettings::standard().get(ReleaseSettings::hasRegisteredEmail));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(bodyOf(0)["user_email"], "ana@example.org");

    window()->close();
    spinFor(std::chrono::milliseconds(20));  // the form goes with its window
    open();
    EXPECT_TRUE(find<QLineEdit>(window(), "emailTextField")->text().isEmpty());
    EXPECT_TRUE(find<QWidget>(window(), "emailTextField")->isVisible());
    EXPECT_FALSE(find<QWidget>(window(), "succeedUploadTextField")->isVisible());
}

TEST_F(KitWindowsNewsletterTest, TheInvitationWaitsForTheHostAndDontAskAgainEndsIt) {
    bool hostIsFree = false;
    controller().feedbackReporter().setPromptGate([&] { return hostIsFree; });
    setAskCount(3);
    // Busy (working, or a dialog open): no window, and the run does not count.
    controller().applicationDidBecomeActive();
    EXPECT_EQ(windowPresenter->newsletterShown, 0);
    EXPECT_EQ(keel::UserSettings::standard().get(ReleaseSettings::askStayInTouchCount), 3);

    hostIsFree = true;
    controller().applicationDidBecomeActive();
    ASSERT_EQ(windowPresenter->newsletterShown, 1);
    ASSERT_TRUE(find<QWidget>(window(), "dontAskAgainButton")->isVisible());
    click(window(), "dontAskAgainButton");
    EXPECT_FALSE(window() && window()->isVisible());
    EXPECT_TRUE(keel::UserSettings::standard().get(ReleaseSettings::askStayInTouchDeclined));

    // Never again, not even after the quiet weeks.
    clock = keel::Date{clock.timeIntervalSinceReferenceDate + 60 * 86400.0};
    controller().applicationDidBecomeActive();
    EXPECT_EQ(windowPresenter->newsletterShown, 1);
    // The menu still opens it, without the offer.
    open();
    EXPECT_FALSE(find<QWidget>(window(), "dontAskAgainButton")->isVisible());
}

TEST_F(KitWindowsNewsletterTest, ABuildWithoutAServerShowsNothingAndSendsNothing) {
    configuration = ReleaseConfiguration{};
    for (int activation = 0; activation < 6; ++activation) {
        controller().applicationDidBecomeActive();
        clock = keel::Date{clock.timeIntervalSinceReferenceDate + 30 * 86400.0};
    }
    controller().feedbackReporter().reportFeedback(FeedbackType::bugReport);
    EXPECT_FALSE(controller().feedbackReporter().askToJoinNewsletter(false));
    EXPECT_TRUE(controller().askCanQuitApplication());
    spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(windowPresenter->newsletterShown + windowPresenter->feedbackShown, 0);
    EXPECT_EQ(network.requestCount(), 0);
}

TEST_F(KitWindowsNewsletterTest, TheUpdateWindowFollowsItsFormAndCancelsOnlyTheDownload) {
    UpdateForm form;
    int cancelled = 0;
    form.begin("1.3.0", "Faster scans.", 2000, [&] { ++cancelled; });
    windowPresenter->showUpdate(form);
    QWidget* shown = windowPresenter->windows.updateWindow()->window();
    ASSERT_TRUE(shown->isVisible());
    form.setReceived(500);
    EXPECT_EQ(find<QProgressBar>(shown, "updateProgressIndicator")->value(), 250);
    EXPECT_NE(find<QLabel>(shown, "updateStatusLabel")->text().indexOf("1.3.0"), -1);

    form.setPhase(UpdateForm::Phase::verifying);
    EXPECT_FALSE(find<QWidget>(shown, "updateCancelButton")->isEnabled());
    shown->close();  // past the download, closing stops nothing
    EXPECT_EQ(cancelled, 0);

    form.begin("1.3.0", "", 2000, [&] { ++cancelled; });
    windowPresenter->showUpdate(form);
    click(shown, "updateCancelButton");
    EXPECT_EQ(cancelled, 1);
}

}  // namespace
