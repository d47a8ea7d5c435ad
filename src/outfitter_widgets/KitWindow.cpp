#include "outfitter_widgets/KitWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

#include "keel/LocalizedString.h"

namespace outfitter {

QString kitText(const char* key) {
    return QString::fromStdString(keel::TL(key));
}

void makeLinkButton(QPushButton* button) {
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        QStringLiteral("QPushButton { color: palette(link); border: none; padding: 2px 4px; }"
                       "QPushButton:disabled { color: palette(mid); }"));
}

KitWindow::KitWindow(QWidget* parent) : QWidget(parent, Qt::Window) {}

void KitWindow::closeEvent(QCloseEvent* event) {
    if (canClose_ && !canClose_()) {
        event->ignore();
        return;
    }
    event->accept();
    if (didClose_) didClose_();
}

void KitWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace outfitter
