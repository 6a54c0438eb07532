#include "TileNeighbour.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace vd::gui {

namespace {
// Twice the centre, so that it stays whole.
int64_t CentreX2(const QRect& r) { return int64_t(r.x()) * 2 + r.width(); }
int64_t CentreY2(const QRect& r) { return int64_t(r.y()) * 2 + r.height(); }
// How many of the nearest candidates are tried before giving up.
constexpr size_t kMaxTries = 256;
}  // namespace

int NeighbourTile(const std::vector<QRect>& tiles, int from, TArrow arrow, const std::function<bool(int)>& reachable) {
  if (from < 0 || size_t(from) >= tiles.size()) return -1;
  const int64_t x0 = CentreX2(tiles[size_t(from)]), y0 = CentreY2(tiles[size_t(from)]);
  std::vector<std::pair<int64_t, int>> candidates;  // score, index
  for (size_t i = 0; i < tiles.size(); ++i) {
    const QRect& r = tiles[i];
    if (int(i) == from || r.isEmpty()) continue;
    const int64_t dx = CentreX2(r) - x0, dy = CentreY2(r) - y0;
    int64_t along = 0, across = 0;
    switch (arrow) {
      case TArrow::Left: along = -dx, across = dy; break;
      case TArrow::Right: along = dx, across = dy; break;
      case TArrow::Up: along = -dy, across = dx; break;
      case TArrow::Down: along = dy, across = dx; break;
    }
    if (along <= 0) continue;
    candidates.emplace_back(along + 2 * std::llabs(across), int(i));
  }
  const size_t tries = std::min(candidates.size(), kMaxTries);
  std::partial_sort(candidates.begin(), candidates.begin() + ptrdiff_t(tries), candidates.end());
  for (size_t k = 0; k < tries; ++k)
    if (!reachable || reachable(candidates[k].second)) return candidates[k].second;
  return -1;
}

}  // namespace vd::gui
