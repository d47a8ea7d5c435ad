#include "desktop/SidebarButton.h"

#include <QPainter>

#include "desktop/StyleSheet.h"
#include "gantry/Drawing.h"
#include "gantry/ImageTinting.h"

namespace desktop {

namespace {
constexpr int iconSide = 22;
}

SidebarButton::SidebarButton(QString iconName, int tag, QWidget* parent)
    : QAbstractButton(parent), iconName_(std::move(iconName)), tag_(tag) {
    setCheckable(true);
    setAutoExclusive(false);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString SidebarButton::tintColorName() const {
    if (isDown())
        return isChecked() ? StyleSheet::focusButtonPressedColor : StyleSheet::thirdBackgroundColor;
    return isChecked() ? StyleSheet::focusButtonDefaultColor : StyleSheet::secondBackgroundColor;
}

void SidebarButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SidebarButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SidebarButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF frame = QRectF(rect()).adjusted(4, 2, -4, -2);
    if (isChecked()) {
        gantry::fillRoundedRect(painter, frame, 8,
                                StyleSheet::color(StyleSheet::sidebarSelectionColor));
    } else if (hovered_ && isEnabled()) {
        gantry::fillRoundedRect(painter, frame, 8,
                                StyleSheet::color(StyleSheet::sidebarBackgroundColor));
    }
    if (hasFocus()) {
        gantry::strokeRoundedRect(painter, frame, 8,
                                  StyleSheet::color(StyleSheet::focusButtonDefaultColor), 1.5);
    }
    const QColor tint = isEnabled() ? StyleSheet::color(tintColorName())
                                    : StyleSheet::color(StyleSheet::disabledIconColor);
    const QPixmap image = gantry::tintedSvgPixmap(
        StyleSheet::iconPath(iconName_), QSize(iconSide, iconSide), tint, devicePixelRatioF());
    const QPointF origin((width() - iconSide) / 2.0, (height() - iconSide) / 2.0);
    painter.drawPixmap(origin, image);
}

}  // namespace desktop
