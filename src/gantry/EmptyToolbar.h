// EmptyToolbar: the header of a window: a tall tool bar along its top edge
// that cannot be moved, floated or hidden from a context menu, and that
// starts without items. The window puts its title-bar controls in it; a
// flexible space pushes what follows it to the right edge.
//
// Threads: main thread only.
#pragma once

#include <QToolBar>

namespace gantry {

class EmptyToolbar : public QToolBar {
    Q_OBJECT

public:
    explicit EmptyToolbar(QWidget* parent = nullptr);

    // An expanding spacer; what is added after it sits at the right edge.
    QWidget* addFlexibleSpace();
    // A fixed gap of `width` pixels.
    QWidget* addFixedSpace(int width);
};

}  // namespace gantry
