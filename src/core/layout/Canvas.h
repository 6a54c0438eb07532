// The drawing surface the treemaps paint on: a clip rectangle, a brush and a
// pen, and two operations. The GUI supplies one over its painter; TPixelCanvas
// draws into a plain 32-bit buffer (tests, benchmarks, off-screen use).
#pragma once

#include <cstdint>
#include <vector>

#include "core/layout/HashColor.h"
#include "core/layout/TreemapRect.h"

namespace vd {

enum class TBrushStyle : uint8_t { bsSolid, bsClear };
enum class TPenStyle : uint8_t { psSolid };

struct TBrush {
  TBrushStyle Style = TBrushStyle::bsSolid;
  TColor Color = 0xFFFFFF;
};

struct TPen {
  TPenStyle Style = TPenStyle::psSolid;
  int32_t Width = 1;
  TColor Color = 0;
};

class TCanvas {
 public:
  TBrush Brush;
  TPen Pen;

  virtual ~TCanvas() = default;
  // The rectangle drawing is clipped to.
  virtual TRect ClipRect() const = 0;
  // Fills r with the brush colour, no outline.
  virtual void FillRect(const TRect& r) = 0;
  // Outlines r with the pen, centred on r's border pixels (a 1-pixel pen draws
  // the outermost pixels of r); the interior is filled only with a solid brush.
  virtual void Rectangle(const TRect& r) = 0;
};

// A canvas over a width x height buffer of 0x00BBGGRR pixels, row by row.
class TPixelCanvas : public TCanvas {
 public:
  TPixelCanvas(int32_t width, int32_t height, TColor fill = 0);

  TRect ClipRect() const override { return FClip; }
  void FillRect(const TRect& r) override;
  void Rectangle(const TRect& r) override;

  // Narrows drawing to r (within the buffer).
  void SetClipRect(const TRect& r);
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  TColor Pixel(int32_t x, int32_t y) const { return FPixels[size_t(y) * size_t(FWidth) + size_t(x)]; }
  const std::vector<TColor>& Pixels() const { return FPixels; }

 private:
  void Fill(TRect r, TColor c);

  int32_t FWidth, FHeight;
  TRect FClip;
  std::vector<TColor> FPixels;
};

}  // namespace vd
