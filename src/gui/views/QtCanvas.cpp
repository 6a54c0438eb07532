#include "QtCanvas.h"

namespace vd::gui {

TQtCanvas::TQtCanvas(QPainter& painter, const QRect& clip)
    : FPainter(painter), FClip{clip.left(), clip.top(), clip.left() + clip.width(), clip.top() + clip.height()} {}

void TQtCanvas::Fill(TRect r, TColor c) {
  r = IntersectRect(r, FClip);
  if (IsRectEmpty(r)) return;
  FPainter.fillRect(QRect(r.Left, r.Top, int(r.Width()), int(r.Height())), ToQColor(c));
}

void TQtCanvas::FillRect(const TRect& r) { Fill(r, Brush.Color); }

void TQtCanvas::Rectangle(const TRect& r) {
  const int32_t w = std::max(Pen.Width, 1);
  const TRect outer = InflateRect(r, w / 2);
  const TRect inner = InflateRect(outer, -w);
  if (Brush.Style == TBrushStyle::bsSolid) Fill(inner, Brush.Color);
  if (IsRectEmpty(outer)) return;
  if (IsRectEmpty(inner)) return Fill(outer, Pen.Color);
  Fill({outer.Left, outer.Top, outer.Right, inner.Top}, Pen.Color);
  Fill({outer.Left, inner.Bottom, outer.Right, outer.Bottom}, Pen.Color);
  Fill({outer.Left, inner.Top, inner.Left, inner.Bottom}, Pen.Color);
  Fill({inner.Right, inner.Top, outer.Right, inner.Bottom}, Pen.Color);
}

}  // namespace vd::gui
