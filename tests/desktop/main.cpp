// The desktop tests' program: a Qt application on the offscreen platform
// whose event loop also drives keel's main queue, as in quillfen-gui, with
// the application's colours and icons, and no fading (state changes are
// immediate, so tests need not wait for animations).
#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>

#include "desktop/StyleSheet.h"
#include "gantry/ViewConveniences.h"
#include "outfitter/MainQueueDriver.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never the session bus of whoever runs the tests; a private one only
    // when the test runs under dbus-run-session for that purpose.
    if (qEnvironmentVariableIsEmpty("QUILLFEN_PRIVATE_SESSION_BUS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillfen");
    QApplication::setApplicationDisplayName("Quillfen");
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    desktop::StyleSheet::install();
    gantry::setAnimationDurationScale(0);
    outfitter::MainQueueDriver driver;
    const int result = RUN_ALL_TESTS();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
