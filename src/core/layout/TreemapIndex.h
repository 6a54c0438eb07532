// Look-ups and selections by path key for layouts with one tile per file.
// Tiles keep no copy of their path: the index holds a 32-bit hash of the path
// key and the tile number, and every hit is confirmed against the tile's own
// path, so a layout pays about ten bytes per tile for its look-up.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/scan/ScanModel.h"

namespace vd {

// The hash of a path key. It is made of the folder part (up to the last path
// delimiter) and the name, so that the files of one folder share the first half.
uint32_t PathKeyHash(std::string_view key);

// Open addressing over (hash, tile number) with linear probing.
class TPathIndex {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  void Clear() { FSlots = {}; }
  // Room for n tiles at a load of about 0.77.
  void Reset(size_t n);
  // Enters tile idx under hash; sameKey(other) tells whether tile `other` has
  // the same key. A tile entered later replaces one with the same key; returns
  // true when that happened.
  template <class TSameKey>
  bool Insert(uint32_t hash, uint32_t idx, TSameKey&& sameKey);
  // The tile under hash whose key isKey(tile) confirms, or kNone.
  template <class TIsKey>
  uint32_t Find(uint32_t hash, TIsKey&& isKey) const;
  size_t MemoryBytes() const { return FSlots.capacity() * sizeof(TSlot); }

 private:
  struct TSlot {
    uint32_t Hash;
    uint32_t Ref;  // tile number + 1; 0: free
  };
  size_t Home(uint32_t hash) const { return size_t((uint64_t(hash) * FSlots.size()) >> 32); }
  std::vector<TSlot> FSlots;
};

template <class TSameKey>
bool TPathIndex::Insert(uint32_t hash, uint32_t idx, TSameKey&& sameKey) {
  if (FSlots.empty()) Reset(16);
  const size_t n = FSlots.size();
  for (size_t i = Home(hash), probes = 0; probes < n; ++probes, i = i + 1 == n ? 0 : i + 1) {
    TSlot& s = FSlots[i];
    if (s.Ref == 0) {
      s = {hash, idx + 1};
      return false;
    }
    if (s.Hash == hash && sameKey(s.Ref - 1)) {
      s.Ref = idx + 1;
      return true;
    }
  }
  return false;  // full: Reset was told too few tiles; the tile stays unindexed
}

template <class TIsKey>
uint32_t TPathIndex::Find(uint32_t hash, TIsKey&& isKey) const {
  const size_t n = FSlots.size();
  if (n == 0) return kNone;
  for (size_t i = Home(hash), probes = 0; probes < n; ++probes, i = i + 1 == n ? 0 : i + 1) {
    const TSlot& s = FSlots[i];
    if (s.Ref == 0) return kNone;
    if (s.Hash == hash && isKey(s.Ref - 1)) return s.Ref - 1;
  }
  return kNone;
}

// Path keys of folders and of the files in them, made without walking the
// folder chain for every file: a folder's key prefix is computed once and a
// file's key is that prefix plus the key of its name. The first file of every
// folder is checked against its full path; should the two ever differ, that
// folder's files take the long way.
class TPathKeyMaker {
 public:
  // The key of the folder's FullPath.
  const std::string& DirKey(const TDirNode* d);
  // The key of the file's FullPath; valid until the next call.
  const std::string& FileKey(const TFileLeaf* f);
  // PathKeyHash(FileKey(f)), mostly without building the key: the folder
  // part's hash is kept with its prefix.
  uint32_t FileKeyHash(const TFileLeaf* f);
  void Clear() {
    FDirs = {};
    FLastDir = nullptr;
    FLast = nullptr;
    FCache.assign(kCacheSlots, TCacheSlot{});
  }

 private:
  struct TPrefix {
    std::string Prefix;
    std::string DirPath;  // the folder's FullPath, kept until its first file is checked
    size_t PrefixHash = 0;
    int8_t State = 0;     // 0 unchecked, 1 prefix confirmed, -1 long way
    bool Splits = false;  // Prefix ends with a delimiter: PathKeyHash cuts a file key right after it
  };
  // The entry of d; dirPath, when given, is d's FullPath (saves building it).
  TPrefix& PrefixOf(const TDirNode* d, std::string* dirPath = nullptr);

  struct TCacheSlot {
    const TDirNode* Dir = nullptr;
    TPrefix* Prefix = nullptr;
  };
  static constexpr size_t kCacheSlots = 4096;

  std::unordered_map<const TDirNode*, TPrefix> FDirs;
  std::vector<TCacheSlot> FCache = std::vector<TCacheSlot>(kCacheSlots);
  const TDirNode* FLastDir = nullptr;
  TPrefix* FLast = nullptr;
  std::string FKey;
};

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

}  // namespace vd
