// The treemap of single files: every file one tile, largest first, in rows
// whose heights follow their bytes, each tile coloured by its extension.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/layout/TreemapBase.h"
#include "core/layout/TreemapIndex.h"

namespace vd {

// One tile. It refers to its file in the scan tree instead of copying it.
class TTreemapItem {
 public:
  TRect Rect;  // the cell as laid out, no inset; may be empty
  TFileLeaf* Leaf = nullptr;

  std::string_view DisplayText() const { return Leaf->Name(); }
  std::string FullPath() const { return Leaf->FullPath(); }
  std::string_view Ext() const { return Leaf->Ext(); }
  int64_t Size() const { return Leaf->Size(); }
  // The path key of FullPath.
  std::string UpperPath() const;
};

class TTreemapLayout {
 public:
  void Clear();
  // Lays out every file (the array is neither changed nor kept) in target.
  // Inside a TPumpScope the work runs beside the caller into a layout of its
  // own: until it ends, this one stays as it was for painting and hit tests.
  // A set stop ends the work early with no tiles.
  void BuildFromFiles(const std::vector<TFileLeaf*>& files, const TRect& target,
                      const std::atomic<bool>* stop = nullptr);
  void Paint(TCanvas& canvas) const;
  // The tile under p, or null.
  const TTreemapItem* HitTest(TPoint p) const;

  void ClearSelection();
  void SetSingleSelected(const TTreemapItem* item);
  void ToggleSelected(const TTreemapItem* item);
  void SetSelectedByPaths(const std::vector<std::string>& paths);
  bool HasSelection() const { return !FSelectedPaths.Empty(); }
  bool IsSelected(const TTreemapItem* item) const;
  bool IsPathSelected(std::string_view path) const;
  size_t SelectedCount() const { return FSelectedPaths.Count(); }

  const TTreemapItem* GetItemByPath(std::string_view fullPath) const;
  const TTreemapItem* GetLargestItemByExt(std::string_view ext) const;
  const TTreemapItem* Primary() const { return FPrimary; }
  const std::vector<TTreemapItem>& Items() const { return FItems; }

  // The colour of an extension, in any letter case: the hash colour of its key.
  static TColor ColorForExt(std::string_view ext);

  // Bytes held by the tiles and look-ups (the selection not counted).
  size_t MemoryBytes() const;

 private:
  uint32_t IndexOf(const TTreemapItem* item) const { return uint32_t(item - FItems.data()); }
  // largest: each extension key's first tile.
  void IndexItems(const std::unordered_map<const TExtKey*, uint32_t>& largest);
  void BuildHere(const std::vector<TFileLeaf*>& files, const TRect& target, const std::atomic<bool>* stop);

  std::vector<TTreemapItem> FItems;
  size_t FShownEnd = 0;  // tiles from here on are all empty
  const TTreemapItem* FPrimary = nullptr;
  TPathSelection FSelectedPaths;
  TPathIndex FByPath;
  bool FKeysUnique = true;
  std::unordered_map<std::string_view, uint32_t> FByExtLargest;  // key text lives in the scan tree
};

}  // namespace vd
