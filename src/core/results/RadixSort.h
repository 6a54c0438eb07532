// A stable sort of records by an unsigned 64-bit key, in a few linear passes
// over memory. The results build sorts millions of records at a time (files by
// size, files by address, tiles by path hash); a comparison sort of that many
// pointers chases each one into the tree, while this touches only the records.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vd {

// Sorts v ascending by key(record) (a uint64_t). Stable: records with equal
// keys keep their order. Digits on which every key agrees cost no pass. Needs
// a second buffer as large as v for the time of the call.
template <class T, class TKey>
void RadixSortStable(std::vector<T>& v, TKey&& key) {
  const size_t n = v.size();
  if (n < 2) return;
  if (n < 64) {
    std::stable_sort(v.begin(), v.end(), [&](const T& a, const T& b) { return key(a) < key(b); });
    return;
  }
  constexpr unsigned kBits = 11;
  constexpr unsigned kDigits = (64 + kBits - 1) / kBits;
  constexpr uint64_t kMask = (uint64_t(1) << kBits) - 1;
  // One counting pass for every digit at once.
  std::vector<std::array<size_t, size_t(1) << kBits>> counts(kDigits);
  for (auto& c : counts) c.fill(0);
  uint64_t anyBit = 0, allBits = ~uint64_t(0);
  for (const T& r : v) {
    const uint64_t k = key(r);
    anyBit |= k;
    allBits &= k;
    for (unsigned d = 0; d < kDigits; ++d) ++counts[d][(k >> (d * kBits)) & kMask];
  }
  const uint64_t varying = anyBit ^ allBits;
  std::vector<T> other;
  T* src = v.data();
  T* dst = nullptr;
  for (unsigned d = 0; d < kDigits; ++d) {
    if (((varying >> (d * kBits)) & kMask) == 0) continue;
    if (!dst) {
      other.resize(n);
      dst = other.data();
    }
    auto& c = counts[d];
    size_t at = 0;
    for (size_t& x : c) {
      const size_t here = x;
      x = at;
      at += here;
    }
    for (size_t i = 0; i < n; ++i) {
      const uint64_t k = key(src[i]);
      dst[c[(k >> (d * kBits)) & kMask]++] = src[i];
    }
    std::swap(src, dst);
  }
  if (src != v.data()) v.swap(other);
}

// The order of signed values as unsigned keys (most negative first).
inline uint64_t SignedKey(int64_t x) { return uint64_t(x) ^ (uint64_t(1) << 63); }

}  // namespace vd
