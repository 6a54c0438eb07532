#include "TreemapAccessible.h"

#include "views/PaintSurface.h"

namespace vd::gui {

namespace {
QAccessibleInterface* TreemapFactory(const QString&, QObject* object) {
  if (auto* surface = qobject_cast<TPaintSurface*>(object)) return new TTreemapAccessible(surface);
  return nullptr;
}
}  // namespace

TTreemapAccessible::TTreemapAccessible(TPaintSurface* surface) : QAccessibleWidget(surface, QAccessible::Canvas) {}

QString TTreemapAccessible::text(QAccessible::Text t) const {
  if (t == QAccessible::Value) return static_cast<const TPaintSurface*>(widget())->AccessibleValue();
  return QAccessibleWidget::text(t);
}

void InstallTreemapAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&TreemapFactory);
    return true;
  }();
  (void)installed;
}

}  // namespace vd::gui
