#include "OutfitterKitFixture.h"
#include "keel/UserSettings.h"
#include "outfitter/FeedbackReporter.h"
#include "outfitter/ReleaseSettings.h"

using namespace outfitter;
using namespace outfittertest;
using testsupport::ScriptedAnswer;

namespace {

class OutfitterNewsletterTest : public KitFixture {
protected:
    NewsletterForm& open() {
        EXPECT_TRUE(controller().feedbackReporter().askToJoinNewsletter(false));
        NewsletterForm* form = controller().feedbackReporter().newsletterForm();
        EXPECT_TRUE(form);
        return *form;
    }
};

TEST_F(OutfitterNewsletterTest, AddressesMustMatchThePatternAsAWhole) {
    for (const char* valid : {"ana@example.org", "a.b_c%d+e-f@mail.example.co", "X@Y.ZZ"})
        EXPECT_TRUE(NewsletterForm::isValidEmailAddress(valid)) << valid;
    for (const char* invalid :
         {"ana", "ana@example", "ana@example.o", "@example.org", "ana@@example.org",
          "ana@example.org ", " ana@example.org", "anä@example.org", ""})
        EXPECT_FALSE(NewsletterForm::isValidEmailAddress(invalid)) << invalid;
}

TEST_F(OutfitterNewsletterTest, ThePromptComesAfterThreeRunsAndThenAfter21QuietDays) {
    FeedbackReporter& reporter = controller().feedbackReporter();
    const double day = 86400;
    const double start = clock.timeIntervalSinceReferenceDate;
    struct Run {
        double atDay;
        bool prompts;
    };
    // Every run past the third stores its moment, so the prompt only comes
    // back after 21 days without one.
    for (const Run& run : {Run{0, false}, Run{0, false}, Run{0, false}, Run{0, true}, Run{1, false},
                           Run{21, false}, Run{42.5, true}, Run{50, false}}) {
        clock = keel::Date{start + run.atDay * day};
        EXPECT_EQ(reporter.updateAskNewsletterState(), run.prompts) << "day " << run.atDay;
    }
    keel::UserSettings::standard().set(ReleaseSettings::hasRegisteredEmail, true);
    clock = keel::Date{start + 100 * day};
    EXPECT_FALSE(reporter.updateAskNewsletterState());
    EXPECT_EQ(presenter->newsletterShown, 0);
}

TEST_F(OutfitterNewsletterTest, AnInvalidAddressNeverReachesTheNetwork) {
    NewsletterForm& form = open();
    form.setEmail("ana");
    form.send();
    EXPECT_TRUE(form.showsInvalidAddress());
    EXPECT_EQ(form.phase(), NewsletterForm::Phase::editing);
    form.setEmail("ana@example.org");
    EXPECT_FALSE(form.showsInvalidAddress());
    EXPECT_EQ(network.requestCount(), 0);
}

TEST_F(OutfitterNewsletterTest, ASubscriptionIsSentOnceAndRemembered) {
    server.enqueue(ScriptedAnswer::json(R"({"code":-1,"message":"Welcome"})"));
    NewsletterForm& form = open();
    form.setEmail("ana@example.org");
    form.send();
    EXPECT_EQ(form.phase(), NewsletterForm::Phase::sending);
    EXPECT_FALSE(form.isClosable());
    form.send();  // a second click does nothing
    ASSERT_TRUE(waitUntil([&] { return !form.isSending(); }));

    EXPECT_EQ(form.phase(), NewsletterForm::Phase::sent);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(bodyOf(0)["type"], "3");
    EXPECT_EQ(bodyOf(0)["user_email"], "ana@example.org");
    EXPECT_TRUE(keel::UserSettings::standard().get(ReleaseSettings::hasRegisteredEmail));

    // Closing lets the form go; the next window starts empty.
    form.close();
    ASSERT_TRUE(
        waitUntil([&] { return controller().feedbackReporter().newsletterForm() == nullptr; }));
    EXPECT_EQ(open().email(), "");
}

TEST_F(OutfitterNewsletterTest, AFailureKeepsTheAddressAndAnUnreachableHostCanBeCancelled) {
    server.enqueue(ScriptedAnswer::json("", 500));
    NewsletterForm& form = open();
    form.setEmail("ana@example.org");
    form.send();
    ASSERT_TRUE(waitUntil([&] { return !form.isSending(); }));
    EXPECT_EQ(form.phase(), NewsletterForm::Phase::editing);
    EXPECT_EQ(form.email(), "ana@example.org");
    ASSERT_EQ(presenter->alerts.size(), 1u);
    EXPECT_FALSE(keel::UserSettings::standard().get(ReleaseSettings::hasRegisteredEmail));

    reachable = false;
    form.send();
    EXPECT_EQ(presenter->questions.size(), 1u);
    EXPECT_EQ(form.phase(), NewsletterForm::Phase::editing);
    EXPECT_EQ(server.requests().size(), 1u);
}

}  // namespace
