#include "OutfitterKitFixture.h"
#include "keel/UserSettings.h"
#include "outfitter/BuildSettings.h"
#include "outfitter/FeedbackReporter.h"
#include "outfitter/ReleaseSettings.h"
#include "outfitter/UserActionsTracker.h"

using namespace outfitter;
using namespace outfittertest;

namespace {

class OutfitterReleaseControllerTest : public KitFixture {};

TEST_F(OutfitterReleaseControllerTest, AWholeLifeOfADefaultBuildSendsNothing) {
    const BuildSettings& built = BuildSettings::current();
    if (!built.feedbackServer.empty() || !built.feedbackKey.empty() ||
        !built.analyticsEndpoint.empty() || !built.analyticsSiteID.empty())
        GTEST_SKIP() << "this build was configured with service addresses";
    configuration = ReleaseConfiguration::fromBuildSettings(built);
    ReleaseController& release = controller();
    release.userActionsTracker().setAnalyticsEnabled(true);  // even with consent

    release.applicationWillFinishLaunch();
    release.applicationDidFinishLaunch();
    for (int i = 0; i < 5; ++i) {  // past the newsletter's first runs
        release.applicationDidBecomeActive();
        release.userActionsTracker().trackUserAction("Provide feedback");
        release.feedbackReporter().reportFeedback(FeedbackType::suggestion);
        release.feedbackReporter().askToJoinNewsletter(false);
        release.applicationWillResignActive();
    }
    EXPECT_FALSE(release.feedbackReporter().isAvailable());
    EXPECT_TRUE(release.askCanQuitApplication());
    release.applicationWillTerminate();

    spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(network.requestCount(), 0);
    EXPECT_EQ(presenter->feedbackShown + presenter->newsletterShown, 0);
    EXPECT_FALSE(keel::UserSettings::standard().get(ReleaseSettings::analyticsClientID()));
}

TEST_F(OutfitterReleaseControllerTest, AServerWithoutAKeyGivesNoFeedbackService) {
    configuration.feedbackKey.reset();
    controller().feedbackReporter().reportFeedback(FeedbackType::bugReport);
    EXPECT_FALSE(controller().feedbackReporter().isAvailable());
    EXPECT_EQ(presenter->feedbackShown, 0);
}

TEST_F(OutfitterReleaseControllerTest, BecomingActiveInvitesToTheNewsletterOnTheFourthTime) {
    for (int i = 0; i < 3; ++i)
        controller().applicationDidBecomeActive();
    EXPECT_EQ(presenter->newsletterShown, 0);
    controller().applicationDidBecomeActive();
    EXPECT_EQ(presenter->newsletterShown, 1);
    EXPECT_TRUE(controller().askCanQuitApplication());  // the newsletter window loses nothing
}

}  // namespace
