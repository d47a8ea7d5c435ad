#include "gantry/EmptyToolbar.h"

#include <QAction>

namespace gantry {

EmptyToolbar::EmptyToolbar(QWidget* parent) : QToolBar(parent) {
    setObjectName("EmptyToolbar");
    setMovable(false);
    setFloatable(false);
    setAllowedAreas(Qt::TopToolBarArea);
    setContextMenuPolicy(Qt::PreventContextMenu);
    toggleViewAction()->setVisible(false);
    setMinimumHeight(52);
    setIconSize(QSize(20, 20));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

QWidget* EmptyToolbar::addFlexibleSpace() {
    auto* space = new QWidget(this);
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(space);
    return space;
}

QWidget* EmptyToolbar::addFixedSpace(int width) {
    auto* space = new QWidget(this);
    space->setFixedWidth(width);
    addWidget(space);
    return space;
}

}  // namespace gantry
