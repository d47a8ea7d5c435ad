#include "gantry/ViewConveniences.h"

#include <QBoxLayout>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QPropertyAnimation>
#include <QStackedLayout>

namespace gantry {

namespace {

double durationScale = 1.0;
const char* const fadeName = "gantryFadeAnimation";

void stopFade(QWidget* view) {
    if (auto* running =
            view->findChild<QPropertyAnimation*>(fadeName, Qt::FindDirectChildrenOnly)) {
        running->stop();
        delete running;
    }
}

}  // namespace

void setAnimationDurationScale(double scale) {
    durationScale = scale < 0 ? 0 : scale;
}

double animationDurationScale() {
    return durationScale;
}

void animate(QWidget* view, double seconds, bool isHidden) {
    if (!view) return;
    stopFade(view);
    const int milliseconds = static_cast<int>(seconds * durationScale * 1000);
    const bool windowShown = view->window() && view->window()->isVisible();
    if (milliseconds <= 0 || !windowShown) {
        if (qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect()))
            view->setGraphicsEffect(nullptr);
        view->setVisible(!isHidden);
        return;
    }
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(view);
        effect->setOpacity(isHidden ? 1.0 : 0.0);
        view->setGraphicsEffect(effect);
    }
    auto* fade = new QPropertyAnimation(effect, "opacity", view);
    fade->setObjectName(fadeName);
    fade->setDuration(milliseconds);
    fade->setStartValue(effect->opacity());
    fade->setEndValue(isHidden ? 0.0 : 1.0);
    fade->setEasingCurve(QEasingCurve::InOutQuad);
    if (!isHidden) view->setVisible(true);
    QPointer<QWidget> target = view;
    QObject::connect(fade, &QPropertyAnimation::finished, view, [target, isHidden] {
        if (!target) return;
        if (isHidden) target->setVisible(false);
        target->setGraphicsEffect(nullptr);
    });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void addFilledSubView(QWidget* parent, QWidget* subview) {
    if (!parent || !subview) return;
    QLayout* layout = parent->layout();
    if (!layout) {
        auto* box = new QVBoxLayout(parent);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(0);
        layout = box;
    }
    if (subview->parentWidget() != parent) subview->setParent(parent);
    if (auto* stacked = qobject_cast<QStackedLayout*>(layout)) {
        stacked->addWidget(subview);
        stacked->setCurrentWidget(subview);
    } else if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
        box->addWidget(subview, 1);
    } else {
        layout->addWidget(subview);
    }
    subview->show();
}

void removeFromSuperview(QWidget* view) {
    if (!view) return;
    if (QWidget* parent = view->parentWidget())
        if (QLayout* layout = parent->layout()) layout->removeWidget(view);
    view->hide();
}

void setShadow(QWidget* view, qreal x, qreal y, qreal blur, const QColor& color) {
    if (!view) return;
    stopFade(view);
    auto* shadow = new QGraphicsDropShadowEffect(view);
    shadow->setOffset(x, y);
    shadow->setBlurRadius(blur);
    shadow->setColor(color);
    view->setGraphicsEffect(shadow);
}

void removeFromParent(QAction* action) {
    if (!action) return;
    for (QObject* object : action->associatedObjects())
        if (auto* widget = qobject_cast<QWidget*>(object)) widget->removeAction(action);
}

void reloadData(QAbstractItemView* view, const std::vector<int>& rows) {
    if (!view || !view->model()) return;
    const QAbstractItemModel* model = view->model();
    const int columns = model->columnCount(view->rootIndex());
    for (int row : rows) {
        if (row < 0 || row >= model->rowCount(view->rootIndex())) continue;
        for (int column = 0; column < columns; ++column)
            view->update(model->index(row, column, view->rootIndex()));
    }
}

}  // namespace gantry
