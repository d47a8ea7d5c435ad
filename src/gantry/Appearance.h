// Appearance: whether the desktop shows light or dark windows. The desktop's
// palette decides: dark when the window text is lighter than the window.
// `AppearanceObserver` tells when the application's palette switches from
// one to the other (a theme change, a palette set by the program).
//
// Threads: main thread only (the GUI thread).
#pragma once

#include <QObject>
#include <QPalette>

namespace gantry {

enum class Appearance { light, dark };

Appearance appearance(const QPalette& palette);
// The appearance of the application's palette.
Appearance currentAppearance();

class AppearanceObserver : public QObject {
    Q_OBJECT

public:
    // Watches the application object; create it once a QApplication exists.
    explicit AppearanceObserver(QObject* parent = nullptr);

    Appearance appearance() const { return appearance_; }

signals:
    // The palette changed and with it the appearance.
    void appearanceChanged(gantry::Appearance appearance);
    // The application's palette changed, whether or not the appearance did:
    // named colours keep their appearance but views may want to repaint.
    void paletteChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Appearance appearance_;
};

}  // namespace gantry
