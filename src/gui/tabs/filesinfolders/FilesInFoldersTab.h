// The "Files in Folders" tab: the hierarchical treemap of folders and files, the
// folders-and-files tree below it (filled one folder at a time, as folders are
// expanded) and the extension legend at its right, kept in step.
#pragma once

#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <memory>
#include <vector>

#include "common/ResultTab.h"

class QSplitter;

namespace vd::gui {

// Marks the "(loading)" child that a folder node carries until it is first
// expanded. Each placeholder owns its own instance.
class TTreeDummy {
 public:
  TTreeDummy() { ++FLive; }
  ~TTreeDummy() { --FLive; }
  TTreeDummy(const TTreeDummy&) = delete;
  TTreeDummy& operator=(const TTreeDummy&) = delete;
  // How many exist right now, so a leak shows up.
  static int Live() { return FLive; }

 private:
  static inline int FLive = 0;
};

// A node of tvFoldersAndFiles. It carries exactly one of: a folder, a file, a
// placeholder, or nothing. Folders and files belong to the scan tree.
class TNodeItem : public QTreeWidgetItem {
 public:
  static constexpr int kType = QTreeWidgetItem::UserType + 31;
  TNodeItem() : QTreeWidgetItem(kType) {}

  TDirNode* Dir = nullptr;
  TFileLeaf* Leaf = nullptr;
  std::unique_ptr<TTreeDummy> Dummy;

  // The node's data, for look-ups by object.
  const void* Data() const {
    if (Dir) return Dir;
    if (Leaf) return Leaf;
    return Dummy.get();
  }
};

class TFilesInFoldersTab : public TResultTab {
  Q_OBJECT
 public:
  TFilesInFoldersTab(TResultsState& state, TWindowHooks& window, QWidget* parent = nullptr);
  ~TFilesInFoldersTab() override;

  void ClearView() override;
  void RebuildTreemap() override { RebuildHierTreemap(); }
  QString SelectionStatus() const override;
  std::vector<std::string> GatherSelectedPaths() const override;
  void AdjustBottomPanel(int windowClientWidth) override;
  std::optional<std::vector<std::string>> ItemPaths(const QWidget* view, const QModelIndex& index,
                                                    const void* tile) const override;

  // Pipeline stages, in this order after a scan.
  void BuildFoldersAndFilesTree();
  void PopulateFileExtensionsList();
  void RebuildHierTreemap();

  // Sorts every folder's sub-folders and files in place, largest first; the
  // scan tree keeps that order.
  static void SortDir(TDirNode* dir);

  // Revealing a file whose node may lie under folders never expanded.
  // Chain receives the file's folder first and `dir` last.
  static bool FindFileAncestors(TDirNode* dir, const TFileLeaf* leaf, std::vector<TDirNode*>& chain);
  void ExpandAncestorNodes(const std::vector<TDirNode*>& chain);
  void RevealFileInTree(const TFileLeaf* leaf, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // The node carrying `obj`, among the nodes created so far.
  TNodeItem* FindTreeNodeByData(const void* obj) const;

  // The selected nodes, the most recently selected first.
  std::vector<TNodeItem*> SelectedNodesInOrder() const;

  // Handlers.
  void tvFoldersAndFilesExpanding(QTreeWidgetItem* node);
  void tvFoldersAndFilesDeletion(QTreeWidgetItem* node);
  void tvFoldersAndFilesChange();
  void tvFileExtensionsSelectItem();
  void PaintBox3MouseDown(QMouseEvent* event);
  void PaintBox3DblClick();

  QWidget* pnlTop_FilesInFolders = nullptr;
  TPaintSurface* PaintBox3 = nullptr;
  QSplitter* Splitter6 = nullptr;
  QWidget* Panel2 = nullptr;
  QSplitter* FBottomSplitter = nullptr;
  QTreeWidget* tvFoldersAndFiles = nullptr;
  QTreeWidget* tvFileExtensions = nullptr;

  // Legend rows carry their extension key's exact bytes under this role.
  static constexpr int kExtKeyRole = Qt::UserRole + 1;

 private:
  void CreateControls();
  // The treemap's keyboard and selection queries (FilesInFoldersHabits.cpp).
  void WireDesktopHabits();
  TNodeItem* NewDirNode(TDirNode* dir);
  TNodeItem* NewFileNode(TFileLeaf* leaf);
  void AddDirNode(TNodeItem* parent, TDirNode* dir);
  void Index(TNodeItem* node);
  // Makes `node` the tree's selected node as a click with `modifiers` would.
  void SelectNodeAsClick(TNodeItem* node, Qt::KeyboardModifiers modifiers);
  // Whether a node's row is on screen: every folder above it expanded.
  bool IsOnScreen(const QTreeWidgetItem* item) const;
  // Expands the folders above a node, from the top down.
  void ShowNode(TNodeItem* node);
  void OnTreeSelectionChanged();
  void TrackSelectionOrder();
  void ForgetNode(TNodeItem* node);
  // Keeps a node taken out of the tree until control is back in the event loop.
  void RetireNode(QTreeWidgetItem* item);
  bool eventFilter(QObject* watched, QEvent* event) override;
  void ScheduleFitTreeColumn();
  void FitTreeColumn();

  // Selected nodes, the most recent last. Qt's selection model keeps no order.
  std::vector<TNodeItem*> FSelOrder;
  // Every node created so far by the object it carries.
  QHash<const void*, TNodeItem*> FNodeByData;
  std::vector<std::unique_ptr<QTreeWidgetItem>> FRetiredNodes;
  bool FTrackingPaused = false;
  bool FFitPending = false;
};

}  // namespace vd::gui
