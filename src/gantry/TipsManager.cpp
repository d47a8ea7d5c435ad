#include "gantry/TipsManager.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>

#include "keel/UserSettings.h"

namespace gantry {

namespace {

keel::EvaluedUserSettingKey<bool> shownKey(const QString& identifier) {
    return {"TipsShown" + identifier.toStdString(), false};
}

}  // namespace

TipsManager::TipsManager(QString identifier, QObject* parent)
    : QObject(parent), identifier_(std::move(identifier)) {}

TipsManager::~TipsManager() {
    closeTips();
}

void TipsManager::setTips(std::vector<Tip> tips) {
    closeTips();
    tips_ = std::move(tips);
}

bool TipsManager::tipsAreShown() const {
    for (const auto& popover : popovers_)
        if (popover && popover->isVisible()) return true;
    return false;
}

std::vector<Popover*> TipsManager::shownPopovers() const {
    std::vector<Popover*> shown;
    for (const auto& popover : popovers_)
        if (popover && popover->isVisible()) shown.push_back(popover);
    return shown;
}

void TipsManager::toggleTips() {
    if (tipsAreShown())
        closeTips();
    else
        showTips();
}

void TipsManager::showTips() {
    closeTips();
    for (const Tip& tip : tips_) {
        if (!tip.anchor || !tip.anchor->isVisible()) continue;
        QWidget* window = tip.anchor->window();
        auto* label = new QLabel(tip.text);
        label->setWordWrap(true);
        label->setMaximumWidth(240);
        label->setObjectName("TipLabel");
        auto* popover = new Popover(label, window, Popover::Style::inset);
        popover->setObjectName("TipPopover");
        popover->showAt(tip.anchor, tip.edge);
        popovers_.push_back(popover);
        window_ = window;
    }
    if (!popovers_.empty()) qApp->installEventFilter(this);
}

void TipsManager::closeTips() {
    if (qApp) qApp->removeEventFilter(this);
    for (auto& popover : popovers_) {
        if (!popover) continue;
        popover->hide();
        popover->deleteLater();
    }
    popovers_.clear();
}

bool TipsManager::showTipsIfNeeded() {
    auto& settings = keel::UserSettings::standard();
    if (settings.get(shownKey(identifier_))) return false;
    showTips();
    if (!tipsAreShown()) return false;
    try {
        settings.set(shownKey(identifier_), true);
    } catch (const std::exception&) {
        // Not kept: the tips come once more at the next start.
    }
    return true;
}

bool TipsManager::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* widget = qobject_cast<QWidget*>(watched);
            const bool onToggler =
                toggler_ && widget && (widget == toggler_ || toggler_->isAncestorOf(widget));
            if (!onToggler) closeTips();
            break;
        }
        case QEvent::KeyPress:
            closeTips();
            break;
        case QEvent::Resize:
            if (watched == window_) closeTips();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace gantry
