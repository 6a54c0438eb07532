#include "SwatchDelegate.h"

#include <QPainter>

namespace vd::gui {

void TSwatchDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QVariant c = index.data(kSwatchColorRole);
  QStyleOptionViewItem opt(option);
  if (c.isValid()) opt.text.clear();
  QStyledItemDelegate::paint(p, opt, index);  // selection background and focus as usual
  if (!c.isValid()) return;
  const QRect r = SwatchRect(option.rect);
  if (r.width() <= 0 || r.height() <= 0) return;
  p->save();
  p->fillRect(r, c.value<QColor>());
  p->setPen(QPen(Qt::black, 1));
  p->setBrush(Qt::NoBrush);
  p->drawRect(r.adjusted(0, 0, -1, -1));
  p->restore();
}

}  // namespace vd::gui
