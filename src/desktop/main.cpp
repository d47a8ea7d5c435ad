// quillfen-gui: the desktop application of Quillfen.
#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <memory>

#include "app/BackupManager.h"
#include "desktop/AppController.h"
#include "desktop/MainWindowController.h"
#include "desktop/MakerLinks.h"
#include "desktop/ShellContext.h"
#include "desktop/SingleInstance.h"
#include "desktop/StyleSheet.h"
#include "desktop/TerminationSignals.h"
#include "gantry/QtAlertPresenter.h"
#include "gantry/QtPanelPresenter.h"
#include "gantry/UserNotificationCenter.h"
#include "gantry/Workspace.h"
#include "keel/DispatchQueue.h"
#include "outfitter/BuildSettings.h"
#include "outfitter/MainQueueDriver.h"
#include "outfitter/ReleaseController.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillfen");
    QApplication::setApplicationDisplayName("Quillfen");
    QApplication::setDesktopFileName("quillfen-gui");
    // Closing the main window is a request to quit, which may be refused.
    QApplication::setQuitOnLastWindowClosed(false);
    desktop::StyleSheet::install();
    QApplication::setWindowIcon(desktop::StyleSheet::applicationIcon());

    desktop::SingleInstance instance("quillfen-gui");
    if (instance.claim() == desktop::SingleInstance::Claim::raisedRunningInstance) return 0;

    outfitter::MainQueueDriver driver;
    desktop::TerminationSignals terminationSignals;

    desktop::ShellContext context(
        quillfen::BackupManager::shared(), std::make_shared<gantry::QtAlertPresenter>(),
        std::make_shared<gantry::QtPanelPresenter>(), std::make_shared<gantry::Workspace>(),
        std::make_shared<gantry::UserNotificationCenter>("Quillfen", "quillfen-gui",
                                                         "quillfen-gui"));
    int result = 0;
    {
        desktop::AppController controller(
            context, outfitter::ReleaseController::shared(),
            desktop::MakerLinks::fromBuildSettings(outfitter::BuildSettings::current()));
        QObject::connect(&instance, &desktop::SingleInstance::raiseRequested, &controller,
                         [&controller] { controller.applicationOpenUntitledFile(); });
        QObject::connect(&terminationSignals, &desktop::TerminationSignals::received, &controller,
                         [&controller](int) { controller.terminateWhenIdle(); });
        // Launching inside the event loop: a question the release kit asks
        // at launch then waits in a loop that a termination signal ends.
        QTimer::singleShot(0, &controller, [&controller] {
            controller.applicationWillFinishLaunching();
            controller.applicationDidFinishLaunching();
        });
        result = QApplication::exec();
    }
    // What the core still has to announce is delivered before the driver goes.
    keel::DispatchQueue::drainMain();
    return result;
}
