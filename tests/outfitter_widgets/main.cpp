// The kit windows' test program: a Qt application on the offscreen platform
// whose event loop also drives keel's main queue, as in the desktop program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>

#include "outfitter/MainQueueDriver.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillfen");
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    outfitter::MainQueueDriver driver;
    const int result = RUN_ALL_TESTS();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
