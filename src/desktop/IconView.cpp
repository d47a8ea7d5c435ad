#include "desktop/IconView.h"

#include <QPainter>

#include "desktop/StyleSheet.h"
#include "gantry/ImageTinting.h"

namespace desktop {

IconView::IconView(QString iconName, QString colorName, int side, QWidget* parent)
    : QWidget(parent),
      iconName_(std::move(iconName)),
      colorName_(std::move(colorName)),
      side_(side) {
    setFixedSize(side_, side_);
}

void IconView::setIconName(const QString& iconName) {
    iconName_ = iconName;
    update();
}

void IconView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0,
                       gantry::tintedSvgPixmap(StyleSheet::iconPath(iconName_), size(),
                                               StyleSheet::color(colorName_), devicePixelRatioF()));
}

}  // namespace desktop
