#include "core/layout/TreemapBase.h"

#include "platform/Platform.h"

namespace vd {

std::string ExtKeyOf(std::string_view ext) {
  std::string key = platform::ToLowerLocale(ext);
  if (key.empty()) key = "(none)";
  return key;
}

void PaintBackground(TCanvas& c) {
  c.Brush.Style = TBrushStyle::bsSolid;
  c.Brush.Color = kBlack;
  c.FillRect(c.ClipRect());
  c.Pen.Style = TPenStyle::psSolid;
  c.Pen.Width = 1;
  c.Pen.Color = kBlack;
}

void FillTile(TCanvas& c, const TRect& r, TColor colour) {
  const TRect f = r.Width() >= 10 && r.Height() >= 10 ? InsetRect(r, 1) : r;
  if (IsRectEmpty(f)) return;
  c.Brush.Color = colour;
  c.FillRect(f);
}

void FrameTile(TCanvas& c, const TRect& r) {
  if (r.Width() < 6 || r.Height() < 6) return;
  c.Brush.Style = TBrushStyle::bsClear;
  c.Rectangle(r);
  c.Brush.Style = TBrushStyle::bsSolid;
}

void OutlineSelected(TCanvas& c, const TRect& r) {
  c.Pen.Width = 3;
  c.Pen.Color = kWhite;
  c.Brush.Style = TBrushStyle::bsClear;
  c.Rectangle(r);
  c.Brush.Style = TBrushStyle::bsSolid;
  c.Pen.Width = 1;
  c.Pen.Color = kBlack;
}

}  // namespace vd
