// The item of a result tab that the pointer or the keyboard is on, as the
// context menu and dragging see it: a row or node of one of the tab's lists
// and trees, or a tile of its treemap.
#pragma once

#include <QModelIndex>
#include <QPoint>
#include <string>
#include <vector>

class QWidget;

namespace vd::gui {

class TResultTab;

struct TItemTarget {
  TResultTab* Tab = nullptr;
  QWidget* View = nullptr;     // the list or tree (never its viewport), or the treemap surface
  QModelIndex Index;           // a row or node
  const void* Tile = nullptr;  // a tile
  bool Valid() const { return Index.isValid() || Tile != nullptr; }
};

// The item at `pos`, a point of `widget`: a list or tree, its viewport, or
// the tab's treemap surface. Invalid over empty space.
TItemTarget ItemAt(TResultTab* tab, QWidget* widget, QPoint pos);
// The item the keyboard is on in `widget`: the current row or node, or the
// treemap's selected tile.
TItemTarget CurrentItem(TResultTab* tab, QWidget* widget);
// Where that item is drawn, in `target.View`'s coordinates.
QPoint ItemCentre(const TItemTarget& target);

bool IsItemSelected(const TItemTarget& target);
// Selects the item alone, as a plain left click on it does.
void SelectItemAlone(const TItemTarget& target);

// Whether `gathered` (the active tab's selection as the file actions take it:
// each item once, nothing inside a folder that is there too) takes what the
// item stands for (TResultTab::ItemPaths).
bool ActionsTakeItem(const TItemTarget& target, const std::vector<std::string>& gathered);

}  // namespace vd::gui
