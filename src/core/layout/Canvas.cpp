#include "core/layout/Canvas.h"

#include <algorithm>

namespace vd {

TPixelCanvas::TPixelCanvas(int32_t width, int32_t height, TColor fill)
    : FWidth(std::max(width, 0)),
      FHeight(std::max(height, 0)),
      FClip{0, 0, FWidth, FHeight},
      FPixels(size_t(FWidth) * size_t(FHeight), fill) {}

void TPixelCanvas::SetClipRect(const TRect& r) { FClip = IntersectRect(r, TRect{0, 0, FWidth, FHeight}); }

void TPixelCanvas::Fill(TRect r, TColor c) {
  r = IntersectRect(r, FClip);
  if (IsRectEmpty(r)) return;
  for (int32_t y = r.Top; y < r.Bottom; ++y) {
    TColor* row = FPixels.data() + size_t(y) * size_t(FWidth);
    std::fill(row + r.Left, row + r.Right, c);
  }
}

void TPixelCanvas::FillRect(const TRect& r) { Fill(r, Brush.Color); }

void TPixelCanvas::Rectangle(const TRect& r) {
  const int32_t w = std::max(Pen.Width, 1);
  // The pen's band: w pixels wide, its middle on r's outermost pixels.
  const TRect outer = InflateRect(r, w / 2);
  const TRect inner = InflateRect(outer, -w);
  if (Brush.Style == TBrushStyle::bsSolid) Fill(inner, Brush.Color);
  if (IsRectEmpty(outer)) return;
  if (IsRectEmpty(inner)) {
    Fill(outer, Pen.Color);
    return;
  }
  Fill({outer.Left, outer.Top, outer.Right, inner.Top}, Pen.Color);
  Fill({outer.Left, inner.Bottom, outer.Right, outer.Bottom}, Pen.Color);
  Fill({outer.Left, inner.Top, inner.Left, inner.Bottom}, Pen.Color);
  Fill({inner.Right, inner.Top, outer.Right, inner.Bottom}, Pen.Color);
}

}  // namespace vd
