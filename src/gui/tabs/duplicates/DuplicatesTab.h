// The "Duplicates" tab: a treemap that draws only duplicate files in their
// group's colour, the tree of groups and their files, and the list of groups.
// The list and the tree drive the treemap's selection; a tile click drives the
// tree.
#pragma once

#include <QItemSelection>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "common/ResultTab.h"
#include "tabs/duplicates/DupTreeModel.h"

class QSplitter;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QMouseEvent;

namespace vd::gui {

class TDuplicatesTab : public TResultTab {
  Q_OBJECT
 public:
  TDuplicatesTab(TResultsState& state, TWindowHooks& window, QWidget* parent = nullptr);

  // Pipeline stage: detection over FAllFiles, then the three views.
  void BuildDuplicates();
  // Returns false when the scan was cancelled while the tree filled.
  bool PopulateDuplicatesTree();
  void PopulateDuplicateGroupsList();
  void BuildDuplicatesMap();

  void ClearView() override;
  void RebuildTreemap() override { BuildDuplicatesMap(); }
  QString SelectionStatus() const override;
  std::vector<std::string> GatherSelectedPaths() const override;
  void AdjustBottomPanel(int windowClientWidth) override;
  std::optional<std::vector<std::string>> ItemPaths(const QWidget* view, const QModelIndex& index,
                                                    const void* tile) const override;
  void PrepareContextSelection(const QWidget* view, bool inside) override;

  QTreeView* DuplicateFiles() const { return tvDuplicateFiles; }
  TDupTreeModel* DuplicateFilesModel() const { return FTreeModel; }
  QTreeWidget* DuplicateGroups() const { return lvDuplicateGroupsColors; }
  // Tree nodes that are selected, in the order they were selected.
  QModelIndexList TreeSelectionInOrder() const;

 private:
  // The treemap's keyboard and selection queries (DuplicatesHabits.cpp).
  void WireDesktopHabits();
  // The group a row of the groups list stands for.
  static TDupGroup* GroupOfRow(const QTreeWidgetItem* row);
  void lvDuplicateGroupsColorsSelectItem(const QItemSelection& selected);
  void tvDuplicateFilesChange();
  void PaintBox4MouseDown(QMouseEvent* e);
  void PaintBox4DblClick();

  void TrackTreeSelection(const QItemSelection& selected, const QItemSelection& deselected);
  void AddTreePaths(std::vector<std::string>& paths) const;
  // The node that stands for the tree's selection in the status line.
  QModelIndex SelectedNode() const;
  void SelectTreeNode(const QModelIndex& index);
  static uint64_t NodeKey(const QModelIndex& index);
  QModelIndex NodeFromKey(uint64_t key) const;

  QWidget* Panel1 = nullptr;
  TPaintSurface* PaintBox4 = nullptr;
  QSplitter* Splitter7 = nullptr;
  QWidget* Panel3 = nullptr;
  QSplitter* FBottomSplitter = nullptr;
  QTreeView* tvDuplicateFiles = nullptr;
  TDupTreeModel* FTreeModel = nullptr;
  QTreeWidget* lvDuplicateGroupsColors = nullptr;

  // Groups the views may still show while a new detection replaces them in
  // the shared state; released once both views are refilled or cleared.
  TDupGroups FRetiredGroups;

  // Tree selection in selection order: node keys, with each live key's
  // position; stale positions are skipped and compacted away.
  std::vector<uint64_t> FSelOrder;
  std::unordered_map<uint64_t, size_t> FSelPos;
};

}  // namespace vd::gui
