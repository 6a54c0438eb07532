// What the four treemap layouts share: rounding, the squarified placement of
// weighted entries, the step from a cell to a tile, and the tile drawing rules.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/layout/Canvas.h"
#include "core/layout/HashColor.h"
#include "core/scan/ScanModel.h"
#include "core/layout/TreemapRect.h"

namespace vd {

// The integer nearest to x, halves to the even neighbour (2.5 -> 2, 3.5 -> 4),
// independent of the floating-point rounding mode. Saturates far outside int64.
inline int64_t Nearest(double x) {
  if (!(x == x)) return 0;
  if (x >= 9.2e18) return INT64_MAX;
  if (x <= -9.2e18) return INT64_MIN;
  const double f = std::floor(x);
  const double frac = x - f;  // exact
  int64_t i = int64_t(f);
  if (frac > 0.5 || (frac == 0.5 && (i & 1) != 0)) ++i;
  return i;
}

// The extension key: lower-cased with the user's locale, "(none)" when empty.
std::string ExtKeyOf(std::string_view ext);

// An entry of the hierarchical and duplicates layouts: a folder or a file.
struct TObjEntry {
  double Area = 0;
  int64_t Weight = 0;
  void* Obj = nullptr;
  bool IsDir = false;

  TDirNode* Dir() const { return IsDir ? static_cast<TDirNode*>(Obj) : nullptr; }
  TFileLeaf* File() const { return IsDir ? nullptr : static_cast<TFileLeaf*>(Obj); }
};

// ---- Squarified placement ---------------------------------------------------
// One implementation for every squarified layout, parameterised by the placing
// step: place(entry, cell, depth) is called for every cell a row lays out, in
// placement order, empty cells included. Entry types need a double Area.

inline int32_t ShortSide(const TRect& r) { return ClampToInt32(std::min(r.Width(), r.Height())); }

namespace treemap_detail {
// Sum, smallest and largest area of a row, accumulated in row order.
struct TRowStats {
  double Sum = 0;
  double Min = 1e300;
  double Max = 0;
  void Add(double a) {
    Sum += a;
    if (a < Min) Min = a;
    if (a > Max) Max = a;
  }
};
inline double WorstRatioOf(const TRowStats& s, size_t count, double side) {
  if (count == 0) return 1e300;
  if (s.Min <= 0 || side <= 0) return 1e300;
  const double r1 = side * side * s.Max / (s.Sum * s.Sum);
  const double r2 = s.Sum * s.Sum / (side * side * s.Min);
  return r1 > r2 ? r1 : r2;
}
}  // namespace treemap_detail

// The worst aspect ratio of the row's tiles if laid along a side of length side.
template <class TEntry>
double WorstRatio(const TEntry* row, size_t count, double side) {
  treemap_detail::TRowStats s;
  for (size_t i = 0; i < count; ++i) s.Add(row[i].Area);
  return treemap_detail::WorstRatioOf(s, count, side);
}

// Lays one row as a strip of free (which shrinks from the top or the left).
// The running position advances by the unclipped length; only the far edge of a
// cell is clipped to the strip, so rounding may leave pixels uncovered.
template <class TEntry, class TPlace>
void LayoutRow(const TEntry* row, size_t count, TRect& free, bool horizontal, int32_t depth, TPlace&& place) {
  double sum = 0;
  for (size_t i = 0; i < count; ++i) sum += row[i].Area;
  if (sum <= 0) return;
  const int64_t w = std::max<int64_t>(free.Width(), 1);
  const int64_t h = std::max<int64_t>(free.Height(), 1);
  if (horizontal) {
    const int64_t t = std::max<int64_t>(Nearest(sum / double(w)), 1);
    const TRect strip{free.Left, free.Top, free.Right, ClampToInt32(std::min<int64_t>(free.Bottom, free.Top + t))};
    free.Top = strip.Bottom;
    const double sh = double(std::max<int64_t>(strip.Height(), 1));
    int64_t x = strip.Left;
    for (size_t i = 0; i < count; ++i) {
      const int64_t len = std::max<int64_t>(Nearest(row[i].Area / sh), 1);
      const TRect cell{ClampToInt32(x), strip.Top, ClampToInt32(std::min<int64_t>(strip.Right, x + len)), strip.Bottom};
      place(row[i], cell, depth);
      x += len;
    }
  } else {
    const int64_t t = std::max<int64_t>(Nearest(sum / double(h)), 1);
    const TRect strip{free.Left, free.Top, ClampToInt32(std::min<int64_t>(free.Right, free.Left + t)), free.Bottom};
    free.Left = strip.Right;
    const double sw = double(std::max<int64_t>(strip.Width(), 1));
    int64_t y = strip.Top;
    for (size_t i = 0; i < count; ++i) {
      const int64_t len = std::max<int64_t>(Nearest(row[i].Area / sw), 1);
      const TRect cell{strip.Left, ClampToInt32(y), strip.Right, ClampToInt32(std::min<int64_t>(strip.Bottom, y + len))};
      place(row[i], cell, depth);
      y += len;
    }
  }
}

// Places entries (sorted by area, largest first) into r. A row is closed only
// when the next entry makes its worst ratio strictly worse.
template <class TEntry, class TPlace>
void Squarify(const std::vector<TEntry>& entries, const TRect& r, int32_t depth, TPlace&& place) {
  using treemap_detail::TRowStats;
  using treemap_detail::WorstRatioOf;
  TRect free = r;
  size_t rowBegin = 0, rowCount = 0;
  TRowStats without;  // the row before its newest entry
  for (size_t i = 0; i < entries.size(); ++i) {
    TRowStats with = without;
    with.Add(entries[i].Area);
    ++rowCount;
    const double s = double(ShortSide(free));
    if (s <= 0) return;
    const double ratioWith = WorstRatioOf(with, rowCount, s);
    if (rowCount >= 2 && ratioWith > WorstRatioOf(without, rowCount - 1, s)) {
      LayoutRow(entries.data() + rowBegin, rowCount - 1, free, free.Width() < free.Height(), depth, place);
      rowBegin = i;
      rowCount = 1;
      with = TRowStats{};
      with.Add(entries[i].Area);
    }
    without = with;
  }
  if (rowCount > 0)
    LayoutRow(entries.data() + rowBegin, rowCount, free, free.Width() < free.Height(), depth, place);
}

// Area := A x (weight / total) for every entry; false when nothing is to be
// placed (total or area not positive). Then sorts by area, largest first.
template <class TEntry>
bool ApportionAndSort(std::vector<TEntry>& entries, int64_t total, const TRect& r) {
  if (total <= 0) return false;
  const double a = RectArea(r);
  if (a <= 0) return false;
  for (TEntry& e : entries) e.Area = a * (double(e.Weight) / double(total));
  std::sort(entries.begin(), entries.end(), [](const TEntry& x, const TEntry& y) { return x.Area > y.Area; });
  return true;
}

// The tile of a cell: the cell inset by 1 when at least 10 x 10, else the cell
// itself; false when there is no tile (an empty cell).
inline bool TileRectOfCell(const TRect& cell, TRect& tile) {
  if (IsRectEmpty(cell)) return false;
  tile = cell.Width() >= 10 && cell.Height() >= 10 ? InsetRect(cell, 1) : cell;
  return !IsRectEmpty(tile);
}

// ---- Tile drawing ----------------------------------------------------------

constexpr TColor kBlack = 0x000000;
constexpr TColor kWhite = 0xFFFFFF;

// Black background over the clip rectangle, then a black 1-pixel solid pen.
void PaintBackground(TCanvas& c);
// Fills the tile (inset by 1 when at least 10 x 10) with colour.
void FillTile(TCanvas& c, const TRect& r, TColor colour);
// The black frame of tiles at least 6 x 6.
void FrameTile(TCanvas& c, const TRect& r);
// The white 3-pixel outline of a selected tile.
void OutlineSelected(TCanvas& c, const TRect& r);
// Every channel halved, rounded down.
constexpr TColor HalfBrightness(TColor c) { return (c & 0xFEFEFE) >> 1; }

}  // namespace vd
