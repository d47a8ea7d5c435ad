#include "desktop/ItemTableRowDelegate.h"

#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QTableView>

#include "desktop/StyleSheet.h"

namespace desktop {

namespace {

// The row's rectangle in the viewport: across every visible column.
QRect rowRect(const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto* table = qobject_cast<const QTableView*>(option.widget);
    if (!table || !index.model()) return option.rect;
    const QHeaderView* header = table->horizontalHeader();
    int left = option.rect.left(), right = option.rect.right();
    for (int column = 0; column < index.model()->columnCount(index.parent()); ++column) {
        if (table->isColumnHidden(column)) continue;
        const int x = header->sectionViewportPosition(column);
        left = std::min(left, x);
        right = std::max(right, x + header->sectionSize(column) - 1);
    }
    return QRect(QPoint(left, option.rect.top()), QPoint(right, option.rect.bottom()));
}

}  // namespace

void ItemTableRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const qreal lineWidth = selected ? 3 : 1;
    // The outline lies inside the card: its path is inset by half the line.
    const QRectF card = QRectF(rowRect(option, index)).adjusted(2, 4, -2, -4);
    const QRectF outline =
        card.adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);
    painter->save();
    painter->setClipRect(option.rect);
    // The style may have filled the row for its selection; the card's
    // outline shows it instead, on the list's background.
    painter->fillRect(option.rect, option.palette.window());
    painter->setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(card, 4, 4);
    painter->fillPath(shape, StyleSheet::color(StyleSheet::firstBackgroundColor));
    QPen pen(StyleSheet::color(selected ? StyleSheet::focusButtonDefaultColor
                                        : StyleSheet::backgroundSeparatorColor),
             lineWidth);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(outline, 4 - lineWidth / 2, 4 - lineWidth / 2);
    painter->restore();

    QStyleOptionViewItem content(option);
    content.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    QStyledItemDelegate::paint(painter, content, index);
}

}  // namespace desktop
