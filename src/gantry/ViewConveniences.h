// View conveniences: fading a view in or out, placing a view so that it fills
// its parent, a drop shadow, taking an action out of every menu and tool bar,
// and repainting chosen rows of a table or list.
//
// Threads: main thread only.
#pragma once

#include <QAbstractItemView>
#include <QAction>
#include <QColor>
#include <QWidget>

#include <vector>

namespace gantry {

// Fades `view` in (`isHidden` false: shown, then made opaque) or out (made
// transparent, then hidden) over `seconds`, which `animationDurationScale()`
// multiplies. With no time (or a view whose window is not visible) the view
// is shown or hidden at once. A fade of the same view that is still running
// is stopped first, so the last call decides the end state. A fade in shows
// the view when it starts; a fade out hides it when it ends.
void animate(QWidget* view, double seconds, bool isHidden);

// Scales every fade's duration; 0 makes every change immediate (tests).
void setAnimationDurationScale(double scale);
double animationDurationScale();

// Adds `subview` to `parent` filling it, in a margin-less layout made for
// the purpose when the parent has none; the parent's layout must otherwise
// be a box or stacked layout. Shows the subview.
void addFilledSubView(QWidget* parent, QWidget* subview);
// Takes `view` out of its parent's layout and hides it; it stays a child of
// its parent (and is destroyed with it).
void removeFromSuperview(QWidget* view);

// A drop shadow offset by (x, y) with `blur` radius. Replaces any other
// graphics effect of the view (a running fade included).
void setShadow(QWidget* view, qreal x, qreal y, qreal blur, const QColor& color);

// Removes `action` from every widget that shows it (menus, tool bars).
void removeFromParent(QAction* action);

// Repaints the cells of `rows` in every column of `view`'s model.
void reloadData(QAbstractItemView* view, const std::vector<int>& rows);

}  // namespace gantry
