#include "core/layout/HierTreemap.h"

#include "core/results/Beside.h"
#include "platform/Platform.h"

namespace vd {

std::string THierItem::FullPath() const {
  return FKind == THierKind::hkDir ? Dir()->FullPath() : FileLeaf()->FullPath();
}

std::string THierItem::UpperPath() const { return platform::PathKey(FullPath()); }

std::string_view THierItem::ExtLower() const {
  return FKind == THierKind::hkFile ? FileLeaf()->ExtKey()->View() : std::string_view();
}

int64_t THierItem::Size() const { return FKind == THierKind::hkDir ? Dir()->TotalSize : FileLeaf()->Size(); }

TColor THierTreemapLayout::ExtColor(std::string_view key) { return HashColor(key.empty() ? "(none)" : key); }

void THierTreemapLayout::Clear() {
  FItems = {};
  FByUpperPath.Clear();
  FKeysUnique = true;
  FByExt = {};
  FLastExt = nullptr;
  FLastExtList = nullptr;
  FSelected.Clear();
  FPrimary = nullptr;
}

void THierTreemapLayout::BuildFromRootSquarified(TDirNode* root, const TRect& target) {
  THierTreemapLayout fresh;
  TPumpScope::Run([&] { fresh.BuildFromRootSquarifiedHere(root, target); });
  *this = std::move(fresh);
}

void THierTreemapLayout::BuildFromRootSquarifiedHere(TDirNode* root, const TRect& target) {
  Clear();
  if (!root || IsRectEmpty(target)) return;
  BuildDir(root, target, 0);
  // Nesting runs on an explicit stack, so any depth of folders is safe; a
  // folder's tile still comes right before everything inside it.
  while (!FPending.empty()) {
    const TPending p = FPending.back();
    FPending.pop_back();
    PlaceEntry(p.Entry, p.Cell, p.Depth);
  }
  FItems.shrink_to_fit();
  for (auto& [key, list] : FByExt) list.shrink_to_fit();
  FEntries = {};
  FPending = {};
  FPlaced = {};
  const std::vector<uint32_t> hashes = PathKeyHashes(
      FItems.size(), [&](size_t i) { return TTreeObj{FItems[i].FObj, FItems[i].Kind() == THierKind::hkDir}; });
  FKeysUnique = !FByUpperPath.Build(
      hashes, [](uint32_t) { return true; },
      [&](uint32_t a, uint32_t b) { return FItems[a].UpperPath() == FItems[b].UpperPath(); });
}

void THierTreemapLayout::BuildDir(TDirNode* dir, const TRect& r, int32_t depth) {
  if (!dir || IsRectEmpty(r) || dir->TotalSize <= 0) return;
  FEntries.clear();
  int64_t total = 0;
  for (TDirNode* c : dir->Children) {
    if (c->TotalSize <= 0) continue;
    FEntries.push_back({0, c->TotalSize, c, true});
    total += c->TotalSize;
  }
  for (TFileLeaf* f : dir->Leaves) {
    if (f->Size() <= 0) continue;
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

void THierTreemapLayout::PlaceEntry(const TEntry& e, const TRect& cell, int32_t depth) {
  TRect r;
  if (!TileRectOfCell(cell, r)) return;
  const uint32_t idx = uint32_t(FItems.size());
  if (e.IsDir) {
    FItems.push_back(THierItem(r, THierKind::hkDir, depth, e.Obj));
    BuildDir(e.Dir(), r, depth + 1);
  } else {
    FItems.push_back(THierItem(r, THierKind::hkFile, depth, e.Obj));
    const TExtKey* ext = e.File()->ExtKey();
    if (ext != FLastExt) {
      FLastExt = ext;
      FLastExtList = &FByExt[ext->View()];
    }
    FLastExtList->push_back(idx);
  }
}

uint32_t THierTreemapLayout::FindIndex(const std::string& key) const {
  return FByUpperPath.Find(PathKeyHash(key), [&](uint32_t t) { return FItems[t].UpperPath() == key; });
}

void THierTreemapLayout::Paint(TCanvas& canvas) const {
  PaintBackground(canvas);
  std::unordered_map<const TExtKey*, TColor> colours;
  for (const THierItem& it : FItems) {
    if (IsRectEmpty(it.Rect)) continue;
    if (it.Kind() == THierKind::hkFile) {
      const TExtKey* ext = it.FileLeaf()->ExtKey();
      auto [c, inserted] = colours.try_emplace(ext, 0);
      if (inserted) c->second = ExtColor(it.ExtLower());
      FillTile(canvas, it.Rect, c->second);
    }
    FrameTile(canvas, it.Rect);
  }
  if (FSelected.Empty()) return;
  const std::vector<uint8_t>& marks = FSelected.Marks(
      FItems.size(), FKeysUnique, [&](const std::string& k) { return FindIndex(k); },
      [&](size_t i) { return FItems[i].UpperPath(); }, [&](size_t i) { return !IsRectEmpty(FItems[i].Rect); });
  for (size_t i = 0; i < FItems.size(); ++i)
    if (marks[i] && !IsRectEmpty(FItems[i].Rect)) OutlineSelected(canvas, FItems[i].Rect);
}

const THierItem* THierTreemapLayout::HitTest(TPoint p) const {
  for (size_t i = FItems.size(); i-- > 0;)
    if (PtInRect(FItems[i].Rect, p)) return &FItems[i];
  return nullptr;
}

void THierTreemapLayout::ClearSelection() {
  FSelected.Clear();
  FPrimary = nullptr;
}

void THierTreemapLayout::SetSingleSelected(const THierItem* item) {
  ClearSelection();
  if (!item) return;
  FSelected.Add(item->UpperPath());
  FPrimary = item;
}

void THierTreemapLayout::ToggleSelected(const THierItem* item) {
  if (!item) return;
  std::string key = item->UpperPath();
  if (FSelected.Contains(key)) {
    FSelected.Remove(key);
    if (FPrimary && FPrimary->UpperPath() == key) FPrimary = nullptr;
  } else {
    FSelected.Add(std::move(key));
    FPrimary = item;
  }
}

void THierTreemapLayout::SetSelectedByUpperPaths(const std::vector<std::string>& paths) {
  ClearSelection();
  for (const std::string& p : paths)
    if (!p.empty()) FSelected.Add(platform::PathKey(p));
  for (const std::string& p : paths) {
    if (const THierItem* it = GetItemByPath(p)) {
      FPrimary = it;
      break;
    }
  }
}

void THierTreemapLayout::SetSelectedByExts(const std::vector<std::string>& extsLower) {
  ClearSelection();
  for (const std::string& e : extsLower) {
    const auto list = FByExt.find(ExtKeyOf(e));
    if (list == FByExt.end()) continue;
    for (uint32_t i : list->second) {
      FSelected.Add(FItems[i].UpperPath());
      if (!FPrimary) FPrimary = &FItems[i];
    }
  }
}

bool THierTreemapLayout::IsSelected(const THierItem* item) const {
  return item && FSelected.Contains(item->UpperPath());
}

bool THierTreemapLayout::IsPathSelected(std::string_view path) const {
  return FSelected.Contains(platform::PathKey(path));
}

const THierItem* THierTreemapLayout::GetItemByPath(std::string_view fullPath) const {
  const uint32_t i = FindIndex(platform::PathKey(fullPath));
  return i == TPathIndex::kNone ? nullptr : &FItems[i];
}

std::vector<const THierItem*> THierTreemapLayout::ItemsOfExt(std::string_view ext) const {
  std::vector<const THierItem*> out;
  const auto list = FByExt.find(ExtKeyOf(ext));
  if (list != FByExt.end())
    for (uint32_t i : list->second) out.push_back(&FItems[i]);
  return out;
}

size_t THierTreemapLayout::MemoryBytes() const {
  size_t n = sizeof(*this) + FItems.capacity() * sizeof(THierItem) + FByUpperPath.MemoryBytes() +
             FByExt.bucket_count() * sizeof(void*);
  for (const auto& [k, v] : FByExt) n += 64 + v.capacity() * sizeof(uint32_t);
  return n;
}

}  // namespace vd
