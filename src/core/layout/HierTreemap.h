// The treemap of folders and files together: every folder's tile holds its own
// sub-folders and files as squarified tiles sized by bytes, with no margin.
// Files are coloured by extension; folders are only framed.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/layout/TreemapBase.h"
#include "core/layout/TreemapIndex.h"

namespace vd {

enum class THierKind : uint8_t { hkDir, hkFile };

// One tile; it refers to its folder or file in the scan tree.
class THierItem {
 public:
  TRect Rect;  // the cell, inset by 1 when at least 10 x 10

  THierKind Kind() const { return FKind; }
  int32_t Depth() const { return FDepth; }  // 0 for the root's direct content
  TDirNode* Dir() const { return FKind == THierKind::hkDir ? static_cast<TDirNode*>(FObj) : nullptr; }
  TFileLeaf* FileLeaf() const { return FKind == THierKind::hkFile ? static_cast<TFileLeaf*>(FObj) : nullptr; }
  std::string FullPath() const;
  // The path key of FullPath.
  std::string UpperPath() const;
  // A file's extension key (lower-cased with its dot, or "(none)"); empty for a folder.
  std::string_view ExtLower() const;
  // The folder's TotalSize or the file's Size.
  int64_t Size() const;

 private:
  friend class THierTreemapLayout;
  THierItem(const TRect& r, THierKind kind, int32_t depth, void* obj) : Rect(r), FObj(obj), FDepth(depth), FKind(kind) {}
  void* FObj;
  int32_t FDepth;
  THierKind FKind;
};

class THierTreemapLayout {
 public:
  using TEntry = TObjEntry;

  void Clear();
  void BuildFromRootSquarified(TDirNode* root, const TRect& target);
  // Inside a TPumpScope the build runs beside the caller into a layout of its
  // own: until it ends, this one stays as it was for painting and hit tests.
  void Paint(TCanvas& canvas) const;
  // The deepest tile holding p, or null.
  const THierItem* HitTest(TPoint p) const;

  void ClearSelection();
  void SetSingleSelected(const THierItem* item);
  void ToggleSelected(const THierItem* item);
  void SetSelectedByUpperPaths(const std::vector<std::string>& paths);
  void SetSelectedByExts(const std::vector<std::string>& extsLower);
  const THierItem* Primary() const { return FPrimary; }
  bool IsSelected(const THierItem* item) const;
  bool IsPathSelected(std::string_view path) const;
  size_t SelectedCount() const { return FSelected.Count(); }

  const THierItem* GetItemByPath(std::string_view fullPath) const;
  // The file tiles of an extension (any spelling), in placement order.
  std::vector<const THierItem*> ItemsOfExt(std::string_view ext) const;
  const std::vector<THierItem>& Items() const { return FItems; }

  static TColor ExtColor(std::string_view key);
  size_t MemoryBytes() const;

 private:
  struct TPending {
    TEntry Entry;
    TRect Cell;
    int32_t Depth;
  };
  void BuildDir(TDirNode* dir, const TRect& r, int32_t depth);
  void BuildFromRootSquarifiedHere(TDirNode* root, const TRect& target);
  void PlaceEntry(const TEntry& e, const TRect& cell, int32_t depth);
  uint32_t FindIndex(const std::string& key) const;

  std::vector<THierItem> FItems;
  TPathIndex FByUpperPath;
  bool FKeysUnique = true;
  std::unordered_map<std::string_view, std::vector<uint32_t>> FByExt;  // key text lives in the scan tree
  TPathSelection FSelected;
  const THierItem* FPrimary = nullptr;

  // Build scratch.
  std::vector<TEntry> FEntries;
  std::vector<TPending> FPending, FPlaced;
  const TExtKey* FLastExt = nullptr;  // neighbouring files often share one
  std::vector<uint32_t>* FLastExtList = nullptr;
};

}  // namespace vd
