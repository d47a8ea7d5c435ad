#include "desktop/ListCommandsMenu.h"

#include <QAction>
#include <QMenu>

#include "desktop/ContentViewController.h"
#include "desktop/MainWindowController.h"
#include "desktop/ShellCommon.h"
#include "keel/NoteSubscriber.h"

namespace desktop {

ListCommandsMenu::ListCommandsMenu(MainWindowController& mainWindowController, QMenu* menu)
    : QObject(menu), mainWindowController_(mainWindowController) {
    for (const ListCommandInfo& info : listCommandInfos()) {
        if (info.command == ListCommand::deleteSelectedItems ||
            info.command == ListCommand::showAppsInFinder ||
            info.command == ListCommand::addCustomFiles)
            menu->addSeparator();
        QString title = localized(info.titleKey);
        if (!info.shortcut.isEmpty())
            title += '\t' + info.shortcut.toString(QKeySequence::NativeText);
        QAction* action = menu->addAction(title);
        action->setObjectName(info.objectName);
        action->setEnabled(false);
        const ListCommand command = info.command;
        connect(action, &QAction::triggered, this, [this, command] {
            if (!target_) return;
            if (QAction* own = target_->action(command); own && own->isEnabled()) own->trigger();
        });
        items_.emplace_back(command, action);
    }
    contentSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    contentSubscriber_->subscribe({MainWindowController::didChangeContentNotification},
                                  &mainWindowController_,
                                  [this](const keel::Notification&) { retarget(); });
    retarget();
}

ListCommandsMenu::~ListCommandsMenu() = default;

QAction* ListCommandsMenu::action(ListCommand command) const {
    for (const auto& [listed, action] : items_)
        if (listed == command) return action;
    return nullptr;
}

void ListCommandsMenu::retarget() {
    for (const auto& connection : targetConnections_)
        disconnect(connection);
    targetConnections_.clear();
    target_ = dynamic_cast<ListCommandTarget*>(mainWindowController_.displayedViewController());
    if (target_) {
        for (const auto& [command, item] : items_)
            if (QAction* own = target_->action(command))
                targetConnections_.push_back(
                    connect(own, &QAction::changed, this, [this] { update(); }));
    }
    update();
}

void ListCommandsMenu::update() {
    for (const auto& [command, item] : items_) {
        QAction* own = target_ ? target_->action(command) : nullptr;
        if (item) item->setEnabled(own && own->isEnabled());
    }
}

}  // namespace desktop
