// The notification after an operation the user started, through a fake
// notification service on a private session bus. The test program runs
// these under dbus-run-session (see CMakeLists.txt); elsewhere they skip.
#include <QToolButton>

#include "desktop/DesktopFixture.h"
#include "desktop/FakeNotificationService.h"
#include "keel/LocalizedString.h"

using namespace desktop;
using namespace desktop::testing;

namespace {

class NotificationsTest : public DesktopTest {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QUILLFEN_PRIVATE_SESSION_BUS"))
            GTEST_SKIP() << "needs a private session bus (dbus-run-session)";
        ASSERT_TRUE(service.isRegistered());
    }
    bool delivered() {
        return waitUntil([&] { return notifications->pendingDeliveries() == 0; });
    }
    FakeNotificationService service;
};

}  // namespace

TEST_F(NotificationsTest, ASynchronizeNotifiesExactlyOnceAndAReadDoesNot) {
    keel::UserSettings::standard().set(quillfen::BackupManager::enableNoteAfterProcessingKey, true);
    grantRoot();
    storeLocation(packageURL());
    launch();
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(delivered());
    EXPECT_TRUE(service.received().empty()) << "the read at launch notifies nobody";

    main().synchronizeButton()->click();
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(waitUntil([&] { return !service.received().empty(); }));
    ASSERT_TRUE(delivered());

    context->submit(quillfen::BackupAction::readBackupFile);
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(delivered());

    ASSERT_EQ(service.received().size(), 1u);
    const auto& note = service.received()[0];
    EXPECT_EQ(note.summary.toStdString(), keel::TL("AppDidEndProcessUserNoteTitle"));
    EXPECT_EQ(note.applicationName, "Quillfen");
    EXPECT_EQ(note.hints.value("desktop-entry").toString(), "quillfen-gui");
}

TEST_F(NotificationsTest, NoNotificationWhenTheSettingIsOff) {
    grantRoot();
    storeLocation(packageURL());
    launch();
    ASSERT_TRUE(waitForIdle());
    main().synchronizeButton()->click();
    ASSERT_TRUE(waitForIdle());
    ASSERT_TRUE(delivered());
    EXPECT_TRUE(service.received().empty());
}
