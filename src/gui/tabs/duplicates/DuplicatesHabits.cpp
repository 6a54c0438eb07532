// What the context menu, dragging and the treemap's keys ask of "Duplicates".
#include <QTreeView>
#include <QTreeWidget>

#include "DuplicatesTab.h"
#include "views/QtCanvas.h"

namespace vd::gui {

namespace {
std::vector<std::string> PathsOf(const TDupGroup* g) {
  std::vector<std::string> out;
  if (g)
    for (const TFileLeaf* f : g->Files) out.push_back(f->FullPath());
  return out;
}
}  // namespace

void TDuplicatesTab::WireDesktopHabits() {
  PaintBox4->IsSelected = [this](const void* t) { return S.FDupeMap.IsSelected(static_cast<const TDupItem*>(t)); };
  PaintBox4->Current = [this]() -> const void* { return S.FRoot ? S.FDupeMap.Primary() : nullptr; };
  PaintBox4->ForEachTile = [this](const auto& visit) {
    for (const TDupItem& it : S.FDupeMap.Items()) visit(&it, ToQRect(it.Rect));
  };
}

std::optional<std::vector<std::string>> TDuplicatesTab::ItemPaths(const QWidget* view, const QModelIndex& index,
                                                                 const void* tile) const {
  if (view == tvDuplicateFiles) {
    switch (FTreeModel->Kind(index)) {
      case TDupTreeModel::TNodeKind::File: return std::vector<std::string>{FTreeModel->File(index)->FullPath()};
      case TDupTreeModel::TNodeKind::Group: return PathsOf(FTreeModel->Group(index));
      default: break;  // the overflow node stands for no file
    }
  } else if (view == lvDuplicateGroupsColors) {
    return PathsOf(GroupOfRow(lvDuplicateGroupsColors->itemFromIndex(index)));
  } else if (view == PaintBox4 && tile) {
    // A folder tile is offered too, and never taken: the actions take files.
    return std::vector<std::string>{static_cast<const TDupItem*>(tile)->FullPath()};
  }
  return std::vector<std::string>{};
}

void TDuplicatesTab::PrepareContextSelection(const QWidget* view, bool inside) {
  QItemSelectionModel* tree = tvDuplicateFiles->selectionModel();
  QItemSelectionModel* list = lvDuplicateGroupsColors->selectionModel();
  // A group of the list, or a tile outside the selection, is a pick of the
  // user's own: Select Copies' choice goes, also beyond the rows shown.
  if (view == lvDuplicateGroupsColors || (view == PaintBox4 && !inside)) DropCopiesSelection();
  if (view == lvDuplicateGroupsColors) {
    // The file actions read the tree first: a menu on a group of the list
    // leaves the tree without a selection.
    if (!tree->hasSelection()) return;
    tree->clearSelection();
    // That also cleared the treemap; a row already selected marks it again.
    if (inside) lvDuplicateGroupsColorsSelectItem(list->selection());
  } else if (view == PaintBox4 && !inside) {
    // The tile is about to be selected alone, whichever view had the rest.
    tree->clearSelection();
    list->clearSelection();
  }
}

}  // namespace vd::gui
