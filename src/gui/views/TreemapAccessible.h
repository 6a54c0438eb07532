// What screen readers and UI test tools see of a treemap surface: a canvas
// with the accessible name and description its window gives it, whose value
// is the selected tile's name and size.
#pragma once

#include <QAccessibleWidget>

namespace vd::gui {

class TPaintSurface;

class TTreemapAccessible : public QAccessibleWidget {
 public:
  explicit TTreemapAccessible(TPaintSurface* surface);
  QString text(QAccessible::Text t) const override;
};

// Makes Qt build a TTreemapAccessible for every treemap surface. Once is
// enough; later calls do nothing.
void InstallTreemapAccessibility();

}  // namespace vd::gui
