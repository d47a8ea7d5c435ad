// Drawing conveniences for custom-painted views: rounded-rectangle paths,
// fills and strokes that stay crisp (a stroke is drawn inside the rectangle,
// so a one-pixel line does not straddle two pixel rows).
//
// Threads: on the thread that owns the painter.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

namespace gantry {

QPainterPath roundedRectPath(const QRectF& rect, qreal radius);

void fillRoundedRect(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color);

// Strokes the outline of `rect` with a line of `width` lying inside it.
void strokeRoundedRect(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color,
                       qreal width = 1.0);

}  // namespace gantry
