// NamedColors: the application's colours by name ("FocusButtonDefaultColor",
// "BackgroundSeparatorColor", ...), each with a value for the light and one
// for the dark appearance. The application defines its set once at start;
// views ask for a colour by name when they paint, so a switch of appearance
// needs nothing but a repaint.
//
// Threads: main thread only.
#pragma once

#include <QColor>
#include <QString>

#include "gantry/Appearance.h"

namespace gantry {

class NamedColors {
public:
    NamedColors() = delete;

    // Defines or redefines the colour `name`.
    static void define(const QString& name, const QColor& light, const QColor& dark);
    static bool contains(const QString& name);

    // The colour for `appearance`; an invalid colour (which paints nothing)
    // for a name never defined.
    static QColor color(const QString& name, Appearance appearance);
    // The colour for the application's current appearance.
    static QColor color(const QString& name);
};

}  // namespace gantry
