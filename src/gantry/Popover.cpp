#include "gantry/Popover.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "gantry/Drawing.h"

namespace gantry {

namespace {

constexpr int arrowDepth = 8;
constexpr int arrowHalfWidth = 9;
constexpr int cornerRadius = 8;
constexpr int padding = 10;
constexpr int gap = 2;

PopoverEdge opposite(PopoverEdge edge) {
    switch (edge) {
        case PopoverEdge::top:
            return PopoverEdge::bottom;
        case PopoverEdge::bottom:
            return PopoverEdge::top;
        case PopoverEdge::left:
            return PopoverEdge::right;
        case PopoverEdge::right:
            return PopoverEdge::left;
    }
    return PopoverEdge::bottom;
}

// The frame for a popover of `size` on `edge` of `anchor`, arrow included.
QRect frameFor(const QRect& anchor, PopoverEdge edge, const QSize& size) {
    QRect frame(QPoint(), size);
    switch (edge) {
        case PopoverEdge::bottom:
            frame.moveTopLeft({anchor.center().x() - size.width() / 2, anchor.bottom() + gap});
            break;
        case PopoverEdge::top:
            frame.moveBottomLeft({anchor.center().x() - size.width() / 2, anchor.top() - gap});
            break;
        case PopoverEdge::left:
            frame.moveTopRight({anchor.left() - gap, anchor.center().y() - size.height() / 2});
            break;
        case PopoverEdge::right:
            frame.moveTopLeft({anchor.right() + gap, anchor.center().y() - size.height() / 2});
            break;
    }
    return frame;
}

}  // namespace

Popover::Popover(QWidget* content, QWidget* parent, Style style)
    : QFrame(parent, style == Style::transient
                         ? Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint
                         : Qt::Widget),
      style_(style),
      content_(content) {
    setAttribute(Qt::WA_TranslucentBackground);
    if (style_ == Style::inset) hide();
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(content_);
    setMarginsFor(edge_);
}

void Popover::setMarginsFor(PopoverEdge edge) {
    QMargins margins(padding, padding, padding, padding);
    switch (edge) {
        case PopoverEdge::bottom:
            margins.setTop(padding + arrowDepth);
            break;
        case PopoverEdge::top:
            margins.setBottom(padding + arrowDepth);
            break;
        case PopoverEdge::left:
            margins.setRight(padding + arrowDepth);
            break;
        case PopoverEdge::right:
            margins.setLeft(padding + arrowDepth);
            break;
    }
    layout()->setContentsMargins(margins);
}

void Popover::showAt(QWidget* anchor, PopoverEdge edge) {
    if (!anchor) return;
    anchor_ = anchor;
    if (style_ == Style::inset) {
        QWidget* parent = parentWidget();
        if (!parent) return;
        const QRect anchorRect(anchor->mapTo(parent, QPoint(0, 0)), anchor->size());
        placeNextTo(anchorRect, parent->rect(), edge);
    } else {
        const QRect anchorRect(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
        const QScreen* screen = QGuiApplication::screenAt(anchorRect.center());
        if (!screen) screen = QGuiApplication::primaryScreen();
        placeNextTo(anchorRect, screen ? screen->availableGeometry() : QRect(), edge);
    }
    show();
    raise();
    update();
}

void Popover::placeNextTo(const QRect& anchorRect, const QRect& available, PopoverEdge edge) {
    setMarginsFor(edge);
    QSize size = sizeHint().expandedTo(minimumSizeHint());
    QRect frame = frameFor(anchorRect, edge, size);
    if (available.isValid() && !available.contains(frame)) {
        // No room on this side: try the other one, keeping whichever fits.
        const PopoverEdge other = opposite(edge);
        setMarginsFor(other);
        const QSize otherSize = sizeHint().expandedTo(minimumSizeHint());
        const QRect otherFrame = frameFor(anchorRect, other, otherSize);
        if (available.contains(otherFrame)) {
            edge = other;
            size = otherSize;
            frame = otherFrame;
        } else {
            setMarginsFor(edge);
        }
    }
    edge_ = edge;
    if (available.isValid()) {
        // Slide along the edge to stay on the screen.
        frame.moveLeft(std::clamp(frame.left(), available.left(),
                                  std::max(available.left(), available.right() - frame.width())));
        frame.moveTop(std::clamp(frame.top(), available.top(),
                                 std::max(available.top(), available.bottom() - frame.height())));
    }
    setGeometry(frame);

    const QPoint center = anchorRect.center() - frame.topLeft();
    const int minX = cornerRadius + arrowHalfWidth, maxX = frame.width() - minX;
    const int minY = cornerRadius + arrowHalfWidth, maxY = frame.height() - minY;
    switch (edge) {
        case PopoverEdge::bottom:
            arrowTip_ = {std::clamp(center.x(), minX, std::max(minX, maxX)), 0};
            break;
        case PopoverEdge::top:
            arrowTip_ = {std::clamp(center.x(), minX, std::max(minX, maxX)), frame.height()};
            break;
        case PopoverEdge::left:
            arrowTip_ = {frame.width(), std::clamp(center.y(), minY, std::max(minY, maxY))};
            break;
        case PopoverEdge::right:
            arrowTip_ = {0, std::clamp(center.y(), minY, std::max(minY, maxY))};
            break;
    }
}

void Popover::toggleAtBottom(QWidget* anchor) {
    if (isShown())
        close();
    else
        showAt(anchor, PopoverEdge::bottom);
}

void Popover::paintEvent(QPaintEvent*) {
    QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPolygonF arrow;
    const QPointF tip(arrowTip_);
    switch (edge_) {
        case PopoverEdge::bottom:
            body.setTop(body.top() + arrowDepth);
            arrow << tip << QPointF(tip.x() - arrowHalfWidth, body.top() + 1)
                  << QPointF(tip.x() + arrowHalfWidth, body.top() + 1);
            break;
        case PopoverEdge::top:
            body.setBottom(body.bottom() - arrowDepth);
            arrow << tip << QPointF(tip.x() - arrowHalfWidth, body.bottom() - 1)
                  << QPointF(tip.x() + arrowHalfWidth, body.bottom() - 1);
            break;
        case PopoverEdge::left:
            body.setRight(body.right() - arrowDepth);
            arrow << tip << QPointF(body.right() - 1, tip.y() - arrowHalfWidth)
                  << QPointF(body.right() - 1, tip.y() + arrowHalfWidth);
            break;
        case PopoverEdge::right:
            body.setLeft(body.left() + arrowDepth);
            arrow << tip << QPointF(body.left() + 1, tip.y() - arrowHalfWidth)
                  << QPointF(body.left() + 1, tip.y() + arrowHalfWidth);
            break;
    }
    QPainterPath path = roundedRectPath(body, cornerRadius);
    QPainterPath arrowPath;
    arrowPath.addPolygon(arrow);
    arrowPath.closeSubpath();
    path = path.united(arrowPath);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.22);
    painter.setPen(QPen(border, 1));
    painter.setBrush(palette().color(QPalette::Window));
    painter.drawPath(path);
}

void Popover::mousePressEvent(QMouseEvent* event) {
    const QPoint global = event->globalPosition().toPoint();
    if (style_ == Style::transient && !rect().contains(event->position().toPoint()) && anchor_) {
        const QRect anchorRect(anchor_->mapToGlobal(QPoint(0, 0)), anchor_->size());
        // The click that closes the popover does not reach its anchor, which
        // would open it again.
        setAttribute(Qt::WA_NoMouseReplay, anchorRect.contains(global));
    }
    QFrame::mousePressEvent(event);
}

void Popover::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    emit closed();
}

}  // namespace gantry
