#include "core/layout/FolderTreemap.h"

#include <functional>

#include "platform/Platform.h"

namespace vd {

namespace {
uint32_t NodeHash(const TDirNode* n) {
  const uint64_t h = std::hash<const void*>{}(n) * 0x9E3779B97F4A7C15ULL;
  return uint32_t(h >> 32);
}
}  // namespace

int32_t TFolderTreemapLayout::LevelInset(int32_t level) {
  if (level <= 2) return 12;
  if (level == 3) return 8;
  if (level == 4) return 6;
  if (level == 5) return 4;
  return 2;
}

TColor TFolderTreemapLayout::FolderColor(const TDirNode* node) {
  return HashColor(platform::ToLowerLocale(node->FullPath()));
}

void TFolderTreemapLayout::Clear() {
  FItems = {};
  FByNode.Clear();
  SelectedNode = nullptr;
  HoverNode = nullptr;
}

void TFolderTreemapLayout::BuildFromRoot(TDirNode* root, const TRect& target) {
  Clear();
  if (!root || IsRectEmpty(target) || root->Children.empty()) return;
  FEntries.clear();
  int64_t total = 0;
  for (TDirNode* c : root->Children) {
    if (c->TotalSize <= 0) continue;
    FEntries.push_back({0, c->TotalSize, c, FolderColor(c)});
    total += c->TotalSize;
  }
  if (ApportionAndSort(FEntries, total, target)) Place(FEntries, target, 1);
  // Deep trees are nested with an explicit stack; a folder's tile still comes
  // right before the tiles inside it.
  while (!FPending.empty()) {
    const TPending p = FPending.back();
    FPending.pop_back();
    PlaceEntry(p.Entry, p.Cell, p.Depth);
  }
  FEntries = {};
  FPending = {};
  FPlaced = {};

  FItems.shrink_to_fit();
  std::vector<uint32_t> hashes(FItems.size());
  for (size_t i = 0; i < FItems.size(); ++i) hashes[i] = NodeHash(FItems[i].Node);
  FByNode.Build(
      hashes, [](uint32_t) { return true; }, [&](uint32_t a, uint32_t b) { return FItems[a].Node == FItems[b].Node; });
}

// Squarifies one folder's entries and queues the cells, first cell on top.
void TFolderTreemapLayout::Place(const std::vector<TEntry>& entries, const TRect& r, int32_t depth) {
  FPlaced.clear();
  Squarify(entries, r, depth, [this](const TEntry& e, const TRect& cell, int32_t d) {
    if (!IsRectEmpty(cell)) FPlaced.push_back({e, cell, d});
  });
  FPending.insert(FPending.end(), FPlaced.rbegin(), FPlaced.rend());
}

void TFolderTreemapLayout::PlaceEntry(const TEntry& e, const TRect& cell, int32_t depth) {
  if (!e.Node) return;
  TRect r;
  if (!TileRectOfCell(cell, r)) return;
  FItems.push_back({r, e.Node, depth, e.BaseColor});
  BuildDirFoldersOnly(e.Node, r, depth + 1, e.BaseColor);
}

void TFolderTreemapLayout::BuildDirFoldersOnly(TDirNode* node, const TRect& r, int32_t level, TColor baseColor) {
  if (!node || IsRectEmpty(r) || node->Children.empty()) return;
  const TRect inner = InsetRect(r, LevelInset(level));
  if (IsRectEmpty(inner)) return;
  FEntries.clear();
  int64_t total = 0;
  for (TDirNode* c : node->Children) {
    if (c->TotalSize <= 0) continue;
    FEntries.push_back({0, c->TotalSize, c, baseColor});
    total += c->TotalSize;
  }
  if (ApportionAndSort(FEntries, total, inner)) Place(FEntries, inner, level);
}

void TFolderTreemapLayout::Paint(TCanvas& canvas) const {
  PaintBackground(canvas);
  for (const TFolderMapItem& it : FItems) {
    if (IsRectEmpty(it.Rect)) continue;
    FillTile(canvas, it.Rect, it.Depth <= 2 ? it.BaseColor : HalfBrightness(it.BaseColor));
    FrameTile(canvas, it.Rect);
  }
  if (const TFolderMapItem* sel = SelectedNode ? ItemOfNode(SelectedNode) : nullptr) OutlineSelected(canvas, sel->Rect);
}

TDirNode* TFolderTreemapLayout::HitTest(TPoint p) const {
  for (size_t i = FItems.size(); i-- > 0;)
    if (PtInRect(FItems[i].Rect, p)) return FItems[i].Node;
  return nullptr;
}

const TFolderMapItem* TFolderTreemapLayout::ItemOfNode(const TDirNode* node) const {
  if (!node) return nullptr;
  const uint32_t i = FByNode.Find(NodeHash(node), [&](uint32_t t) { return FItems[t].Node == node; });
  return i == TPathIndex::kNone ? nullptr : &FItems[i];
}

size_t TFolderTreemapLayout::MemoryBytes() const {
  return sizeof(*this) + FItems.capacity() * sizeof(TFolderMapItem) + FByNode.MemoryBytes();
}

}  // namespace vd
