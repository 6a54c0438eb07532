// Extension keys: every lower-cased extension ("(none)" for a name without one)
// is interned once per process and numbered, so that a file record holds a small
// index instead of a pointer, and keys compare by address.
//
// Threads: GlobalExtKey and ExtKeyAt may be called from any thread at any time.
// An index is only ever read after it was handed out (by GlobalExtKey under the
// table's lock, or through a tree published by its builder), so ExtKeyAt needs no
// lock. A TExtKeyCache belongs to one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vd {

struct TExtKey {
  uint32_t Hash;
  uint32_t Len;
  const char* Data;
  uint32_t Index;  // kNoExtIndex for "(none)", kOverflowExtIndex past the table's end
  std::string_view View() const { return {Data, Len}; }
  bool Equals(const TExtKey& o) const { return this == &o || (Hash == o.Hash && View() == o.View()); }
};

// Indices fit in 22 bits of a file record; 0 means "no extension", and the last
// one marks a key interned after the table was full (looked up by name instead).
inline constexpr unsigned kExtIndexBits = 22;
inline constexpr uint32_t kNoExtIndex = 0;
inline constexpr uint32_t kOverflowExtIndex = (1u << kExtIndexBits) - 1;

uint32_t HashBytes(std::string_view s);

// The shared "(none)" key for files without an extension (index 0).
const TExtKey* NoneExtKey();
// The key of a lower-cased extension, interned process-wide; "" and "(none)"
// give NoneExtKey(). Keys live as long as the process.
const TExtKey* GlobalExtKey(std::string_view lowerCasedKey);
// The key of an index handed out by GlobalExtKey (not kOverflowExtIndex).
const TExtKey* ExtKeyAt(uint32_t index);

// One thread's memo from an extension as listed (any case) to its key, so that
// lower-casing and the process-wide lock are paid once per spelling.
class TExtKeyCache {
 public:
  TExtKeyCache();
  // The key of a raw extension (dot included); NoneExtKey() for an empty one.
  const TExtKey* KeyOfRaw(std::string_view rawExt);

 private:
  struct Slot {
    uint32_t Hash = 0;
    uint32_t Offset = 0;  // of the raw text in FText
    uint32_t Len = 0;
    const TExtKey* Key = nullptr;  // null: empty slot
  };
  void Grow();
  std::vector<Slot> FSlots;
  size_t FUsed = 0;
  std::string FText;
};

}  // namespace vd
