// The "Only Folders" tab: the nested folders treemap on top, the complete
// folders tree at the bottom left and the legend of top-level folders at the
// right. One folder is the selected folder; the tree's selection, the
// treemap's outline and the status line follow it.
#pragma once

#include <QModelIndex>
#include <string>
#include <vector>

#include "common/ResultTab.h"

class QItemSelection;
class QMouseEvent;
class QSplitter;
class QTreeView;

namespace vd::gui {

class TFoldersTreeModel;
class TFolderLegendModel;

class TFoldersTab : public TResultTab {
  Q_OBJECT
 public:
  TFoldersTab(TResultsState& state, TWindowHooks& window, QWidget* parent = nullptr);

  // Stages of the results pipeline.
  // Sorts every folder's children in place, largest first, and builds the
  // folders tree, reporting progress every 200 folders; a cancellation ends
  // it with "Cancelled." and the folders added so far.
  void BuildFoldersTree();
  // The legend: the scan root's sub-folders (it does not depend on the
  // selected folder, and every call clears its selection and scroll position).
  void PopulateFilesOfSelectedFolder();
  void RebuildFolderTreemap();

  // The hash colour of a path, lower-cased: for a top-level folder the colour
  // its tiles have in the treemap.
  static TColor FolderPathColor(const std::string& path);

  void ClearView() override;
  void RebuildTreemap() override { RebuildFolderTreemap(); }
  QString SelectionStatus() const override;
  std::vector<std::string> GatherSelectedPaths() const override;
  void AdjustBottomPanel(int windowClientWidth) override;
  std::optional<std::vector<std::string>> ItemPaths(const QWidget* view, const QModelIndex& index,
                                                    const void* tile) const override;
  void PrepareContextSelection(const QWidget* view, bool inside) override;

  QTreeView* Tree() const { return tvFolders; }
  QTreeView* Legend() const { return lvFilesOfSelectedFolder; }
  TFoldersTreeModel* TreeModel() const { return FTreeModel; }
  TFolderLegendModel* LegendModel() const { return FLegendModel; }
  // The tree node of a folder, invalid when it has none (a build cancelled
  // before reaching it). Found by walking the folder's Parent pointers up to
  // the root, O(depth), never by searching the tree.
  QModelIndex FindFolderTreeNode(const TDirNode* dir) const;

 private:
  // Thrown by ReportTreeProgress when the scan's context reports cancellation.
  struct TTreeCancelled {};

  // The treemap's keyboard and selection queries (FoldersTabHabits.cpp).
  void WireDesktopHabits();
  int64_t CountDirs() const;
  void AddFolderNodes(int64_t total);
  void ReportTreeProgress(int64_t added, int64_t total);
  // Selects a node, shows it (expanding its ancestors) and expands it one level.
  void RevealFolderNode(const QModelIndex& node);

  void tvFoldersChange(const QItemSelection& selected, const QItemSelection& deselected);
  void PaintBox2MouseDown(QMouseEvent* e);
  void PaintBox2DblClick();
  void lvFilesOfSelectedFolderSelectItem(const QItemSelection& selected, const QItemSelection& deselected);
  void RefillLegendAfterEvent();

  QWidget* pnlTop_Folders = nullptr;
  TPaintSurface* PaintBox2 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QWidget* pnlBottom2 = nullptr;
  QSplitter* FBottomSplitter = nullptr;
  QTreeView* tvFolders = nullptr;
  QTreeView* lvFilesOfSelectedFolder = nullptr;
  TFoldersTreeModel* FTreeModel = nullptr;
  TFolderLegendModel* FLegendModel = nullptr;

  // Set while the legend delivers a selection: a refill of the legend then
  // waits until the list has finished with its event.
  bool FInLegendSelect = false;
  bool FLegendRefillPending = false;
};

}  // namespace vd::gui
