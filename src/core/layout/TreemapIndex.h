// Look-ups and selections by path key for layouts with one tile per file.
// Tiles keep no copy of their path: the index holds a 32-bit hash of the path
// key and the tile number, and every hit is confirmed against the tile's own
// path, so a layout pays eight bytes per tile for its look-up.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/results/LeafMap.h"
#include "core/results/RadixSort.h"
#include "core/scan/ScanModel.h"

namespace vd {

// The hash of a path key. It is made of the folder part (up to the last path
// delimiter) and the name, so that the files of one folder share the first half;
// the folder part is hashed part by part between delimiters (empty parts left
// out), so that a folder's half follows from its parent's and its name.
uint32_t PathKeyHash(std::string_view key);

// Tiles by the hash of their path key: (hash, tile number) pairs sorted by
// hash, found by binary search. Built once per layout, from every tile's hash
// at once.
class TPathIndex {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  void Clear() { FSlots = {}; }
  // Enters every tile i with wanted(i) under hashes[i]; sameKey(a, b) tells
  // whether tiles a and b have the same key. Of tiles with one key only the
  // last is kept, as if each replaced the one before; returns true when that
  // happened.
  template <class TWanted, class TSameKey>
  bool Build(const std::vector<uint32_t>& hashes, TWanted&& wanted, TSameKey&& sameKey);
  // The tile under hash whose key isKey(tile) confirms, or kNone.
  template <class TIsKey>
  uint32_t Find(uint32_t hash, TIsKey&& isKey) const;
  size_t MemoryBytes() const { return FSlots.capacity() * sizeof(TSlot); }

 private:
  struct TSlot {
    uint32_t Hash;
    uint32_t Tile;
  };
  std::vector<TSlot> FSlots;
};

template <class TWanted, class TSameKey>
bool TPathIndex::Build(const std::vector<uint32_t>& hashes, TWanted&& wanted, TSameKey&& sameKey) {
  FSlots.clear();
  size_t n = 0;
  for (uint32_t i = 0; i < hashes.size(); ++i) n += wanted(i) ? 1 : 0;
  FSlots.reserve(n);
  for (uint32_t i = 0; i < hashes.size(); ++i)
    if (wanted(i)) FSlots.push_back({hashes[i], i});
  // Stable: tiles of one hash stay in tile order, the later ones last.
  RadixSortStable(FSlots, [](const TSlot& s) { return uint64_t(s.Hash); });
  bool replaced = false;
  size_t out = 0;
  for (size_t i = 0; i < FSlots.size();) {
    size_t j = i + 1;
    while (j < FSlots.size() && FSlots[j].Hash == FSlots[i].Hash) ++j;
    for (size_t k = i; k < j; ++k) {
      bool later = false;  // a later tile has this tile's key
      for (size_t m = k + 1; m < j && !later; ++m) later = sameKey(FSlots[k].Tile, FSlots[m].Tile);
      if (later)
        replaced = true;
      else
        FSlots[out++] = FSlots[k];
    }
    i = j;
  }
  FSlots.resize(out);
  FSlots.shrink_to_fit();
  return replaced;
}

template <class TIsKey>
uint32_t TPathIndex::Find(uint32_t hash, TIsKey&& isKey) const {
  auto it = std::lower_bound(FSlots.begin(), FSlots.end(), hash,
                             [](const TSlot& s, uint32_t h) { return s.Hash < h; });
  for (; it != FSlots.end() && it->Hash == hash; ++it)
    if (isKey(it->Tile)) return it->Tile;
  return kNone;
}

// The hashes of the path keys of folders and of the files in them, made without
// building any path: a folder's part of the hash is its parent's part taken one
// name further, worked out once per folder and kept as one word. A tree of any
// depth then costs time and memory linear in its entries, not in the sum of its
// paths' lengths (a chain of thousands of folders with long names would
// otherwise hold gigabytes of prefixes). Keys map character by character, so
// the key of a path is the keys of its names joined; PathKeyHash of the whole
// key gives the same hash.
class TPathKeyMaker {
 public:
  // PathKeyHash(PathKey(d->FullPath())).
  uint32_t DirKeyHash(const TDirNode* d);
  // PathKeyHash(PathKey(f->FullPath())).
  uint32_t FileKeyHash(const TFileLeaf* f);
  void Clear() {
    FFolderPart.clear();
    FLastDir = nullptr;
    FCache.assign(kCacheSlots, TCacheSlot{});
  }
  // What the maker holds: a slot per folder seen, whatever the paths' lengths.
  size_t MemoryBytes() const { return FFolderPart.MemoryBytes() + FCache.capacity() * sizeof(TCacheSlot); }

 private:
  // The hash of d's key as the folder part of its entries' keys.
  uint64_t FolderPart(const TDirNode* d);

  struct TCacheSlot {
    const TDirNode* Dir = nullptr;
    uint64_t Part = 0;
  };
  static constexpr size_t kCacheSlots = 4096;

  TLeafMap<uint64_t, TDirNode> FFolderPart;
  std::vector<TCacheSlot> FCache = std::vector<TCacheSlot>(kCacheSlots);
  const TDirNode* FLastDir = nullptr;
  uint64_t FLastPart = 0;
  std::vector<const TDirNode*> FChain;  // scratch: folders whose part is not known yet
};

// One object of the scan tree: a folder or a file.
struct TTreeObj {
  const void* Obj;
  bool IsDir;
};
// PathKeyHash of the path key of each object's FullPath. Worked out in memory
// order, not in the order given: a folder's files then come one after the
// other, its part of their paths is made once, and every record is read where
// it lies instead of at a random place.
template <class TObjAt>
std::vector<uint32_t> PathKeyHashes(size_t n, TObjAt&& objAt);

// A selection by path key: it may name paths that have no tile. Painting asks
// which tiles are selected; the answer is worked out once per change.
class TPathSelection {
 public:
  void Clear();
  void Add(std::string key);
  bool Remove(const std::string& key);
  bool Contains(const std::string& key) const { return FPaths.count(key) != 0; }
  bool Empty() const { return FPaths.empty(); }
  size_t Count() const { return FPaths.size(); }
  const std::unordered_set<std::string>& Paths() const { return FPaths; }

  // One flag per tile. keysUnique: no two tiles share a key, so looking every
  // selected key up (find(key) -> tile or TPathIndex::kNone) finds every
  // selected tile. Otherwise, or when that is the longer way, every tile that
  // wanted(i) names is asked for its key (keyOf(i)).
  template <class TFind, class TKeyOf, class TWanted>
  const std::vector<uint8_t>& Marks(size_t tiles, bool keysUnique, TFind&& find, TKeyOf&& keyOf,
                                    TWanted&& wanted) const;

 private:
  std::unordered_set<std::string> FPaths;
  mutable std::vector<uint8_t> FMarks;
  mutable bool FMarksValid = false;
};

template <class TFind, class TKeyOf, class TWanted>
const std::vector<uint8_t>& TPathSelection::Marks(size_t tiles, bool keysUnique, TFind&& find, TKeyOf&& keyOf,
                                                  TWanted&& wanted) const {
  if (FMarksValid && FMarks.size() == tiles) return FMarks;
  FMarks.assign(tiles, 0);
  if (!FPaths.empty()) {
    if (keysUnique && FPaths.size() <= tiles) {
      for (const std::string& k : FPaths) {
        const uint32_t i = find(k);
        if (i != TPathIndex::kNone && i < tiles) FMarks[i] = 1;
      }
    } else {
      for (size_t i = 0; i < tiles; ++i)
        if (wanted(i) && FPaths.count(keyOf(i))) FMarks[i] = 1;
    }
  }
  FMarksValid = true;
  return FMarks;
}

namespace treemap_detail {
struct TAddrRef {
  uint64_t Addr;
  uint32_t Pos;
  bool IsDir;
};
uint32_t HashOfObj(TPathKeyMaker& keys, const TTreeObj& o);
}  // namespace treemap_detail

template <class TObjAt>
std::vector<uint32_t> PathKeyHashes(size_t n, TObjAt&& objAt) {
  using treemap_detail::TAddrRef;
  std::vector<TAddrRef> order;
  order.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const TTreeObj o = objAt(i);
    order.push_back({uint64_t(reinterpret_cast<uintptr_t>(o.Obj)), uint32_t(i), o.IsDir});
  }
  RadixSortStable(order, [](const TAddrRef& r) { return r.Addr; });
  std::vector<uint32_t> hashes(n);
  TPathKeyMaker keys;
  for (const TAddrRef& r : order)
    hashes[r.Pos] = treemap_detail::HashOfObj(keys, TTreeObj{reinterpret_cast<const void*>(uintptr_t(r.Addr)), r.IsDir});
  return hashes;
}

}  // namespace vd
