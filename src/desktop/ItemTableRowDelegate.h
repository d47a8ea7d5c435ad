// ItemTableRowDelegate: draws each row of an item list as a card: the row
// inset by 2 pixels at the sides and 4 above and below, a rounded rectangle
// filled with "FirstBackgroundColor" and outlined, inside its edge, with
// "FocusButtonDefaultColor" 3 pixels wide when the row is selected, else with
// "BackgroundSeparatorColor" 1 pixel wide. Every cell paints the part of its
// row's card that it covers, so the table keeps one model and one view; the
// cell's content is drawn over it as usual, without the selection fill the
// outline replaces.
//
// Threads: main thread only.
#pragma once

#include <QStyledItemDelegate>

namespace desktop {

class ItemTableRowDelegate : public QStyledItemDelegate {
public:
    // The height of a row: the card and its margins.
    static constexpr int rowHeight = 44;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

}  // namespace desktop
