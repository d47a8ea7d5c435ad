#include "desktop/MessageView.h"

#include <QPainter>

#include "desktop/StyleSheet.h"

namespace desktop {

MessageView::MessageView(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(false);
}

void MessageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.fillRect(rect(), StyleSheet::color(StyleSheet::messageBackgroundColor));
}

}  // namespace desktop
