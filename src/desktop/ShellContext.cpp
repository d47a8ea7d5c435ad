#include "desktop/ShellContext.h"

#include <QCoreApplication>

#include "app/BackupManager.h"
#include "gantry/AlertPresenter.h"
#include "gantry/PanelPresenter.h"
#include "gantry/UserNotificationCenter.h"
#include "gantry/Workspace.h"

namespace desktop {

ShellContext::ShellContext(quillfen::BackupManager& manager,
                           std::shared_ptr<gantry::AlertPresenter> alerts,
                           std::shared_ptr<gantry::PanelPresenter> panels,
                           std::shared_ptr<gantry::Workspace> workspace,
                           std::shared_ptr<gantry::UserNotificationCenter> notifications)
    : manager_(manager),
      alerts_(std::move(alerts)),
      panels_(std::move(panels)),
      workspace_(std::move(workspace)),
      notifications_(std::move(notifications)) {}

ShellContext::~ShellContext() = default;

bool ShellContext::submit(std::shared_ptr<quillfen::BackupProcess> process) {
    if (!acceptsNewWork_ || !process) return false;
    manager_.process(std::move(process));
    return true;
}

bool ShellContext::submit(quillfen::BackupAction action) {
    if (!acceptsNewWork_) return false;
    return submit(manager_.makeProcess(action));
}

void ShellContext::exit(int code) const {
    if (exit_)
        exit_(code);
    else
        QCoreApplication::exit(code);
}

}  // namespace desktop
