// Per-scan storage: every name and leaf of one scan lives in a bump arena, and
// every extension key is interned once, so a leaf stays at a few machine words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vd {

class TFileLeaf;

// Names in the arena carry their length in the two bytes before them.
inline std::string_view StoredName(const char* p) {
  uint16_t len;
  std::memcpy(&len, p - 2, 2);
  return {p, len};
}
const char* EmptyName();

// An interned extension key: lower-cased, with its leading dot, or "(none)".
// Keys of one store are unique by content; keys of different stores compare by
// content (the hash makes that cheap).
struct TExtKey {
  uint32_t Hash;
  uint32_t Len;
  const char* Data;
  std::string_view View() const { return {Data, Len}; }
  bool Equals(const TExtKey& o) const { return this == &o || (Hash == o.Hash && View() == o.View()); }
};

uint32_t HashBytes(std::string_view s);

// The shared "(none)" key for files without an extension.
const TExtKey* NoneExtKey();
// A key for any text, interned process-wide; for callers outside a scan.
const TExtKey* GlobalExtKey(std::string_view lowerCasedKey);

class TScanStore {
 public:
  TScanStore();
  ~TScanStore();
  TScanStore(const TScanStore&) = delete;
  TScanStore& operator=(const TScanStore&) = delete;

  // Copies `s` (at most 65535 bytes) into the arena, length-prefixed and
  // NUL-terminated; the result lives as long as the store.
  const char* StoreName(std::string_view s);
  TFileLeaf* NewLeaf();
  // The lower-cased key of a raw (as listed) extension; null for an empty one.
  const TExtKey* ExtKeyOfRaw(std::string_view rawExt);
  size_t ArenaBytes() const { return FArenaBytes; }

 private:
  void* Allocate(size_t size, size_t align);
  const TExtKey* InternLower(std::string_view lower);

  struct Slot {
    const char* Raw = nullptr;  // null: empty slot
    uint32_t RawLen = 0;
    uint32_t RawHash = 0;
    const TExtKey* Key = nullptr;
  };
  static void Grow(std::vector<Slot>& table);

  struct TBlock {
    void* Data;
    size_t Size;
  };
  std::vector<TBlock> FBlocks;
  char* FCur = nullptr;
  size_t FLeft = 0;
  size_t FArenaBytes = 0;
  std::vector<Slot> FRaw;    // raw extension -> key
  size_t FRawCount = 0;
  std::vector<Slot> FLower;  // lower-cased key text -> key
  size_t FLowerCount = 0;
};

}  // namespace vd
