#include "gantry/Appearance.h"

#include <QApplication>
#include <QEvent>

namespace gantry {

Appearance appearance(const QPalette& palette) {
    const int text = palette.color(QPalette::Active, QPalette::WindowText).lightness();
    const int window = palette.color(QPalette::Active, QPalette::Window).lightness();
    return text > window ? Appearance::dark : Appearance::light;
}

Appearance currentAppearance() {
    return appearance(QApplication::palette());
}

AppearanceObserver::AppearanceObserver(QObject* parent)
    : QObject(parent), appearance_(currentAppearance()) {
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(this);
}

bool AppearanceObserver::eventFilter(QObject* watched, QEvent* event) {
    if (watched == QCoreApplication::instance() &&
        event->type() == QEvent::ApplicationPaletteChange) {
        const Appearance now = currentAppearance();
        const bool switched = now != appearance_;
        appearance_ = now;
        emit paletteChanged();
        if (switched) emit appearanceChanged(now);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace gantry
