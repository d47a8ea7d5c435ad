// The release kit in the application: its commands, its windows and its
// invitation, and what a build without the maker's addresses does (nothing).
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QToolButton>

#include "desktop/DesktopFixture.h"
#include "outfitter/FeedbackReporter.h"
#include "outfitter/ReleaseController.h"
#include "outfitter/ReleaseSettings.h"

using namespace desktop;
using namespace desktop::testing;

namespace {

// Counts the requests the release kit would make.
class CountingNetwork : public QNetworkAccessManager {
public:
    int requests = 0;

protected:
    QNetworkReply* createRequest(Operation operation, const QNetworkRequest& request,
                                 QIODevice* data) override {
        ++requests;
        return QNetworkAccessManager::createRequest(operation, request, data);
    }
};

class ReleaseKitWindowsTest : public DesktopTest {
protected:
    ReleaseKitWindowsTest() {
        grantRoot();
        storeLocation(packageURL());
        environment.network = &network;
        environment.now = [this] { return clock; };
        environment.reachability = [](const QUrl&) { return true; };
    }
    ~ReleaseKitWindowsTest() override {
        waitForIdle();
        controller.reset();
        kit.reset();
    }
    // Launches with the build's own configuration, or with `configuration`.
    void launchKit(std::optional<outfitter::ReleaseConfiguration> configuration = std::nullopt) {
        kit = std::make_unique<outfitter::ReleaseController>(environment);
        controller = std::make_unique<AppController>(*context, *kit, MakerLinks{});
        controller->applicationWillFinishLaunching();
        if (configuration) kit->setConfiguration(configuration);
        controller->applicationDidFinishLaunching();
    }
    QAction* menuItem(const char* name) const {
        return controller->mainWindowController().window()->menuBar()->findChild<QAction*>(name);
    }
    static QWidget* shownWindow(const char* name) {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == name && window->isVisible()) return window;
        return nullptr;
    }
    static void setAskCount(std::int64_t count) {
        keel::UserSettings::standard().set(outfitter::ReleaseSettings::askStayInTouchCount, count);
    }
    std::int64_t askCount() const {
        return keel::UserSettings::standard().get(outfitter::ReleaseSettings::askStayInTouchCount);
    }

    CountingNetwork network;
    keel::Date clock = keel::Date::now();
    outfitter::ReleaseEnvironment environment;
    std::unique_ptr<outfitter::ReleaseController> kit;
    std::unique_ptr<AppController> controller;
};

TEST_F(ReleaseKitWindowsTest, WithAFeedbackServiceTheButtonAndTheMenuOpenTheKitsWindows) {
    outfitter::ReleaseConfiguration configuration;
    configuration.feedbackServer = "https://127.0.0.1:1/api/1.0/notewell.php";
    configuration.feedbackKey = "KEY";
    launchKit(configuration);
    ASSERT_TRUE(waitForIdle());
    QMainWindow* window = controller->mainWindowController().window();
    auto* button = window->findChild<QToolButton*>("feedbackButton");
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isVisible());
    EXPECT_TRUE(menuItem("provideFeedback")->isVisible());
    EXPECT_TRUE(menuItem("showNewsletter")->isVisible());

    button->click();
    QWidget* feedback = shownWindow("feedbackWindow");
    ASSERT_NE(feedback, nullptr);
    EXPECT_TRUE(kit->feedbackReporter().isReporting());
    // Quitting with the window open asks; the first answer keeps running.
    EXPECT_EQ(controller->applicationShouldTerminate(),
              AppController::TerminateReply::terminateCancel);
    EXPECT_EQ(alerts->shown("ReleaseKitQuestion").size(), 1u);
    feedback->close();
    EXPECT_FALSE(kit->feedbackReporter().isReporting());

    menuItem("showNewsletter")->trigger();
    QWidget* newsletter = shownWindow("newsletterWindow");
    ASSERT_NE(newsletter, nullptr);
    newsletter->close();
    EXPECT_EQ(network.requests, 0) << "opening windows sends nothing";
}

TEST_F(ReleaseKitWindowsTest, TheInvitationWaitsWhileADialogStandsOverTheWindow) {
    outfitter::ReleaseConfiguration configuration;
    configuration.feedbackServer = "https://127.0.0.1:1/api/1.0/notewell.php";
    configuration.feedbackKey = "KEY";
    launchKit(configuration);
    ASSERT_TRUE(waitForIdle());
    setAskCount(5);

    QDialog sheet(controller->mainWindowController().window());
    sheet.setWindowModality(Qt::WindowModal);
    sheet.open();
    kit->applicationDidBecomeActive();
    EXPECT_EQ(shownWindow("newsletterWindow"), nullptr);
    EXPECT_EQ(askCount(), 5) << "an activation held back does not count";
    sheet.close();

    kit->applicationDidBecomeActive();
    QWidget* newsletter = shownWindow("newsletterWindow");
    ASSERT_NE(newsletter, nullptr);
    EXPECT_TRUE(newsletter->findChild<QWidget*>("dontAskAgainButton")->isVisible());
    newsletter->close();
}

TEST_F(ReleaseKitWindowsTest, AWholeSessionOfABuildWithoutAddressesInvitesNobodyAndSendsNothing) {
    setAskCount(10);
    launchKit();
    ASSERT_TRUE(waitForIdle());
    EXPECT_FALSE(controller->mainWindowController().feedbackButton()->isVisible());
    for (int day = 0; day < 5; ++day) {
        kit->applicationDidBecomeActive();
        kit->applicationWillResignActive();
        clock = keel::Date{clock.timeIntervalSinceReferenceDate + 30 * 86400.0};
    }
    menuItem("backupDevice")->trigger();
    ASSERT_TRUE(waitForIdle());
    controller->provideFeedback();
    controller->showNewsletter();
    controller->terminate();
    QCoreApplication::processEvents();

    EXPECT_EQ(shownWindow("newsletterWindow"), nullptr);
    EXPECT_EQ(shownWindow("feedbackWindow"), nullptr);
    EXPECT_EQ(network.requests, 0);
    EXPECT_EQ(exitCodes, std::vector<int>{0});
}

}  // namespace
