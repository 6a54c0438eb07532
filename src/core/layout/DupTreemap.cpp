#include "core/layout/DupTreemap.h"

#include <algorithm>

#include "core/results/Beside.h"
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
  FPrimary = nullptr;
  FColorByFileUpper = nullptr;
}

const TColor* TDupTreemapLayout::DupColor(const TFileLeaf* f) const {
  return FColorByFileUpper ? FColorByFileUpper->Find(f) : nullptr;
}

// Every folder's duplicate bytes, from the duplicates up. The rest of the tree
// is never visited, however large it is, and each folder on the way up only
// once: walking the whole chain above every folder with duplicates costs
// depth times folders, in a deep tree far more than the tree itself.
void TDupTreemapLayout::ComputeDupBytes() {
  std::unordered_map<const TDirNode*, int64_t> own;
  FColorByFileUpper->ForEach([&](const TFileLeaf* f, TColor) { own[f->Parent()] += f->Size(); });
  // Each folder after its parent: the chain a walk up finds is put in top down.
  std::vector<const TDirNode*> order;
  for (const auto& [dir, bytes] : own) {
    const size_t from = order.size();
    for (const TDirNode* d = dir; d && FDupBytesMemo.try_emplace(d, 0).second; d = d->Parent) order.push_back(d);
    std::reverse(order.begin() + ptrdiff_t(from), order.end());
  }
  for (size_t i = order.size(); i-- > 0;) {
    const TDirNode* d = order[i];
    int64_t& bytes = FDupBytesMemo[d];
    if (const auto it = own.find(d); it != own.end()) bytes += it->second;
    if (d->Parent) FDupBytesMemo[d->Parent] += bytes;
  }
}

int64_t TDupTreemapLayout::DupBytes(const TDirNode* node) const {
  if (!node) return 0;
  const auto it = FDupBytesMemo.find(node);
  return it == FDupBytesMemo.end() ? 0 : it->second;
}

void TDupTreemapLayout::BuildFromRootDuplicates(TDirNode* root, const TDupColorMap* colorByFileUpper, const TRect& target) {
  TDupTreemapLayout fresh;
  TPumpScope::Run([&] { fresh.BuildFromRootDuplicatesHere(root, colorByFileUpper, target); });
  *this = std::move(fresh);
}

void TDupTreemapLayout::BuildFromRootDuplicatesHere(TDirNode* root, const TDupColorMap* colorByFileUpper, const TRect& target) {
  Clear();
  if (!root || IsRectEmpty(target)) return;
  FColorByFileUpper = colorByFileUpper;
  if (FColorByFileUpper && !FColorByFileUpper->empty()) ComputeDupBytes();
  if (DupBytes(root) > 0) BuildDirDupOnly(root, target, 0);
  // Nesting runs on an explicit stack, so any depth of folders is safe; a
  // folder's tile still comes right before everything inside it.
  while (!FPending.empty()) {
    const TPending p = FPending.back();
    FPending.pop_back();
    PlaceEntry(p.Entry, p.Cell, p.Depth);
  }
  FItems.shrink_to_fit();
  FEntries = {};
  FPending = {};
  FPlaced = {};
  FDupBytesMemo = {};  // folder tiles keep their own bytes
  const std::vector<uint32_t> hashes = PathKeyHashes(
      FItems.size(), [&](size_t i) { return TTreeObj{FItems[i].FObj, FItems[i].Kind() == TDupKind::dkDir}; });
  // A folder without a path (the synthetic root of all drives) is not entered.
  FKeysUnique = !FByUpperPath.Build(
      hashes,
      [&](uint32_t i) {
        // Only a root's path can be empty, and it is the one path at hand.
        const TDirNode* d = FItems[i].Dir();
        return !d || !d->IsRoot() || !d->FullPath().empty();
      },
      [&](uint32_t a, uint32_t b) { return FItems[a].UpperPath() == FItems[b].UpperPath(); });
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
    FEntries.push_back({0, f->Size(), f, false});
    total += f->Size();
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
    BuildDirDupOnly(e.Dir(), r, depth + 1);
  } else {
    TDupItem it(r, TDupKind::dkFile, depth, e.Obj);
    const TColor* c = DupColor(e.File());
    it.FColor = c ? *c : kDupUnknownColor;
    FItems.push_back(it);
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
  if (!FSelectedFiles.empty()) PaintSelectedFiles(canvas);
  if (FSelected.Empty()) return;
  const std::vector<uint8_t>& marks = FSelected.Marks(
      FItems.size(), FKeysUnique, [&](const std::string& k) { return FindIndex(k); },
      [&](size_t i) { return FItems[i].UpperPath(); }, [&](size_t i) { return !IsRectEmpty(FItems[i].Rect); });
  for (size_t i = 0; i < FItems.size(); ++i)
    if (marks[i] && !IsRectEmpty(FItems[i].Rect)) OutlineSelected(canvas, FItems[i].Rect);
}

void TDupTreemapLayout::PaintSelectedFiles(TCanvas& canvas) const {
  for (const TDupItem& it : FItems)
    if (!IsRectEmpty(it.Rect) && it.Kind() == TDupKind::dkFile && FSelectedFiles.count(it.FileLeaf()))
      OutlineSelected(canvas, it.Rect);
}

const TDupItem* TDupTreemapLayout::HitTest(TPoint p) const {
  for (size_t i = FItems.size(); i-- > 0;)
    if (PtInRect(FItems[i].Rect, p)) return &FItems[i];
  return nullptr;
}

void TDupTreemapLayout::ClearSelection() {
  FSelected.Clear();
  FSelectedFiles.clear();
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
  if (item->Kind() == TDupKind::dkFile && FSelectedFiles.erase(item->FileLeaf())) {
    if (FPrimary == item) FPrimary = nullptr;
    return;
  }
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

void TDupTreemapLayout::SetSelectedFiles(const std::vector<const TFileLeaf*>& files) {
  ClearSelection();
  FSelectedFiles.insert(files.begin(), files.end());
  FSelectedFiles.erase(nullptr);
  // The first file given that has a tile, as SetSelectedByUpperPaths picks it.
  std::unordered_map<const TFileLeaf*, const TDupItem*> tiles;
  for (const TDupItem& it : FItems)
    if (it.Kind() == TDupKind::dkFile && FSelectedFiles.count(it.FileLeaf())) tiles.try_emplace(it.FileLeaf(), &it);
  for (const TFileLeaf* f : files) {
    if (const auto t = tiles.find(f); t != tiles.end()) {
      FPrimary = t->second;
      break;
    }
  }
}

bool TDupTreemapLayout::IsSelected(const TDupItem* item) const {
  if (!item) return false;
  if (item->Kind() == TDupKind::dkFile && FSelectedFiles.count(item->FileLeaf())) return true;
  return !FSelected.Empty() && FSelected.Contains(item->UpperPath());
}

bool TDupTreemapLayout::IsPathSelected(std::string_view path) const {
  if (!FSelectedFiles.empty()) {
    const TDupItem* it = GetItemByPath(path);
    if (it && it->Kind() == TDupKind::dkFile && FSelectedFiles.count(it->FileLeaf())) return true;
  }
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
