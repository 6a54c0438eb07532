// What the context menu, dragging and the treemap's keys ask of "Only Files".
#include <QTreeWidget>

#include "FilesTab.h"
#include "views/QtCanvas.h"

namespace vd::gui {

void TFilesTab::WireDesktopHabits() {
  FSurface->IsSelected = [this](const void* t) { return S.FTreemap.IsSelected(static_cast<const TTreemapItem*>(t)); };
  FSurface->Current = [this]() -> const void* { return S.FAllFiles.empty() ? nullptr : S.FTreemap.Primary(); };
  FSurface->ForEachTile = [this](const auto& visit) {
    for (const TTreemapItem& it : S.FTreemap.Items()) visit(&it, ToQRect(it.Rect));
  };
}

std::optional<std::vector<std::string>> TFilesTab::ItemPaths(const QWidget* view, const QModelIndex& index,
                                                            const void* tile) const {
  if (view == lvFiles) {
    if (const QTreeWidgetItem* row = lvFiles->itemFromIndex(index)) return std::vector<std::string>{RowPath(row)};
  } else if (view == lvExt) {
    return std::nullopt;  // the legend selects the list's rows of its extensions
  } else if (view == FSurface && tile) {
    // Taken only when the file is among the listed ones: the actions read the list.
    return std::vector<std::string>{static_cast<const TTreemapItem*>(tile)->FullPath()};
  }
  return std::vector<std::string>{};
}

}  // namespace vd::gui
