#include "core/layout/FilesTreemap.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "core/results/Beside.h"
#include "platform/Platform.h"

namespace vd {

std::string TTreemapItem::UpperPath() const { return platform::PathKey(FullPath()); }

TColor TTreemapLayout::ColorForExt(std::string_view ext) { return HashColor(ExtKeyOf(ext)); }

void TTreemapLayout::Clear() {
  FPrimary = nullptr;
  FItems = {};
  FSelectedPaths.Clear();
  FByPath.Clear();
  FKeysUnique = true;
  FShownEnd = 0;
  FByExtLargest = {};
}

void TTreemapLayout::BuildFromFiles(const std::vector<TFileLeaf*>& files, const TRect& target,
                                    const std::atomic<bool>* stop) {
  TTreemapLayout fresh;
  TPumpScope::Run([&] { fresh.BuildHere(files, target, stop); });
  *this = std::move(fresh);
}

void TTreemapLayout::BuildHere(const std::vector<TFileLeaf*>& files, const TRect& target,
                               const std::atomic<bool>* stop) {
  const auto stopped = [stop] { return stop && stop->load(std::memory_order_relaxed); };
  Clear();
  if (IsRectEmpty(target) || files.empty()) return;

  // Sizes and extensions next to the pointers: the sort and the layout never
  // leave the array, and each file record (in no useful memory order) is read
  // once.
  struct TSized {
    int64_t Size;
    TFileLeaf* Leaf;
    const TExtKey* Ext;
  };
  std::vector<TSized> sorted;
  sorted.reserve(files.size());
  int64_t total = 0;
  for (TFileLeaf* f : files) {
    if (!f) continue;
    sorted.push_back({f->Size(), f, f->ExtKey()});
    total += f->Size();
  }
  if (total <= 0) return;
  const auto larger = [](const TSized& a, const TSized& b) { return a.Size > b.Size; };
  // Callers usually hand over the flat file list, sorted already: checking is
  // linear, sorting it again is not.
  if (!std::is_sorted(sorted.begin(), sorted.end(), larger)) std::sort(sorted.begin(), sorted.end(), larger);

  const size_t n = sorted.size();
  const size_t perRow = size_t(std::clamp<int64_t>(Nearest(std::sqrt(double(n))), 8, 48));
  const double width = double(target.Width()), height = double(target.Height());
  FItems.reserve(n);
  // Tiles come largest first: an extension's first tile is its largest (the
  // earliest of equals).
  std::unordered_map<const TExtKey*, uint32_t> largest;
  int64_t y = target.Top;
  for (size_t g = 0; g < n; g += perRow) {
    if (stopped()) break;
    const size_t end = std::min(n, g + perRow);
    int64_t rowSum = 0;
    for (size_t i = g; i < end; ++i) rowSum += sorted[i].Size;
    if (rowSum <= 0) continue;
    const int64_t rowH = std::max<int64_t>(Nearest(double(rowSum) / double(total) * height), 1);
    const int32_t top = ClampToInt32(y), bottom = ClampToInt32(std::min<int64_t>(target.Bottom, y + rowH));
    int64_t x = target.Left;
    for (size_t i = g; i < end; ++i) {
      const int64_t w = std::max<int64_t>(Nearest(double(sorted[i].Size) / double(rowSum) * width), 1);
      largest.try_emplace(sorted[i].Ext, uint32_t(FItems.size()));
      FItems.push_back({TRect{ClampToInt32(x), top, ClampToInt32(std::min<int64_t>(target.Right, x + w)), bottom},
                        sorted[i].Leaf});
      x += w;
    }
    y += rowH;
  }
  sorted = {};
  if (stopped()) {
    Clear();
    return;
  }
  IndexItems(largest);
}

void TTreemapLayout::IndexItems(const std::unordered_map<const TExtKey*, uint32_t>& largest) {
  // Tiles come largest first, so consecutive tiles rarely share a folder or a
  // place in memory; the hashes are worked out in memory order instead.
  const std::vector<uint32_t> hashes =
      PathKeyHashes(FItems.size(), [&](size_t i) { return TTreeObj{FItems[i].Leaf, false}; });
  // Keys are built only when two tiles share a hash.
  FKeysUnique = !FByPath.Build(
      hashes, [](uint32_t) { return true; },
      [&](uint32_t a, uint32_t b) { return FItems[a].UpperPath() == FItems[b].UpperPath(); });

  // The keys' addresses were looked up per tile, their texts once per key. Two
  // keys may spell one extension (parts of the tree scanned at other times).
  for (const auto& [ext, i] : largest) {
    auto [it, inserted] = FByExtLargest.try_emplace(ext->View(), i);
    if (!inserted && i < it->second) it->second = i;
  }
  // Past the last tile with room, every tile is empty: painting and hit tests
  // stop there.
  FShownEnd = FItems.size();
  while (FShownEnd > 0 && IsRectEmpty(FItems[FShownEnd - 1].Rect)) --FShownEnd;
}

void TTreemapLayout::Paint(TCanvas& canvas) const {
  PaintBackground(canvas);
  const std::vector<uint8_t>* marks = nullptr;
  if (!FSelectedPaths.Empty()) {
    marks = &FSelectedPaths.Marks(
        FItems.size(), FKeysUnique,
        [&](const std::string& k) {
          const TTreemapItem* it = GetItemByPath(k);
          return it ? IndexOf(it) : TPathIndex::kNone;
        },
        [&](size_t i) { return FItems[i].UpperPath(); }, [&](size_t i) { return !IsRectEmpty(FItems[i].Rect); });
  }
  std::unordered_map<const TExtKey*, TColor> colours;
  const TExtKey* lastExt = nullptr;
  bool haveLast = false;
  TColor colour = 0;
  for (size_t i = 0; i < FShownEnd; ++i) {
    const TTreemapItem& it = FItems[i];
    if (IsRectEmpty(it.Rect)) continue;
    if (!haveLast || it.Leaf->ExtKey() != lastExt) {
      lastExt = it.Leaf->ExtKey();
      haveLast = true;
      auto [c, inserted] = colours.try_emplace(lastExt, 0);
      if (inserted) c->second = ColorForExt(it.Ext());
      colour = c->second;
    }
    FillTile(canvas, it.Rect, colour);
    FrameTile(canvas, it.Rect);
    // Outlined at once, so later tiles may cover part of the outline.
    if (marks && (*marks)[i]) OutlineSelected(canvas, it.Rect);
  }
}

const TTreemapItem* TTreemapLayout::HitTest(TPoint p) const {
  for (size_t i = 0; i < FShownEnd; ++i)
    if (PtInRect(FItems[i].Rect, p)) return &FItems[i];
  return nullptr;
}

void TTreemapLayout::ClearSelection() {
  FSelectedPaths.Clear();
  FPrimary = nullptr;
}

void TTreemapLayout::SetSingleSelected(const TTreemapItem* item) {
  ClearSelection();
  if (!item) return;
  FSelectedPaths.Add(item->UpperPath());
  FPrimary = item;
}

void TTreemapLayout::ToggleSelected(const TTreemapItem* item) {
  if (!item) return;
  std::string key = item->UpperPath();
  if (FSelectedPaths.Contains(key)) {
    FSelectedPaths.Remove(key);
    if (FPrimary && FPrimary->UpperPath() == key) FPrimary = nullptr;
  } else {
    FSelectedPaths.Add(std::move(key));
    FPrimary = item;
  }
}

void TTreemapLayout::SetSelectedByPaths(const std::vector<std::string>& paths) {
  ClearSelection();
  for (const std::string& p : paths)
    if (!p.empty()) FSelectedPaths.Add(platform::PathKey(p));
  for (const std::string& p : paths) {
    if (const TTreemapItem* it = GetItemByPath(p)) {
      FPrimary = it;
      break;
    }
  }
}

bool TTreemapLayout::IsSelected(const TTreemapItem* item) const {
  return item && FSelectedPaths.Contains(item->UpperPath());
}

bool TTreemapLayout::IsPathSelected(std::string_view path) const {
  return FSelectedPaths.Contains(platform::PathKey(path));
}

const TTreemapItem* TTreemapLayout::GetItemByPath(std::string_view fullPath) const {
  const std::string key = platform::PathKey(fullPath);
  const uint32_t i = FByPath.Find(PathKeyHash(key), [&](uint32_t t) {
    return platform::PathKey(FItems[t].FullPath()) == key;
  });
  return i == TPathIndex::kNone ? nullptr : &FItems[i];
}

const TTreemapItem* TTreemapLayout::GetLargestItemByExt(std::string_view ext) const {
  const auto it = FByExtLargest.find(ExtKeyOf(ext));
  return it == FByExtLargest.end() ? nullptr : &FItems[it->second];
}

size_t TTreemapLayout::MemoryBytes() const {
  return sizeof(*this) + FItems.capacity() * sizeof(TTreemapItem) + FByPath.MemoryBytes() +
         FByExtLargest.bucket_count() * sizeof(void*) + FByExtLargest.size() * 48;
}

}  // namespace vd
