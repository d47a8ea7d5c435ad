// The release kit's test program: a Qt application whose event loop also
// drives keel's main queue, as in the desktop program.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "outfitter/MainQueueDriver.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    outfitter::MainQueueDriver driver;
    const int result = RUN_ALL_TESTS();
    // Objects left to the event loop for deletion go now, not with the process.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
