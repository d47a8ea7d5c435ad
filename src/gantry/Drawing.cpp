#include "gantry/Drawing.h"

#include <algorithm>

namespace gantry {

QPainterPath roundedRectPath(const QRectF& rect, qreal radius) {
    QPainterPath path;
    const qreal r = std::clamp(radius, 0.0, std::min(rect.width(), rect.height()) / 2);
    path.addRoundedRect(rect, r, r);
    return path;
}

void fillRoundedRect(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(roundedRectPath(rect, radius));
    painter.restore();
}

void strokeRoundedRect(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color,
                       qreal width) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, width));
    painter.setBrush(Qt::NoBrush);
    const qreal inset = width / 2;
    painter.drawPath(roundedRectPath(rect.adjusted(inset, inset, -inset, -inset),
                                     std::max<qreal>(0, radius - inset)));
    painter.restore();
}

}  // namespace gantry
