// The "Duplicates" tab: a treemap that draws only duplicate files in their
// group's colour, the tree of groups and their files, and the list of groups.
// The list and the tree drive the treemap's selection; a tile click drives the
// tree. Once the results are built, a content check in the background fills
// the tree's second column, and "Select Copies" selects the files that hold
// the same bytes as an older member of their group (DuplicatesContent.cpp).
#pragma once

#include <QItemSelection>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/ResultTab.h"
#include "tabs/duplicates/DupTreeModel.h"

class QLabel;
class QSplitter;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QMouseEvent;

namespace vd::gui {

class TContentCheckRun;

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
  std::vector<TKeptCopy> SelectedCopies() const override;

  QTreeView* DuplicateFiles() const { return tvDuplicateFiles; }
  TDupTreeModel* DuplicateFilesModel() const { return FTreeModel; }
  QTreeWidget* DuplicateGroups() const { return lvDuplicateGroupsColors; }
  // Tree nodes that are selected, in the order they were selected.
  QModelIndexList TreeSelectionInOrder() const;

  // ---- Content check ----
  // Starts the check over the groups shown; the window calls it once the
  // results are built. The groups and the tree must then stay as they are
  // until CancelContentCheck.
  void StartContentCheck();
  // Stops a running check, at once: the tree may go as soon as it returns.
  void CancelContentCheck();
  bool ContentCheckRunning() const;
  TContentCheckRun* ContentCheck() const { return FContentRun; }
  QToolButton* SelectCopiesButton() const { return btnSelectCopies; }
  // Files and folders moved to the trash or deleted, by any tab: their
  // members leave their groups' verdicts, so that a content left with one
  // file has no copy to select.
  void ForgetRemoved(const std::vector<std::string>& paths);

 public slots:
  // "Select Copies": in every group, the files identical in content to an
  // older member, selected for Trash and Delete; one file of each content
  // stays unselected. Does nothing until the check has ended whole.
  void SelectCopies();

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
  // The same files themselves, for the treemap's selection.
  void AddTreeFiles(std::vector<const TFileLeaf*>& files) const;
  // The node that stands for the tree's selection in the status line.
  QModelIndex SelectedNode() const;
  void SelectTreeNode(const QModelIndex& index);
  static uint64_t NodeKey(const QModelIndex& index);
  QModelIndex NodeFromKey(uint64_t key) const;
  QWidget* BuildContentStrip();
  void ContentCheckEnded();
  void ShowContentSummary(const QString& text);
  // The line above the tree and the button, from the verdicts as they are now.
  void ShowVerdicts();
  // The members in `gone` leave their groups' verdicts.
  void TakeOutOfVerdicts(const std::unordered_set<const TFileLeaf*>& gone);
  QString CopiesStatus() const;
  // A selection made by hand replaces the one Select Copies made.
  void DropCopiesSelection();

  QWidget* Panel1 = nullptr;
  TPaintSurface* PaintBox4 = nullptr;
  QSplitter* Splitter7 = nullptr;
  QWidget* Panel3 = nullptr;
  QSplitter* FBottomSplitter = nullptr;
  QTreeView* tvDuplicateFiles = nullptr;
  TDupTreeModel* FTreeModel = nullptr;
  QTreeWidget* lvDuplicateGroupsColors = nullptr;
  QToolButton* btnSelectCopies = nullptr;
  QLabel* lblContentSummary = nullptr;
  TContentCheckRun* FContentRun = nullptr;
  // What Select Copies selects, known once the check has ended whole.
  std::vector<TCopyOf> FCopyCandidates;
  // The selection Select Copies made, beyond the 500 files a group shows
  // too, while FCopiesSelected; dropped as soon as the user picks anything
  // else on the tab.
  std::vector<TCopyOf> FCopies;
  bool FCopiesSelected = false;
  // Removed while the check ran, to be taken out of its verdicts when it ends.
  std::unordered_set<const TFileLeaf*> FRemovedDuringCheck;
  bool FSelectingCopies = false;

  // Groups the views may still show while a new detection replaces them in
  // the shared state; released once both views are refilled or cleared.
  TDupGroups FRetiredGroups;

  // Tree selection in selection order: node keys, with each live key's
  // position; stale positions are skipped and compacted away.
  std::vector<uint64_t> FSelOrder;
  std::unordered_map<uint64_t, size_t> FSelPos;
};

}  // namespace vd::gui
