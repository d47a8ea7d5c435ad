// ShellContext: what the application's windows share: the backup manager
// they hand their work to, the presenters of alerts and file panels, the
// file manager and the desktop's notifications, and whether the application
// still takes new work.
//
// Every request for work goes through `submit`, so that once the application
// is ending (a termination signal, the end of the session) no new process
// starts, while the one running finishes.
//
// The program makes one from the real facilities; tests make one with
// scripted presenters, a manager of their own and no waiting.
//
// Threads: main thread only.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "app/BackupAction.h"
#include "app/BackupProcess.h"

namespace quillfen {
class BackupManager;
}
namespace gantry {
class AlertPresenter;
class PanelPresenter;
class UserNotificationCenter;
class Workspace;
}  // namespace gantry

namespace desktop {

class ShellContext {
public:
    ShellContext(quillfen::BackupManager& manager, std::shared_ptr<gantry::AlertPresenter> alerts,
                 std::shared_ptr<gantry::PanelPresenter> panels,
                 std::shared_ptr<gantry::Workspace> workspace,
                 std::shared_ptr<gantry::UserNotificationCenter> notifications);
    ~ShellContext();
    ShellContext(const ShellContext&) = delete;
    ShellContext& operator=(const ShellContext&) = delete;

    quillfen::BackupManager& manager() const { return manager_; }
    gantry::AlertPresenter& alerts() const { return *alerts_; }
    gantry::PanelPresenter& panels() const { return *panels_; }
    gantry::Workspace& workspace() const { return *workspace_; }
    gantry::UserNotificationCenter& notifications() const { return *notifications_; }

    // False once the application is ending.
    bool acceptsNewWork() const { return acceptsNewWork_; }
    void stopAcceptingNewWork() { acceptsNewWork_ = false; }

    // Hands `process` to the manager unless the application is ending (then
    // it is dropped, as the manager drops a request while it works). True
    // when the manager was asked.
    bool submit(std::shared_ptr<quillfen::BackupProcess> process);
    // The same for a process with the manager's own block for `action`.
    bool submit(quillfen::BackupAction action);

    // How long after the main window becomes the active one it checks for a
    // first run: half a second, so that the sheet does not come with the
    // window's own appearance. Tests use zero.
    std::chrono::milliseconds firstRunDelay() const { return firstRunDelay_; }
    void setFirstRunDelay(std::chrono::milliseconds delay) { firstRunDelay_ = delay; }

    // Ends the application's event loop with `code`; QCoreApplication::exit
    // unless replaced (tests record it instead).
    void exit(int code) const;
    void setExit(std::function<void(int)> exit) { exit_ = std::move(exit); }

private:
    quillfen::BackupManager& manager_;
    std::shared_ptr<gantry::AlertPresenter> alerts_;
    std::shared_ptr<gantry::PanelPresenter> panels_;
    std::shared_ptr<gantry::Workspace> workspace_;
    std::shared_ptr<gantry::UserNotificationCenter> notifications_;
    bool acceptsNewWork_ = true;
    std::chrono::milliseconds firstRunDelay_{500};
    std::function<void(int)> exit_;
};

}  // namespace desktop
