// The complete folders tree of the "Only Folders" tab as a model over the scan
// tree itself. A drive holds hundreds of thousands of folders; one widget item
// per folder made the build slow and heavy, while the scan tree already has
// every folder in display order once its children are sorted.
//
// The model keeps one small slot per added folder (its row under its parent
// and how many of its children have been added), so a partly built tree (a
// build cancelled half-way) shows exactly the folders added so far, and the
// index of any folder is found by walking its Parent pointers: O(depth), not
// a search over the whole tree.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <cstdint>
#include <vector>

#include "core/scan/ScanModel.h"

namespace vd::gui {

class TFoldersTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit TFoldersTreeModel(QObject* parent = nullptr);

  // Starts a new tree below `root` (whose own node is not shown), room for
  // `folders` folders. The view sees nothing of it until EndBuild.
  void BeginBuild(TDirNode* root, int64_t folders);
  // Adds a folder as the last child of its parent's node. Folders must come in
  // pre-order (a folder after its parent, siblings in order), so that what has
  // been added is always a whole tree.
  void AddNode(TDirNode* dir);
  // Shows everything added since BeginBuild.
  void EndBuild();
  // Forgets the tree (before the scan tree is destroyed).
  void Clear();

  int64_t Added() const { return FAdded; }
  TDirNode* Root() const { return FRoot; }
  static TDirNode* NodeOf(const QModelIndex& index) { return static_cast<TDirNode*>(index.internalPointer()); }
  // The index of a folder's node, or an invalid one when the folder has no
  // node (not added, not below this root, or the tree not shown yet). Walks
  // the Parent chain up to the root to make sure the folder belongs here.
  QModelIndex IndexOf(const TDirNode* dir) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // Open addressing keyed by the folder's address, sized once per build.
  struct TSlot {
    const TDirNode* Key = nullptr;
    int32_t Row = 0;    // position under the parent
    int32_t Count = 0;  // children added so far
  };
  TSlot* Find(const TDirNode* dir) const;
  TSlot& Insert(const TDirNode* dir);
  size_t Home(const TDirNode* dir) const;

  std::vector<TSlot> FSlots;
  unsigned FShift = 64;
  TDirNode* FRoot = nullptr;
  int32_t FTopAdded = 0;  // top-level folders added
  int32_t FTopShown = 0;  // top-level folders the view may see
  int64_t FAdded = 0;
  QIcon FFolderIcon;
};

}  // namespace vd::gui
