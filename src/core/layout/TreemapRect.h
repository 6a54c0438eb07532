// Integer pixel rectangles and points of the paint surfaces. Right and Bottom
// are exclusive.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace vd {

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  int64_t Width() const { return int64_t(Right) - Left; }
  int64_t Height() const { return int64_t(Bottom) - Top; }
  bool operator==(const TRect&) const = default;
};

inline bool IsRectEmpty(const TRect& r) { return r.Width() <= 0 || r.Height() <= 0; }

inline bool PtInRect(const TRect& r, TPoint p) { return r.Left <= p.X && p.X < r.Right && r.Top <= p.Y && p.Y < r.Bottom; }

inline int32_t ClampToInt32(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Moves every edge outwards by n (inwards for a negative n); may leave r empty.
inline TRect InflateRect(const TRect& r, int32_t n) {
  return {ClampToInt32(int64_t(r.Left) - n), ClampToInt32(int64_t(r.Top) - n), ClampToInt32(int64_t(r.Right) + n),
          ClampToInt32(int64_t(r.Bottom) + n)};
}
inline TRect InsetRect(const TRect& r, int32_t n) { return InflateRect(r, -n); }

inline TRect IntersectRect(const TRect& a, const TRect& b) {
  return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
}

// Width x height in square pixels; 0 for an empty rectangle (two negative
// sides must not make a positive area).
inline double RectArea(const TRect& r) { return IsRectEmpty(r) ? 0.0 : double(r.Width()) * double(r.Height()); }

}  // namespace vd
