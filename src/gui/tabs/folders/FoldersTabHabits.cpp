// What the context menu, dragging and the treemap's keys ask of "Only Folders".
#include <QTreeView>

#include "FolderLegendModel.h"
#include "FoldersTab.h"
#include "FoldersTreeModel.h"
#include "views/QtCanvas.h"

namespace vd::gui {

void TFoldersTab::WireDesktopHabits() {
  PaintBox2->IsSelected = [this](const void* t) { return t && t == S.FFolderMap.SelectedNode; };
  PaintBox2->Current = [this]() -> const void* {
    return S.FRoot && S.FFolderMap.ItemOfNode(S.FFolderMap.SelectedNode) ? S.FFolderMap.SelectedNode : nullptr;
  };
  // A tile is known by its folder, as the hit test returns it.
  PaintBox2->ForEachTile = [this](const auto& visit) {
    for (const TFolderMapItem& it : S.FFolderMap.Items()) visit(it.Node, ToQRect(it.Rect));
  };
}

std::optional<std::vector<std::string>> TFoldersTab::ItemPaths(const QWidget* view, const QModelIndex& index,
                                                              const void* tile) const {
  const TDirNode* dir = nullptr;
  if (view == tvFolders)
    dir = TFoldersTreeModel::NodeOf(index);
  else if (view == lvFilesOfSelectedFolder)
    dir = index.isValid() ? FLegendModel->NodeAt(index.row()) : nullptr;
  else if (view == PaintBox2)
    dir = static_cast<const TDirNode*>(tile);
  if (!dir) return std::vector<std::string>{};
  return std::vector<std::string>{dir->FullPath()};
}

void TFoldersTab::PrepareContextSelection(const QWidget* view, bool) {
  // Rows picked in the legend come first for the file actions; a menu on the
  // tree or the treemap is about the folder there.
  if (view == tvFolders || view == PaintBox2) lvFilesOfSelectedFolder->selectionModel()->clearSelection();
}

}  // namespace vd::gui
