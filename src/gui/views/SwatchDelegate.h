// Draws the colour swatch of a legend's "Color" column: the cell inset by 8 and
// 4 pixels, filled with the row's colour, outlined in black, no text.
#pragma once

#include <QStyledItemDelegate>

namespace vd::gui {

// Item data role that carries a row's colour as a QColor.
constexpr int kSwatchColorRole = Qt::UserRole + 77;

class TSwatchDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  static QRect SwatchRect(const QRect& cell) { return cell.adjusted(8, 4, -8, -4); }
};

}  // namespace vd::gui
