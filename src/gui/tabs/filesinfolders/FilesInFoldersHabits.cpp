// What the context menu, dragging and the treemap's keys ask of "Files in Folders".
#include "FilesInFoldersTab.h"
#include "views/QtCanvas.h"

namespace vd::gui {

void TFilesInFoldersTab::WireDesktopHabits() {
  PaintBox3->IsSelected = [this](const void* t) { return S.FHierMap.IsSelected(static_cast<const THierItem*>(t)); };
  PaintBox3->Current = [this]() -> const void* { return S.FRoot ? S.FHierMap.Primary() : nullptr; };
  PaintBox3->ForEachTile = [this](const auto& visit) {
    for (const THierItem& it : S.FHierMap.Items()) visit(&it, ToQRect(it.Rect));
  };
}

std::optional<std::vector<std::string>> TFilesInFoldersTab::ItemPaths(const QWidget* view, const QModelIndex& index,
                                                                     const void* tile) const {
  if (view == tvFoldersAndFiles) {
    const QTreeWidgetItem* item = tvFoldersAndFiles->itemFromIndex(index);
    if (item && item->type() == TNodeItem::kType) {
      const auto* node = static_cast<const TNodeItem*>(item);
      if (node->Dir) return std::vector<std::string>{node->Dir->FullPath()};
      if (node->Leaf) return std::vector<std::string>{node->Leaf->FullPath()};
    }
  } else if (view == PaintBox3 && tile) {
    return std::vector<std::string>{static_cast<const THierItem*>(tile)->FullPath()};
  }
  // The extension legend only marks tiles; the file actions read the tree.
  return std::vector<std::string>{};
}

}  // namespace vd::gui
