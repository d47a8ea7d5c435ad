// The application controller: quitting, ending on a signal, a second
// launch, and the menus.
#include <QAction>
#include <QLocalServer>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QToolButton>
#include <QUrlQuery>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <csignal>

#include "desktop/DesktopFixture.h"
#include "desktop/MakerLinks.h"
#include "desktop/SingleInstance.h"
#include "desktop/TerminationSignals.h"
#include "keel/LocalizedString.h"
#include "outfitter/BuildSettings.h"
#include "outfitter/ReleaseController.h"

using namespace desktop;
using namespace desktop::testing;
using Reply = AppController::TerminateReply;

namespace {

class AppControllerTest : public DesktopTest {
protected:
    void launchWithPackage() {
        grantRoot();
        storeLocation(packageURL());
        launch();
        ASSERT_TRUE(waitForIdle());
    }
};

}  // namespace

TEST_F(AppControllerTest, QuittingIsRefusedWithTheAlertWhileTheManagerWorks) {
    launchWithPackage();
    main().backupButton()->click();
    ASSERT_TRUE(manager.isProcessing());

    EXPECT_EQ(app->applicationShouldTerminate(), Reply::terminateCancel);
    const auto shown = alerts->shown("QuitAppWhileProcessingAlert");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].modal);
    EXPECT_EQ(shown[0].request.buttons.size(), 1u);
    // Closing the window is a quit, refused the same way.
    main().window()->close();
    EXPECT_TRUE(exitCodes.empty());
    EXPECT_TRUE(main().window()->isVisible());
    EXPECT_EQ(alerts->shown("QuitAppWhileProcessingAlert").size(), 2u);

    ASSERT_TRUE(waitForIdle());
    app->terminate();
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    EXPECT_EQ(alerts->shown("QuitAppWhileProcessingAlert").size(), 2u) << "no alert when idle";
}

TEST_F(AppControllerTest, ASignalToEndTakesNoNewWorkAndQuitsOnceTheRunningProcessFinished) {
    launchWithPackage();
    main().backupButton()->click();
    ASSERT_TRUE(manager.isProcessing());

    app->terminateWhenIdle();
    EXPECT_TRUE(exitCodes.empty()) << "the back-up is still running";
    EXPECT_FALSE(context->acceptsNewWork());
    EXPECT_TRUE(alerts->shown().empty()) << "nobody is asked";

    ASSERT_TRUE(waitUntil([&] { return !exitCodes.empty(); }));
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    EXPECT_FALSE(manager.isProcessing());
    ASSERT_NE(manager.file(), nullptr);
    EXPECT_EQ(manager.file()->eventItems().size(), 1u) << "the back-up ran to its end";
    // Nothing new starts, whatever asks.
    EXPECT_FALSE(main().backupButton()->isEnabled());
    EXPECT_FALSE(context->submit(quillfen::BackupAction::syncDevice));
    main().syncDevice();
    EXPECT_FALSE(manager.isProcessing());
}

TEST_F(AppControllerTest, TerminationSignalsArriveOnTheEventLoop) {
    TerminationSignals terminationSignals;
    std::vector<int> received;
    QObject::connect(&terminationSignals, &TerminationSignals::received,
                     [&](int number) { received.push_back(number); });
    ::raise(SIGTERM);
    ::raise(SIGHUP);
    ASSERT_TRUE(waitUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGHUP}));
}

TEST_F(AppControllerTest, ASecondLaunchRaisesTheFirstAndEnds) {
    testsupport::TemporaryDirectory runtime;
    // A socket left by an instance that crashed: nobody listens on it.
    const fs::path stale = runtime / "quillfen-gui.socket";
    {
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", stale.c_str());
        ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(socket);
    }
    SingleInstance first("quillfen-gui", QString::fromStdString(runtime.path().string()));
    ASSERT_EQ(first.claim(), SingleInstance::Claim::first);

    launchWithPackage();
    main().window()->hide();
    int raised = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&] {
        ++raised;
        app->applicationOpenUntitledFile();
    });

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path().string()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(environment);
    second.setProgram(QUILLFEN_GUI_BINARY);
    second.start();
    ASSERT_TRUE(waitUntil([&] { return second.state() == QProcess::NotRunning; }))
        << second.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_EQ(raised, 1);
    EXPECT_TRUE(main().window()->isVisible());
}

TEST_F(AppControllerTest, TheMenusNameTheirCommandsAndOfferOnlyWhatThisBuildCanDo) {
    launchWithPackage();
    QMainWindow* window = main().window();
    for (const char* name :
         {"backupDevice", "installDevice", "syncDevice", "terminate", "showMainWindow",
          "toggleHelpPopovers", "tellAFriendByUsingMail", "showAboutWindow", "openPreferences"}) {
        const auto* action = window->menuBar()->findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_TRUE(action->isVisible()) << name;
    }
    // No link, no feedback service and no update source in this build:
    // those commands are not offered.
    for (const char* name : {"openCompanyWebsite", "openCompanyTwitter", "openSupportPage",
                             "provideFeedback", "showNewsletter", "checkForUpdatesMenuItem"}) {
        const auto* action = window->menuBar()->findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_FALSE(action->isVisible()) << name;
    }
    EXPECT_FALSE(main().feedbackButton()->isVisible());
    EXPECT_EQ(app->checkForUpdatesMenuItem(),
              window->menuBar()->findChild<QAction*>("checkForUpdatesMenuItem"));

    // The device commands follow the buttons' rules.
    auto* backup = window->menuBar()->findChild<QAction*>("backupDevice");
    EXPECT_TRUE(backup->isEnabled());
    backup->trigger();
    EXPECT_TRUE(manager.isProcessing());
    EXPECT_FALSE(backup->isEnabled());
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(backup->isEnabled());

    window->menuBar()->findChild<QAction*>("tellAFriendByUsingMail")->trigger();
    ASSERT_EQ(workspace->opened.size(), 1u);
    const QUrl mail = workspace->opened[0];
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_TRUE(mail.path().isEmpty()) << "the user chooses the recipient";
    EXPECT_EQ(QUrlQuery(mail).queryItemValue("subject", QUrl::FullyDecoded).toStdString(),
              keel::TL("TellAFriendMailSubject"));
}

TEST_F(AppControllerTest, TheReleaseKitTellsTheUserThroughTheApplicationsAlerts) {
    grantRoot();
    storeLocation(packageURL());
    // An update feed that does not answer, installed from a system package.
    outfitter::ReleaseEnvironment environment;
    environment.bundle.suFeedURL = "https://127.0.0.1:1/appcast.xml";
    environment.bundle.suPublicEDKey = "dGhpcyBpcyBub3QgdXNlZCBiZWZvcmUgYSBkb3dubG9hZA==";
    environment.program = "/usr/bin/quillfen-gui";
    environment.reachability = [](const QUrl&) { return true; };
    outfitter::ReleaseController kit(environment);
    {
        AppController controller(*context, kit, MakerLinks{});
        controller.applicationWillFinishLaunching();
        controller.applicationDidFinishLaunching();
        ASSERT_NE(kit.presenter(), nullptr);
        QAction* check = controller.checkForUpdatesMenuItem();
        ASSERT_NE(check, nullptr);
        EXPECT_TRUE(check->isVisible());

        check->trigger();
        ASSERT_TRUE(waitUntil([&] { return !alerts->shown("ReleaseKitAlert").empty(); }));
        const auto shown = alerts->shown("ReleaseKitAlert");
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].modal);
        EXPECT_EQ(shown[0].request.messageText, keel::TL("UpdateCheckFailedMessageText"));
    }
    EXPECT_EQ(kit.presenter(), nullptr) << "the alerts went with the application";
    ASSERT_TRUE(waitForIdle());
}

TEST(MakerLinksTest, OnlySecureAddressesBecomeLinks) {
    outfitter::BuildSettings settings;
    settings.websiteURL = "https://example.org/quillfen";
    settings.twitterURL = "http://example.org/plain";
    settings.supportURL = "javascript:alert(1)";
    const MakerLinks links = MakerLinks::fromBuildSettings(settings);
    EXPECT_EQ(links.website, QUrl("https://example.org/quillfen"));
    EXPECT_TRUE(links.twitter.isEmpty());
    EXPECT_TRUE(links.support.isEmpty());
    const QString body =
        QUrlQuery(links.tellAFriendMail()).queryItemValue("body", QUrl::FullyDecoded);
    EXPECT_TRUE(body.contains("https://example.org/quillfen")) << body.toStdString();
}

// A settings file that does not parse is moved aside when launch reads it,
// and the window says so once, with where it went.
TEST_F(AppControllerTest, AnUnreadableSettingsFileIsToldInAnAlertOnce) {
    auto& store = keel::UserSettings::standard();
    const auto file = store.fileURL();
    testsupport::writeFile(file, "{\"BackupFileURLLocation\": ");
    store.setFileURL(file);
    launch();
    ASSERT_TRUE(waitForIdle());
    const auto shown = alerts->shown("SettingsFileSetAsideAlert");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].request.informativeText.find(file.string() + ".unreadable"),
              std::string::npos)
        << shown[0].request.informativeText;
    EXPECT_NE(shown[0].request.informativeText.find("the package location"), std::string::npos);
    EXPECT_EQ(testsupport::readFile(fs::path(file.string() + ".unreadable")),
              "{\"BackupFileURLLocation\": ");
}
