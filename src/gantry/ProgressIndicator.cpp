#include "gantry/ProgressIndicator.h"

#include <QPainter>
#include <QTimerEvent>
#include <algorithm>

namespace gantry {

namespace {
constexpr int spokes = 12;
constexpr int stepMilliseconds = 80;
}  // namespace

ProgressIndicator::ProgressIndicator(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ProgressIndicator::setAnimation(bool animating) {
    if (animating_ == animating) return;
    animating_ = animating;
    updateTimer();
    update();
}

void ProgressIndicator::updateTimer() {
    if (animating_ && isVisible())
        timer_.start(stepMilliseconds, this);
    else
        timer_.stop();
}

void ProgressIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateTimer();
}

void ProgressIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updateTimer();
}

void ProgressIndicator::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) return QWidget::timerEvent(event);
    step_ = (step_ + 1) % spokes;
    update();
}

void ProgressIndicator::paintEvent(QPaintEvent*) {
    if (!animating_) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    const qreal outer = side / 2 - 1;
    const qreal inner = outer * 0.45;
    const qreal thickness = std::max<qreal>(1.5, side / 12);
    painter.translate(width() / 2.0, height() / 2.0);
    QColor color = palette().color(QPalette::WindowText);
    for (int i = 0; i < spokes; ++i) {
        // The spoke at the current step is the darkest; the others fade behind it.
        const int age = (step_ - i + spokes) % spokes;
        color.setAlphaF(1.0 - 0.75 * age / (spokes - 1));
        painter.setPen(QPen(color, thickness, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.rotate(360.0 * i / spokes);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + thickness / 2));
        painter.restore();
    }
}

}  // namespace gantry
