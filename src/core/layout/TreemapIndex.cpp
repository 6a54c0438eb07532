#include "core/layout/TreemapIndex.h"

#include <functional>
#include <utility>

#include "platform/Platform.h"

namespace vd {

namespace {
size_t HashPart(std::string_view s) { return std::hash<std::string_view>{}(s); }
// Names are hashed character by character: a table answers for each at once.
struct TDelimiterTable {
  bool Is[256] = {};
  TDelimiterTable() {
    for (char d : platform::PathDelimiters()) Is[static_cast<unsigned char>(d)] = true;
  }
};
bool IsDelimiter(char c) {
  static const TDelimiterTable table;
  return table.Is[static_cast<unsigned char>(c)];
}
// find_last_of / find_first_of search the delimiter set once per character;
// one pass per delimiter is far cheaper (there are one or two).
size_t AfterLastDelimiter(std::string_view s) {
  size_t at = 0;
  for (char d : platform::PathDelimiters()) {
    const size_t p = s.rfind(d);
    if (p != std::string_view::npos && p + 1 > at) at = p + 1;
  }
  return at;
}
constexpr uint64_t kNoParts = 0x6A09E667F3BCC909ULL;
uint64_t TakePart(uint64_t h, std::string_view part) {
  h = ((h << 5) | (h >> 59)) ^ uint64_t(HashPart(part));
  return h * 0x9E3779B97F4A7C15ULL;
}
// h taken over every non-empty part of s between delimiters.
uint64_t TakeParts(uint64_t h, std::string_view s) {
  size_t from = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && !IsDelimiter(s[i])) continue;
    if (i > from) h = TakePart(h, s.substr(from, i - from));
    from = i + 1;
  }
  return h;
}
uint32_t CombineParts(uint64_t folder, size_t name) {
  const uint64_t h = folder * 0x9E3779B97F4A7C15ULL ^ uint64_t(name);
  return uint32_t(h ^ (h >> 32));
}
// The hash of an entry named `name` (a key) in the folder whose part is `folder`.
uint32_t EntryHash(uint64_t folder, std::string_view name) {
  const size_t at = AfterLastDelimiter(name);
  return CombineParts(at ? TakeParts(folder, name.substr(0, at)) : folder, HashPart(name.substr(at)));
}
template <class TWithKey>
auto WithNameKey(std::string_view name, TWithKey&& withKey) {
  if constexpr (platform::kPathIsItsKey) {
    return withKey(name);
  } else {
    const std::string key = platform::PathKey(name);
    return withKey(std::string_view(key));
  }
}
}  // namespace

uint32_t PathKeyHash(std::string_view key) { return EntryHash(kNoParts, key); }

namespace treemap_detail {
uint32_t HashOfObj(TPathKeyMaker& keys, const TTreeObj& o) {
  if (o.IsDir) return keys.DirKeyHash(static_cast<const TDirNode*>(o.Obj));
  return keys.FileKeyHash(static_cast<const TFileLeaf*>(o.Obj));
}
}  // namespace treemap_detail

uint64_t TPathKeyMaker::FolderPart(const TDirNode* d) {
  if (d == FLastDir) return FLastPart;
  // Files sorted by size hop between folders at every step: a small
  // direct-mapped cache in front of the table saves most of its look-ups.
  TCacheSlot& slot = FCache[(reinterpret_cast<uintptr_t>(d) >> 4) % kCacheSlots];
  if (slot.Dir == d) {
    FLastDir = d;
    FLastPart = slot.Part;
    return FLastPart;
  }
  // Up the chain to the first folder whose part is known or to a root, then
  // down again: every folder is worked out once, with no recursion.
  FChain.clear();
  const TDirNode* p = d;
  uint64_t part = kNoParts;
  for (;;) {
    if (const uint64_t* known = FFolderPart.Find(p)) {
      part = *known;
      break;
    }
    FChain.push_back(p);
    if (p->IsRoot() || !p->Parent) {
      FChain.pop_back();
      part = TakeParts(kNoParts, platform::PathKey(p->FullPath()));
      FFolderPart.Set(p, part);
      break;
    }
    p = p->Parent;
  }
  for (size_t i = FChain.size(); i-- > 0;) {
    part = WithNameKey(FChain[i]->Name(), [part](std::string_view name) { return TakeParts(part, name); });
    FFolderPart.Set(FChain[i], part);
  }
  FLastDir = d;
  FLastPart = part;
  slot = {d, part};
  return part;
}

uint32_t TPathKeyMaker::DirKeyHash(const TDirNode* d) {
  if (d->IsRoot() || !d->Parent) return PathKeyHash(platform::PathKey(d->FullPath()));
  const uint64_t folder = FolderPart(d->Parent);
  return WithNameKey(d->Name(), [folder](std::string_view name) { return EntryHash(folder, name); });
}

uint32_t TPathKeyMaker::FileKeyHash(const TFileLeaf* f) {
  if (!f->Parent()) return PathKeyHash(platform::PathKey(f->FullPath()));
  const uint64_t folder = FolderPart(f->Parent());
  return WithNameKey(f->Name(), [folder](std::string_view name) { return EntryHash(folder, name); });
}

void TPathSelection::Clear() {
  FPaths.clear();
  FMarks = {};
  FMarksValid = false;
}

void TPathSelection::Add(std::string key) {
  FPaths.insert(std::move(key));
  FMarksValid = false;
}

bool TPathSelection::Remove(const std::string& key) {
  FMarksValid = false;
  return FPaths.erase(key) != 0;
}

}  // namespace vd
