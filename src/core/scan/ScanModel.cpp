#include "core/scan/ScanModel.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/Platform.h"

namespace vd {

// ---- Names and paths ----------------------------------------------------------

std::string_view ExtractFileName(std::string_view path) {
  const size_t p = path.find_last_of(platform::PathDelimiters());
  return p == std::string_view::npos ? path : path.substr(p + 1);
}

std::string_view ExtractExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  const size_t delim = name.find_last_of(platform::PathDelimiters());
  if (delim != std::string_view::npos && delim > dot) return {};
  return name.substr(dot);
}

// ---- TFileLeaf ------------------------------------------------------------------

std::string TFileLeaf::FullPath() const { return platform::JoinPath(Parent()->FullPath(), Name()); }

const TExtKey* TFileLeaf::ExtKey() const {
  if (FExt != kOverflowExtIndex) return ExtKeyAt(uint32_t(FExt));
  // Interned after the numbered keys ran out (a tree of millions of distinct
  // extensions): found again by the name, as slowly as that is rare.
  return GlobalExtKey(platform::ToLowerLocale(ExtractExtension(Name())));
}

// ---- TLeafChunk -------------------------------------------------------------------

TLeafChunk* TLeafChunk::Create(TArenaCursor& arena, TDirNode* dir, uint32_t leaves, uint32_t nameBytes) {
  const size_t size = sizeof(TLeafChunk) + size_t(leaves) * sizeof(TFileLeaf) + nameBytes;
  auto* c = new (arena.Allocate(size, alignof(TLeafChunk))) TLeafChunk();
  c->Dir = dir;
  c->Cap = leaves;
  c->NameCap = nameBytes;
  return c;
}

TFileLeaf* TLeafChunk::Add(std::string_view name, int64_t size, TFileTime time, const TExtKey* ext,
                           const TFileDisk& disk, TArenaCursor& arena) {
  const uint32_t start = NamesUsed();
  std::memcpy(const_cast<char*>(Names()) + start, name.data(), name.size());
  static_assert(std::is_trivially_destructible_v<TFileLeaf>, "records are released with their arena");
  auto* f = new (Records() + Count) TFileLeaf();
  f->FSize = size;
  f->ModifiedFT = time;
  f->FIndex = Count;
  if (disk.Allocated >= 0) {
    // Rounded up to whole units: every file system counts in 512-byte blocks or more.
    const uint64_t units = (uint64_t(disk.Allocated) + 511) / 512;
    if (units < TFileLeaf::kUnknownUnits) {
      f->FAllocUnits = uint32_t(units);
    } else {
      auto* big = new (arena.Allocate(sizeof(TBigAllocation), alignof(TBigAllocation))) TBigAllocation();
      big->Next = Big;
      big->Index = Count;
      big->Bytes = disk.Allocated;
      Big = big;
      f->FAllocUnits = TFileLeaf::kBigUnits;
    }
  }
  // A link without an identity cannot be told from another file: it counts as one.
  f->FLinked = disk.Links != 1 && disk.HasId;
  f->FExt = ext ? ext->Index : kNoExtIndex;
  f->FNameEnd = start + uint32_t(name.size());
  ++Count;
  return f;
}

int64_t TLeafChunk::BigAllocationOf(uint32_t index) const {
  for (const TBigAllocation* b = Big; b; b = b->Next)
    if (b->Index == index) return b->Bytes;
  return 0;
}

// ---- TLeafList --------------------------------------------------------------------

uint32_t* TLeafList::CopyOfOrder() const {
  auto* order = static_cast<uint32_t*>(std::malloc(size_t(FCount) * sizeof(uint32_t)));
  if (!order) throw std::bad_alloc();
  if (FOrder)
    std::memcpy(order, FOrder, size_t(FCount) * sizeof(uint32_t));
  else
    for (uint32_t i = 0; i < FCount; ++i) order[i] = i;
  return order;
}

void TLeafList::AdoptOrder(uint32_t* order) {
  if (!order) return;
  std::free(FOrder);
  FOrder = order;
}

// ---- TChildList -------------------------------------------------------------------

void TChildList::push_back(TDirNode* p) {
  if (FCount == FCap) {
    const uint32_t cap = FCount < 4 ? 4 : FCount * 2;
    auto* data = static_cast<TDirNode**>(std::malloc(size_t(cap) * sizeof(TDirNode*)));
    if (!data) throw std::bad_alloc();
    if (FCount) std::memcpy(data, FData, size_t(FCount) * sizeof(TDirNode*));
    if (FCap) std::free(FData);
    FData = data;
    FCap = cap;
  }
  FData[FCount++] = p;
}

void TChildList::Adopt(TDirNode** data, uint32_t n) {
  Clear();
  FData = n ? data : nullptr;
  FCount = n;
}

void TChildList::Clear() {
  if (FCap) std::free(FData);
  FData = nullptr;
  FCount = FCap = 0;
}

// ---- TExtStats ----------------------------------------------------------------

void TExtStats::Rehash(uint32_t newCap) {
  auto* fresh = static_cast<Entry*>(std::calloc(newCap, sizeof(Entry)));
  if (!fresh) throw std::bad_alloc();
  const uint32_t mask = newCap - 1;
  for (uint32_t i = 0; i < FCap; ++i) {
    if (!FMap[i].Key) continue;
    uint32_t j = FMap[i].Key->Hash & mask;
    while (fresh[j].Key) j = (j + 1) & mask;
    fresh[j] = FMap[i];
  }
  std::free(FMap);
  FMap = fresh;
  FCap = newCap;
}

TExtStats::Entry& TExtStats::Slot(const TExtKey* key) {
  if ((FCount + 1) * 4 > FCap * 3) Rehash(FCap ? FCap * 2 : 4);
  const uint32_t mask = FCap - 1;
  uint32_t i = key->Hash & mask;
  while (FMap[i].Key) {
    if (FMap[i].Key->Equals(*key)) return FMap[i];
    i = (i + 1) & mask;
  }
  FMap[i].Key = key;
  FMap[i].Stat = {};
  ++FCount;
  return FMap[i];
}

void TExtStats::AddFile(const TExtKey* key, int64_t size) {
  Entry& e = Slot(key ? key : NoneExtKey());
  e.Stat.Files += 1;
  e.Stat.Bytes += size;
}

void TExtStats::AddFile(std::string_view ext, int64_t size) {
  AddFile(GlobalExtKey(platform::ToLowerLocale(ext)), size);
}

void TExtStats::MergeFrom(const TExtStats* src) {
  if (!src || src == this) return;
  for (uint32_t i = 0; i < src->FCap; ++i) {
    const Entry& s = src->FMap[i];
    if (!s.Key) continue;
    Entry& d = Slot(s.Key);
    d.Stat.Bytes += s.Stat.Bytes;
    d.Stat.Files += s.Stat.Files;
  }
}

void TExtStats::Subtract(const TExtStats* src) {
  if (!src || !src->FCount) return;
  if (src == this) {
    Clear();
    return;
  }
  for (uint32_t i = 0; i < src->FCap; ++i) {
    const Entry& s = src->FMap[i];
    if (!s.Key) continue;
    Entry& d = Slot(s.Key);
    d.Stat.Bytes -= s.Stat.Bytes;
    d.Stat.Files -= s.Stat.Files;
  }
  // Open addressing: emptied entries go by building the map again.
  Entry* old = FMap;
  const uint32_t cap = FCap;
  FMap = nullptr;
  FCount = FCap = 0;
  for (uint32_t i = 0; i < cap; ++i)
    if (old[i].Key && old[i].Stat.Files > 0) Slot(old[i].Key).Stat = old[i].Stat;
  std::free(old);
}

std::vector<TExtStatPair> TExtStats::ToSortedArrayByBytesDesc() const {
  std::vector<TExtStatPair> out;
  out.reserve(FCount);
  for (uint32_t i = 0; i < FCap; ++i)
    if (FMap[i].Key) out.push_back({std::string(FMap[i].Key->View()), FMap[i].Stat.Bytes, FMap[i].Stat.Files});
  std::sort(out.begin(), out.end(), [](const TExtStatPair& a, const TExtStatPair& b) { return a.Bytes > b.Bytes; });
  return out;
}

bool TExtStats::Find(std::string_view key, TExtStat& out) const {
  for (uint32_t i = 0; i < FCap; ++i) {
    if (FMap[i].Key && FMap[i].Key->View() == key) {
      out = FMap[i].Stat;
      return true;
    }
  }
  return false;
}

void TExtStats::Clear() {
  std::free(FMap);
  FMap = nullptr;
  FCount = FCap = 0;
}

// ---- TDirNode -----------------------------------------------------------------

TDirNode::TDirNode() = default;

TDirNode::~TDirNode() {
  // Release the subtree with an explicit stack so that depth costs heap, not
  // stack. Folders in the arena give back what they hold outside it (a sorted
  // order, a list grown by the builder); the arenas go last, with the roots.
  std::vector<TDirNode*> pending(Children.begin(), Children.end());
  Children.Clear();
  while (!pending.empty()) {
    TDirNode* n = pending.back();
    pending.pop_back();
    if (!n->FInArena) {
      delete n;  // a root of its own (a drive under "(All Drives)"), with its arenas
      continue;
    }
    pending.insert(pending.end(), n->Children.begin(), n->Children.end());
    n->Children.Clear();
    n->~TDirNode();
  }
  FRoot.reset();
}

std::string_view TDirNode::Name() const {
  if (FRoot) return FRoot->Name;
  return {reinterpret_cast<const char*>(this + 1), FNameLen};
}

void TDirNode::AppendPath(std::string& out) const {
  // Collect the chain up to the nearest root, then write it from the top.
  const TDirNode* chain[64];
  std::vector<const TDirNode*> deep;
  size_t n = 0;
  const TDirNode* p = this;
  while (p && !p->FRoot) {
    if (n < 64)
      chain[n++] = p;
    else
      deep.push_back(p);
    p = p->Parent;
  }
  // Sized once: layouts build a path for every folder they index.
  size_t len = p ? p->FRoot->FullPath.size() : 0;
  for (size_t i = 0; i < n; ++i) len += 1 + chain[i]->Name().size();
  for (const TDirNode* d : deep) len += 1 + d->Name().size();
  out.clear();
  out.reserve(len + 1);
  if (p) out = p->FRoot->FullPath;
  const char sep = platform::PathSeparator();
  for (size_t i = deep.size(); i-- > 0;) {
    if (out.empty() || out.back() != sep) out.push_back(sep);
    out.append(deep[i]->Name());
  }
  for (size_t i = n; i-- > 0;) {
    if (out.empty() || out.back() != sep) out.push_back(sep);
    out.append(chain[i]->Name());
  }
}

TExtStats& TDirNode::RootExtStats() {
  if (!FRoot) FRoot = std::make_unique<TRootInfo>();
  return FRoot->Stats;
}

TExtStats TDirNode::ExtStats() const {
  if (FRoot) return FRoot->Stats;
  TExtStats stats;
  std::vector<const TDirNode*> pending{this};
  while (!pending.empty()) {
    const TDirNode* n = pending.back();
    pending.pop_back();
    for (const TFileLeaf* f : n->Leaves) stats.AddFile(f->ExtKey(), f->Size());
    pending.insert(pending.end(), n->Children.begin(), n->Children.end());
  }
  return stats;
}

std::string TDirNode::FullPath() const {
  std::string out;
  AppendPath(out);
  return out;
}

void TDirNode::MakeRoot(std::string fullPath, std::string name, std::shared_ptr<TScanStore> store) {
  if (!FRoot) FRoot = std::make_unique<TRootInfo>();
  FRoot->FullPath = std::move(fullPath);
  FRoot->Name = std::move(name);
  if (store) FRoot->Stores.push_back(std::move(store));
}

void TDirNode::AddStore(std::shared_ptr<TScanStore> store) {
  if (!FRoot) FRoot = std::make_unique<TRootInfo>();
  if (store && std::find(FRoot->Stores.begin(), FRoot->Stores.end(), store) == FRoot->Stores.end())
    FRoot->Stores.push_back(std::move(store));
}

void TDirNode::AddLinks(std::vector<TLinkRecord> links) {
  if (links.empty()) return;
  if (!FRoot) FRoot = std::make_unique<TRootInfo>();
  if (FRoot->Links.empty())
    FRoot->Links = std::move(links);
  else
    FRoot->Links.insert(FRoot->Links.end(), links.begin(), links.end());
  FRoot->LinksDirty = true;
}

void TDirNode::SetLinksDirty(bool dirty) {
  if (!FRoot) FRoot = std::make_unique<TRootInfo>();
  FRoot->LinksDirty = dirty;
}

void TDirNode::AppendChildTree(std::unique_ptr<TDirNode> child) {
  if (!child) return;
  SetLinksDirty(true);
  TotalSize += child->TotalSize;
  OtherTotalSize += child->OtherTotalSize;
  TotalFiles += child->TotalFiles;
  TotalDirs += child->TotalDirs;
  const TExtStats childStats = child->ExtStats();
  RootExtStats().MergeFrom(&childStats);
  child->Parent = this;
  Children.push_back(child.release());
}

std::unique_ptr<TDirNode> CreateSyntheticRoot() {
  auto root = std::make_unique<TDirNode>();
  root->MakeRoot(std::string(), "(All Drives)", nullptr);
  return root;
}

}  // namespace vd
