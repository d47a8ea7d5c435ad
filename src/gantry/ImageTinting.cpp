#include "gantry/ImageTinting.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

namespace gantry {

QImage tintedImage(const QImage& image, const QColor& color) {
    if (image.isNull()) return image;
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    // Keeps the destination's alpha and puts the colour everywhere it is.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    painter.end();
    return result;
}

QPixmap tintedSvgPixmap(const QString& svgPath, const QSize& size, const QColor& color,
                        qreal devicePixelRatio) {
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid() || size.isEmpty()) return {};
    QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    QPixmap pixmap = QPixmap::fromImage(tintedImage(image, color));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon tintedSvgIcon(const QString& svgPath, const QSize& size, const QColor& normal,
                    const QColor& disabled) {
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QIcon icon;
    icon.addPixmap(tintedSvgPixmap(svgPath, size, normal, ratio), QIcon::Normal);
    icon.addPixmap(tintedSvgPixmap(svgPath, size, disabled, ratio), QIcon::Disabled);
    return icon;
}

}  // namespace gantry
