#include <QUrlQuery>

#include <thread>

#include <QRegularExpression>

#include "OutfitterKitFixture.h"
#include "keel/UserSettings.h"
#include "outfitter/AnalyticsReporter.h"
#include "outfitter/ReleaseSettings.h"
#include "outfitter/UserActionsTracker.h"

using namespace outfitter;
using namespace outfittertest;
using namespace std::chrono_literals;
using testsupport::ScriptedAnswer;

namespace {

class OutfitterAnalyticsTest : public KitFixture {
protected:
    OutfitterAnalyticsTest() {
        configuration.analyticsEndpoint = server.url("/matomo.php").toString().toStdString();
        configuration.analyticsSiteID = "7";
        server.setDefaultAnswer(ScriptedAnswer::json("", 204));
        environment.sources.screens = [] { return std::vector<ScreenInfo>{{1920, 1080, 1}}; };
    }
    UserActionsTracker& tracker() { return controller().userActionsTracker(); }
    // The parameters of a recorded hit.
    QUrlQuery hit(std::size_t index) const {
        return QUrlQuery(QString::fromUtf8(server.requests().at(index).body));
    }
    static std::string value(const QUrlQuery& query, const char* name) {
        return query.queryItemValue(QString::fromUtf8(name), QUrl::FullyDecoded).toStdString();
    }
    std::optional<std::string> storedClientID() const {
        return keel::UserSettings::standard().get(ReleaseSettings::analyticsClientID());
    }
};

TEST_F(OutfitterAnalyticsTest, NothingIsSentOrStoredBeforeTheUserAgrees) {
    EXPECT_FALSE(tracker().isAnalyticsEnabled());
    controller().applicationDidBecomeActive();
    tracker().trackUserAction("Open preferences");
    controller().applicationWillResignActive();
    EXPECT_EQ(network.requestCount(), 0);
    EXPECT_FALSE(storedClientID());
}

TEST_F(OutfitterAnalyticsTest, AfterConsentVisitsAndActionsGoToMatomo) {
    tracker().setAnalyticsEnabled(true);
    controller().applicationDidBecomeActive();
    tracker().trackUserAction("Tell a friend & more");
    controller().applicationWillResignActive();
    ASSERT_TRUE(waitUntil(
        [&] { return server.requests().size() == 4 && tracker().reporter()->pendingHits() == 0; }));

    const auto& first = server.requests()[0];
    EXPECT_EQ(first.method, "POST");
    EXPECT_EQ(first.target, "/matomo.php");
    EXPECT_EQ(first.header("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(first.header("user-agent"), "Quillfen/1.2.0 (Linux; debian 12)");
    const QUrlQuery visit = hit(0);
    EXPECT_EQ(value(visit, "idsite"), "7");
    EXPECT_EQ(value(visit, "rec"), "1");
    EXPECT_EQ(value(visit, "new_visit"), "1");
    EXPECT_EQ(value(visit, "action_name"), "Quillfen");
    EXPECT_EQ(value(visit, "url"), "app://org.quillfen.Quillfen/");
    EXPECT_EQ(value(visit, "lang"), "fr-CA");
    EXPECT_EQ(value(visit, "res"), "1920x1080");
    const std::string clientID = value(visit, "_id");
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\\A[0-9a-f]{16}\\z"))
                    .match(QString::fromStdString(clientID))
                    .hasMatch())
        << clientID;
    EXPECT_EQ(storedClientID(), clientID);

    EXPECT_EQ(value(hit(1), "e_c"), "Device Version");
    EXPECT_EQ(value(hit(1), "e_a"), "debian 12");
    EXPECT_EQ(value(hit(2), "e_c"), "User action");
    EXPECT_EQ(value(hit(2), "e_a"), "Tell a friend & more");
    EXPECT_NE(server.requests()[2].body.indexOf("e_a=Tell%20a%20friend%20%26%20more"), -1);
    EXPECT_EQ(value(hit(3), "ping"), "1");
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_EQ(value(hit(i), "_id"), clientID);
}

TEST_F(OutfitterAnalyticsTest, WithdrawingConsentDeletesTheClientAndStopsEveryHit) {
    tracker().setAnalyticsEnabled(true);
    tracker().trackUserAction("One");
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));
    ASSERT_TRUE(storedClientID());

    tracker().setAnalyticsEnabled(false);
    EXPECT_FALSE(storedClientID());
    tracker().trackUserAction("Two");
    controller().applicationDidBecomeActive();
    EXPECT_EQ(network.requestCount(), 1);

    // Switched off elsewhere (by the preferences or another process) as well.
    tracker().setAnalyticsEnabled(true);
    tracker().trackUserAction("Three");
    const std::string second = storedClientID().value_or("");
    EXPECT_FALSE(second.empty());
    keel::UserSettings::standard().set(ReleaseSettings::enableUsageAnalytics, false);
    ASSERT_TRUE(waitUntil([&] { return !storedClientID(); }));
    EXPECT_EQ(tracker().reporter(), nullptr);
}

TEST_F(OutfitterAnalyticsTest, AtMostAHundredHitsWaitAndOneIsInFlight) {
    ScriptedAnswer slow = ScriptedAnswer::json("", 204);
    slow.delay = 5ms;
    server.setDefaultAnswer(slow);
    tracker().setAnalyticsEnabled(true);
    for (int i = 0; i < 150; ++i)
        tracker().trackUserAction("Action " + std::to_string(i));
    ASSERT_EQ(tracker().reporter()->pendingHits(), AnalyticsReporter::kMaximumHits);
    ASSERT_TRUE(waitUntil([&] { return tracker().reporter()->pendingHits() == 0; }));
    ASSERT_EQ(server.requests().size(), 100u);
    EXPECT_EQ(value(hit(99), "e_a"), "Action 99");
    EXPECT_EQ(server.pendingAnswers(), 0);
}

TEST_F(OutfitterAnalyticsTest, ActionsFromOtherThreadsAreReportedThroughTheMainThread) {
    tracker().setAnalyticsEnabled(true);
    bool returned = false;
    std::thread worker([&] {
        tracker().trackUserAction("From a worker");  // waits for the main thread
        returned = true;
    });
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(value(hit(0), "e_a"), "From a worker");
}

}  // namespace
