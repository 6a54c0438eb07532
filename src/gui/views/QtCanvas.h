// The treemaps' drawing surface over a QPainter, with the same pixel rules as
// the core's pixel canvas (a pen's band is centred on the rectangle's border).
#pragma once

#include <QColor>
#include <QPainter>

#include "core/layout/Canvas.h"

namespace vd::gui {

inline QColor ToQColor(TColor c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
// A tile's rectangle (right and bottom exclusive) as Qt spells it.
inline QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top); }

class TQtCanvas : public TCanvas {
 public:
  // Draws on `painter`, clipped to `clip` (the whole target, normally).
  TQtCanvas(QPainter& painter, const QRect& clip);

  TRect ClipRect() const override { return FClip; }
  void FillRect(const TRect& r) override;
  void Rectangle(const TRect& r) override;

 private:
  void Fill(TRect r, TColor c);
  QPainter& FPainter;
  TRect FClip;
};

// Paints with `paint` onto the whole of `image` through a TQtCanvas.
template <class TPaintFn>
void PaintOnImage(QImage& image, TPaintFn&& paint) {
  QPainter p(&image);
  TQtCanvas canvas(p, image.rect());
  paint(static_cast<TCanvas&>(canvas));
}

}  // namespace vd::gui
