// The treemap of folders only: the scan root's sub-folders as squarified tiles
// sized by their bytes, each folder's sub-folders nested inside it with a
// margin that shrinks with depth, coloured per top-level folder.
#pragma once

#include <vector>

#include "core/layout/TreemapBase.h"
#include "core/layout/TreemapIndex.h"

namespace vd {

struct TFolderMapItem {
  TRect Rect;               // the cell, inset by 1 when at least 10 x 10
  TDirNode* Node = nullptr;
  int32_t Depth = 0;        // 1 for the root's sub-folders
  TColor BaseColor = 0;     // the hash colour of the top-level ancestor
};

class TFolderTreemapLayout {
 public:
  struct TEntry {
    double Area = 0;
    int64_t Weight = 0;
    TDirNode* Node = nullptr;
    TColor BaseColor = 0;
  };

  void Clear();
  void BuildFromRoot(TDirNode* root, const TRect& target);
  void Paint(TCanvas& canvas) const;
  // The deepest folder whose tile holds p, or null.
  TDirNode* HitTest(TPoint p) const;
  // The tile of a folder, or null.
  const TFolderMapItem* ItemOfNode(const TDirNode* node) const;
  const std::vector<TFolderMapItem>& Items() const { return FItems; }

  // The folder Paint outlines; only Clear (and so every build) resets it.
  TDirNode* SelectedNode = nullptr;
  // The folder under the mouse, kept for the view; Clear resets it.
  TDirNode* HoverNode = nullptr;

  // The margin between a folder's tile and its sub-folders, by their level.
  static int32_t LevelInset(int32_t level);
  static TColor FolderColor(const TDirNode* node);
  size_t MemoryBytes() const;

 private:
  struct TPending {
    TEntry Entry;
    TRect Cell;
    int32_t Depth;
  };
  void Place(const std::vector<TEntry>& entries, const TRect& r, int32_t depth);
  void PlaceEntry(const TEntry& e, const TRect& cell, int32_t depth);
  void BuildDirFoldersOnly(TDirNode* node, const TRect& r, int32_t level, TColor baseColor);

  std::vector<TFolderMapItem> FItems;
  TPathIndex FByNode;  // keyed by the node's address
  std::vector<TEntry> FEntries;
  std::vector<TPending> FPending, FPlaced;
};

}  // namespace vd
