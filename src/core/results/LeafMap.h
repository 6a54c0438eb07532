// A map keyed by a record's identity in the scan tree: its address (a file's by
// default, or a folder's). Duplicate detection can find a million member
// files; a map from each one's full path (built, hashed and stored as a
// string) cost far more than the tree holds for the file itself. Here a member
// costs a slot of key and value, and growing moves slots, not nodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/scan/ScanModel.h"

namespace vd {

template <class V, class K = TFileLeaf>
class TLeafMap {
 public:
  bool empty() const { return FCount == 0; }
  size_t size() const { return FCount; }
  void clear() {
    FKeys = {};
    FValues = {};
    FCount = 0;
  }
  // Room for n keys without growing.
  void reserve(size_t n) {
    if (n * 10 > FKeys.size() * 7) Rehash(CapacityFor(n));
  }
  // Adds f with v, or gives f the value v when it is there already.
  void Set(const K* f, V v) {
    reserve(FCount + 1);
    const size_t i = SlotOf(f);
    if (!FKeys[i]) {
      FKeys[i] = f;
      ++FCount;
    }
    FValues[i] = v;
  }
  // The value of f, or null when f is not in the map.
  const V* Find(const K* f) const {
    if (FKeys.empty() || !f) return nullptr;
    const size_t i = SlotOf(f);
    return FKeys[i] ? &FValues[i] : nullptr;
  }
  size_t count(const K* f) const { return Find(f) ? 1 : 0; }
  // visit(file, value) for every entry, in no particular order.
  template <class TVisit>
  void ForEach(TVisit&& visit) const {
    for (size_t i = 0; i < FKeys.size(); ++i)
      if (FKeys[i]) visit(FKeys[i], FValues[i]);
  }
  size_t MemoryBytes() const { return FKeys.capacity() * (sizeof(void*) + sizeof(V)); }

 private:
  static size_t CapacityFor(size_t n) {
    size_t cap = 16;
    while (cap * 7 < n * 10) cap *= 2;
    return cap;
  }
  size_t Home(const K* f) const {
    // Records are 8-aligned: the low bits say nothing.
    const uint64_t h = (uint64_t(reinterpret_cast<uintptr_t>(f)) >> 3) * 0x9E3779B97F4A7C15ULL;
    return size_t(h >> FShift);
  }
  // The slot holding f, or the free slot where it would go.
  size_t SlotOf(const K* f) const {
    const size_t mask = FKeys.size() - 1;
    size_t i = Home(f);
    while (FKeys[i] && FKeys[i] != f) i = (i + 1) & mask;
    return i;
  }
  void Rehash(size_t cap) {
    std::vector<const K*> keys(cap, nullptr);
    std::vector<V> values(cap);
    keys.swap(FKeys);
    values.swap(FValues);
    FShift = 64;
    for (size_t c = cap; c > 1; c >>= 1) --FShift;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (!keys[i]) continue;
      const size_t j = SlotOf(keys[i]);
      FKeys[j] = keys[i];
      FValues[j] = values[i];
    }
  }

  std::vector<const K*> FKeys;  // null: a free slot
  std::vector<V> FValues;
  size_t FCount = 0;
  unsigned FShift = 64;
};

}  // namespace vd
