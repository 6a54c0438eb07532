// Which tile an arrow key leads to on a treemap, whose tiles lie in no grid.
#pragma once

#include <QRect>
#include <functional>
#include <vector>

namespace vd::gui {

enum class TArrow { Left, Right, Up, Down };

// The tile whose centre lies beyond the centre of tile `from` in the arrow's
// direction and is nearest to it, a step across the direction counting twice
// a step along it (so a tile straight ahead wins over one off to the side).
// Only tiles for which `reachable` holds are taken (on a nested treemap, the
// ones a click at their centre selects); the nearest are tried first. -1 when
// there is none.
int NeighbourTile(const std::vector<QRect>& tiles, int from, TArrow arrow, const std::function<bool(int)>& reachable);

}  // namespace vd::gui
