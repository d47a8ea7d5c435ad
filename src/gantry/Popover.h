// Popover: a panel attached to a view: a rounded frame with an arrow
// pointing at its anchor, placed on the anchor's chosen edge (or the
// opposite one when there is no room there).
//
// A transient popover is a window of its own, closed by a click outside it
// or by Escape; a click on the anchor itself while it is open only closes
// it, so that a button can toggle its popover. An inset popover is a child
// view of its parent, drawn over the parent's other views and kept inside
// them (tips); it stays until it is closed.
//
// The popover owns its content view. Give it a parent so that it goes with
// that window or view.
//
// Threads: main thread only.
#pragma once

#include <QFrame>
#include <QPointer>

namespace gantry {

enum class PopoverEdge { top, left, right, bottom };

class Popover : public QFrame {
    Q_OBJECT

public:
    enum class Style { transient, inset };

    Popover(QWidget* content, QWidget* parent, Style style = Style::transient);

    Style style() const { return style_; }

    QWidget* contentView() const { return content_; }

    // Opens the popover next to `anchor` on `edge`, or moves it there.
    void showAt(QWidget* anchor, PopoverEdge edge);
    bool isShown() const { return isVisible(); }
    // Opens it below `anchor`, or closes it when it is open.
    void toggleAtBottom(QWidget* anchor);

    QWidget* anchor() const { return anchor_; }
    // The edge of the anchor the popover sits on now.
    PopoverEdge edge() const { return edge_; }

signals:
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Places the popover next to `anchorRect` within `available`, both in
    // the coordinates the popover's geometry uses.
    void placeNextTo(const QRect& anchorRect, const QRect& available, PopoverEdge edge);
    void setMarginsFor(PopoverEdge edge);

    Style style_;
    QWidget* content_;
    QPointer<QWidget> anchor_;
    PopoverEdge edge_ = PopoverEdge::bottom;
    // Where the arrow's tip points, in the popover's coordinates.
    QPoint arrowTip_;
};

}  // namespace gantry
