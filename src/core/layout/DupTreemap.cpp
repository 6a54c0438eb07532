#include "core/layout/DupTreemap.h"

#include <algorithm>

#include "platform/Platform.h"

namespace vd {

std::string TDupItem::FullPath() const {
  return FKind == TDupKind::dkDir ? Dir()->FullPath() : FileLeaf()->FullPath();
}

std::string TDupItem::UpperPath() const { return platform::PathKey(FullPath()); }

void TDupTreemapLayout::Clear() {
  FItems = {};
  FByUpperPath.Clear();
  FKeysUnique = true;
  FSelected.Clear();
  FDupBytesMemo = {};
  FFileColors = {};
  FColorKeyHashes = {};
  FPrimary = nullptr;
  FColorByFileUpper = nullptr;
}

const TColor* TDupTreemapLayout::LookUpDupColor(const TFileLeaf* f) {
  if (!FColorByFileUpper || FColorByFileUpper->empty()) return nullptr;
  // Most files are no duplicates: their hash rules them out without a key,
  // usually by one bit of a small filter before the sorted list is searched.
  const uint32_t h = FKeys.FileKeyHash(f);
  const uint32_t bit = h & (kHashFilterBits - 1);
  if (!(FHashFilter[bit >> 6] >> (bit & 63) & 1)) return nullptr;
  if (!std::binary_search(FColorKeyHashes.begin(), FColorKeyHashes.end(), h)) return nullptr;
  const auto it = FColorByFileUpper->find(FKeys.FileKey(f));
  return it == FColorByFileUpper->end() ? nullptr : &it->second;
}

const TColor* TDupTreemapLayout::DupColor(const TFileLeaf* f) const {
  const auto it = FFileColors.find(f);
  return it == FFileColors.end() ? nullptr : &it->second;
}

// Every folder's duplicate bytes in one bottom-up pass, so each folder costs
// the build once; only folders with duplicates below them are stored.
void TDupTreemapLayout::ComputeDupBytes(TDirNode* root) {
  std::vector<TDirNode*> order{root};
  for (size_t i = 0; i < order.size(); ++i) order.insert(order.end(), order[i]->Children.begin(), order[i]->Children.end());
  for (size_t i = order.size(); i-- > 0;) {
    const TDirNode* n = order[i];
    int64_t sum = 0;
    for (const TFileLeaf* f : n->Leaves) {
      if (const TColor* c = LookUpDupColor(f)) {
        sum += f->Size;
        FFileColors.emplace(f, *c);
      }
    }
    for (const TDirNode* c : n->Children) sum += DupBytes(c);
    if (sum != 0) FDupBytesMemo[n] = sum;
  }
}

int64_t TDupTreemapLayout::DupBytes(const TDirNode* node) const {
  if (!node) return 0;
  const auto it = FDupBytesMemo.find(node);
  return it == FDupBytesMemo.end() ? 0 : it->second;
}

void TDupTreemapLayout::BuildFromRootDuplicates(TDirNode* root, const TDupColorMap* colorByFileUpper,
                                                const TRect& target) {
  Clear();
  if (!root || IsRectEmpty(target)) return;
  FColorByFileUpper = colorByFileUpper;
  if (FColorByFileUpper && !FColorByFileUpper->empty()) {
    FColorKeyHashes.reserve(FColorByFileUpper->size());
    FHashFilter.assign(kHashFilterBits / 64, 0);
    for (const auto& [key, colour] : *FColorByFileUpper) {
      const uint32_t h = PathKeyHash(key);
      FColorKeyHashes.push_back(h);
      const uint32_t bit = h & (kHashFilterBits - 1);
      FHashFilter[bit >> 6] |= uint64_t(1) << (bit & 63);
    }
    std::sort(FColorKeyHashes.begin(), FColorKeyHashes.end());
    ComputeDupBytes(root);
  }
  if (DupBytes(root) > 0) BuildDirDupOnly(root, target, 0);
  // Nesting runs on an explicit stack, so any depth of folders is safe; a
  // folder's tile still comes right before everything inside it.
  while (!FPending.empty()) {
    const TPending p = FPending.back();
    FPending.pop_back();
    PlaceEntry(p.Entry, p.Cell, p.Depth);
  }
  FItems.shrink_to_fit();
  FByUpperPath.Reset(FItems.size());
  for (uint32_t i = 0; i < FItems.size(); ++i) {
    if (!FIndexed[i]) continue;
    const bool replaced = FByUpperPath.Insert(FHashes[i], i, [&](uint32_t other) {
      return FItems[other].UpperPath() == FItems[i].UpperPath();
    });
    if (replaced) FKeysUnique = false;
  }
  FEntries = {};
  FPending = {};
  FPlaced = {};
  FHashes = {};
  FIndexed = {};
  FFileColors = {};
  FColorKeyHashes = {};
  FHashFilter = {};
  FDupBytesMemo = {};  // folder tiles keep their own bytes
  FKeys.Clear();
}

void TDupTreemapLayout::BuildDirDupOnly(TDirNode* node, const TRect& r, int32_t depth) {
  if (!node || IsRectEmpty(r)) return;
  FEntries.clear();
  int64_t total = 0;
  for (TDirNode* c : node->Children) {
    const int64_t b = DupBytes(c);
    if (b <= 0) continue;
    FEntries.push_back({0, b, c, true});
    total += b;
  }
  for (TFileLeaf* f : node->Leaves) {
    if (!DupColor(f)) continue;
    FEntries.push_back({0, f->Size, f, false});
    total += f->Size;
  }
  if (!ApportionAndSort(FEntries, total, r)) return;
  FPlaced.clear();
  Squarify(FEntries, r, depth, [this](const TEntry& e, const TRect& cell, int32_t d) {
    if (!IsRectEmpty(cell)) FPlaced.push_back({e, cell, d});
  });
  FPending.insert(FPending.end(), FPlaced.rbegin(), FPlaced.rend());
}

void TDupTreemapLayout::PlaceEntry(const TEntry& e, const TRect& cell, int32_t depth) {
  TRect r;
  if (!TileRectOfCell(cell, r)) return;
  if (e.IsDir) {
    TDupItem it(r, TDupKind::dkDir, depth, e.Obj);
    it.FDupBytes = DupBytes(e.Dir());
    FItems.push_back(it);
    const std::string& key = FKeys.DirKey(e.Dir());
    FHashes.push_back(PathKeyHash(key));
    FIndexed.push_back(key.empty() ? 0 : 1);
    BuildDirDupOnly(e.Dir(), r, depth + 1);
  } else {
    TDupItem it(r, TDupKind::dkFile, depth, e.Obj);
    const TColor* c = DupColor(e.File());
    it.FColor = c ? *c : kDupUnknownColor;
    FItems.push_back(it);
    FHashes.push_back(FKeys.FileKeyHash(e.File()));
    FIndexed.push_back(1);  // a file's path always has its name
  }
}

uint32_t TDupTreemapLayout::FindIndex(const std::string& key) const {
  if (key.empty()) return TPathIndex::kNone;
  return FByUpperPath.Find(PathKeyHash(key), [&](uint32_t t) { return FItems[t].UpperPath() == key; });
}

void TDupTreemapLayout::Paint(TCanvas& canvas) const {
  PaintBackground(canvas);
  for (const TDupItem& it : FItems) {
    if (IsRectEmpty(it.Rect)) continue;
    FillTile(canvas, it.Rect, it.Color());
    FrameTile(canvas, it.Rect);
  }
  if (FSelected.Empty()) return;
  const std::vector<uint8_t>& marks = FSelected.Marks(
      FItems.size(), FKeysUnique, [&](const std::string& k) { return FindIndex(k); },
      [&](size_t i) { return FItems[i].UpperPath(); }, [&](size_t i) { return !IsRectEmpty(FItems[i].Rect); });
  for (size_t i = 0; i < FItems.size(); ++i)
    if (marks[i] && !IsRectEmpty(FItems[i].Rect)) OutlineSelected(canvas, FItems[i].Rect);
}

const TDupItem* TDupTreemapLayout::HitTest(TPoint p) const {
  for (size_t i = FItems.size(); i-- > 0;)
    if (PtInRect(FItems[i].Rect, p)) return &FItems[i];
  return nullptr;
}

void TDupTreemapLayout::ClearSelection() {
  FSelected.Clear();
  FPrimary = nullptr;
}

void TDupTreemapLayout::SetSingleSelected(const TDupItem* item) {
  ClearSelection();
  if (!item) return;
  std::string key = item->UpperPath();
  if (key.empty()) return;
  FSelected.Add(std::move(key));
  FPrimary = item;
}

void TDupTreemapLayout::ToggleSelected(const TDupItem* item) {
  if (!item) return;
  std::string key = item->UpperPath();
  if (key.empty()) return;
  if (FSelected.Contains(key)) {
    FSelected.Remove(key);
    if (FPrimary && FPrimary->UpperPath() == key) FPrimary = nullptr;
  } else {
    FSelected.Add(std::move(key));
    FPrimary = item;
  }
}

void TDupTreemapLayout::SetSelectedByUpperPaths(const std::vector<std::string>& paths) {
  ClearSelection();
  for (const std::string& p : paths)
    if (!p.empty()) FSelected.Add(platform::PathKey(p));
  for (const std::string& p : paths) {
    if (const TDupItem* it = GetItemByPath(p)) {
      FPrimary = it;
      break;
    }
  }
}

bool TDupTreemapLayout::IsSelected(const TDupItem* item) const {
  return item && FSelected.Contains(item->UpperPath());
}

bool TDupTreemapLayout::IsPathSelected(std::string_view path) const {
  return FSelected.Contains(platform::PathKey(path));
}

const TDupItem* TDupTreemapLayout::GetItemByPath(std::string_view fullPath) const {
  const uint32_t i = FindIndex(platform::PathKey(fullPath));
  return i == TPathIndex::kNone ? nullptr : &FItems[i];
}

size_t TDupTreemapLayout::MemoryBytes() const {
  return sizeof(*this) + FItems.capacity() * sizeof(TDupItem) + FByUpperPath.MemoryBytes() +
         FDupBytesMemo.bucket_count() * sizeof(void*) + FDupBytesMemo.size() * 32;
}

}  // namespace vd
