// Tinted images: a monochrome picture (an SVG icon drawn in any one colour)
// painted in a colour of the caller's choice, keeping its shape and its
// transparency. Icons follow the appearance this way: one drawing, tinted
// with a named colour at paint time.
//
// Threads: images may be tinted on any thread; icons and pixmaps on the main
// thread only.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace gantry {

// `image` with every pixel's colour replaced by `color`, its alpha scaled by
// that of `color`. A null image stays null.
QImage tintedImage(const QImage& image, const QColor& color);

// The SVG file (or resource, ":/...") rendered at `size` logical pixels for
// `devicePixelRatio`, tinted with `color`. A null pixmap when the file does
// not hold a picture.
QPixmap tintedSvgPixmap(const QString& svgPath, const QSize& size, const QColor& color,
                        qreal devicePixelRatio = 1.0);

// An icon of the SVG tinted with `normal` and, for the disabled state, with
// `disabled`, rendered at `size` for the main screen's pixel ratio.
QIcon tintedSvgIcon(const QString& svgPath, const QSize& size, const QColor& normal,
                    const QColor& disabled);

}  // namespace gantry
