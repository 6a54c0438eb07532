// The treemap of duplicates: only files that belong to a duplicate group, laid
// out inside the folders that hold them. Folders are sized by the duplicate
// bytes below them and drawn silver; every file has its group's colour.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/results/Duplicates.h"
#include "core/layout/TreemapBase.h"
#include "core/layout/TreemapIndex.h"

namespace vd {

enum class TDupKind : uint8_t { dkDir, dkFile };

constexpr TColor kDupFolderColor = 0xC0C0C0;
constexpr TColor kDupUnknownColor = 0x808080;

// One tile; it refers to its folder or file in the scan tree.
class TDupItem {
 public:
  TRect Rect;  // the cell, inset by 1 when at least 10 x 10

  TDupKind Kind() const { return FKind; }
  int32_t Depth() const { return FDepth; }  // 0 for the root's direct content
  TDirNode* Dir() const { return FKind == TDupKind::dkDir ? static_cast<TDirNode*>(FObj) : nullptr; }
  TFileLeaf* FileLeaf() const { return FKind == TDupKind::dkFile ? static_cast<TFileLeaf*>(FObj) : nullptr; }
  std::string FullPath() const;
  // The path key of FullPath.
  std::string UpperPath() const;
  // A folder's duplicate bytes, a file's Size.
  int64_t Size() const { return FKind == TDupKind::dkDir ? FDupBytes : FileLeaf()->Size(); }
  // Silver for a folder; a file's group colour as the build found it.
  TColor Color() const { return FKind == TDupKind::dkDir ? kDupFolderColor : FColor; }

 private:
  friend class TDupTreemapLayout;
  TDupItem(const TRect& r, TDupKind kind, int32_t depth, void* obj) : Rect(r), FObj(obj), FDepth(depth), FKind(kind) {}
  void* FObj;
  union {
    int64_t FDupBytes;  // folders
    TColor FColor;      // files
  };
  int32_t FDepth;
  TDupKind FKind;
};

class TDupTreemapLayout {
 public:
  using TEntry = TObjEntry;

  void Clear();
  // colorByFileUpper: file -> group colour; a file counts as a duplicate
  // exactly when it is in it. Read during the build only.
  void BuildFromRootDuplicates(TDirNode* root, const TDupColorMap* colorByFileUpper, const TRect& target);
  // Inside a TPumpScope the build runs beside the caller into a layout of its
  // own: until it ends, this one stays as it was for painting and hit tests.
  void Paint(TCanvas& canvas) const;
  // The deepest tile holding p, or null.
  const TDupItem* HitTest(TPoint p) const;

  void ClearSelection();
  void SetSingleSelected(const TDupItem* item);
  void ToggleSelected(const TDupItem* item);
  void SetSelectedByUpperPaths(const std::vector<std::string>& paths);
  // The selection of whole groups: by the files themselves, not by their
  // paths, whose keys together can outweigh the tree many times over (a group
  // of thousands of files deep in a tree).
  void SetSelectedFiles(const std::vector<const TFileLeaf*>& files);
  const TDupItem* Primary() const { return FPrimary; }
  bool IsSelected(const TDupItem* item) const;
  bool IsPathSelected(std::string_view path) const;
  size_t SelectedCount() const { return FSelected.Count() + FSelectedFiles.size(); }

  const TDupItem* GetItemByPath(std::string_view fullPath) const;
  const std::vector<TDupItem>& Items() const { return FItems; }
  size_t MemoryBytes() const;

 private:
  struct TPending {
    TEntry Entry;
    TRect Cell;
    int32_t Depth;
  };
  void ComputeDupBytes();
  void BuildFromRootDuplicatesHere(TDirNode* root, const TDupColorMap* colorByFileUpper, const TRect& target);
  int64_t DupBytes(const TDirNode* node) const;
  // The group colour of a duplicate file, null for any other file.
  const TColor* DupColor(const TFileLeaf* f) const;
  void BuildDirDupOnly(TDirNode* node, const TRect& r, int32_t depth);
  void PlaceEntry(const TEntry& e, const TRect& cell, int32_t depth);
  uint32_t FindIndex(const std::string& key) const;
  void PaintSelectedFiles(TCanvas& canvas) const;

  std::vector<TDupItem> FItems;
  TPathIndex FByUpperPath;
  bool FKeysUnique = true;
  TPathSelection FSelected;
  std::unordered_set<const TFileLeaf*> FSelectedFiles;
  const TDupItem* FPrimary = nullptr;
  const TDupColorMap* FColorByFileUpper = nullptr;
  std::unordered_map<const TDirNode*, int64_t> FDupBytesMemo;

  // Build scratch.
  std::vector<TEntry> FEntries;
  std::vector<TPending> FPending, FPlaced;
};

}  // namespace vd
