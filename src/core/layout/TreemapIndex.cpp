#include "core/layout/TreemapIndex.h"

#include <functional>
#include <utility>

#include "platform/Platform.h"

namespace vd {

namespace {
size_t HashPart(std::string_view s) { return std::hash<std::string_view>{}(s); }
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
bool HasDelimiter(std::string_view s) {
  for (char d : platform::PathDelimiters())
    if (s.find(d) != std::string_view::npos) return true;
  return false;
}
uint32_t CombineParts(size_t folder, size_t name) {
  const uint64_t h = uint64_t(folder) * 0x9E3779B97F4A7C15ULL ^ uint64_t(name);
  return uint32_t(h ^ (h >> 32));
}
}  // namespace

uint32_t PathKeyHash(std::string_view key) {
  const size_t at = AfterLastDelimiter(key);
  return CombineParts(HashPart(key.substr(0, at)), HashPart(key.substr(at)));
}

namespace treemap_detail {
uint32_t HashOfObj(TPathKeyMaker& keys, const TTreeObj& o) {
  if (o.IsDir) return PathKeyHash(keys.DirKey(static_cast<const TDirNode*>(o.Obj)));
  return keys.FileKeyHash(static_cast<const TFileLeaf*>(o.Obj));
}
}  // namespace treemap_detail

TPathKeyMaker::TPrefix& TPathKeyMaker::PrefixOf(const TDirNode* d, std::string* dirPath) {
  if (d == FLastDir && FLast) return *FLast;
  // Files sorted by size hop between folders at every step: a small
  // direct-mapped cache in front of the table saves most of its look-ups.
  TCacheSlot& slot = FCache[(reinterpret_cast<uintptr_t>(d) >> 4) % kCacheSlots];
  if (slot.Dir == d && slot.Prefix) {
    FLastDir = d;
    FLast = slot.Prefix;
    return *FLast;
  }
  TPrefix* found = Find(d);
  if (!found) {
    found = &Add(d);
    TPrefix& p = *found;
    p.DirPath = dirPath ? std::move(*dirPath) : d->FullPath();
    p.Prefix = platform::PathKey(platform::JoinPath(p.DirPath, ""));
    p.PrefixHash = HashPart(p.Prefix);
    p.Splits = !p.Prefix.empty() && AfterLastDelimiter(p.Prefix) == p.Prefix.size();
  }
  FLastDir = d;
  FLast = found;
  slot = {d, FLast};
  return *FLast;
}

TPathKeyMaker::TPrefix* TPathKeyMaker::Find(const TDirNode* d) {
  const uint32_t* i = FIndexOf.Find(d);
  return i ? &FPrefixes[*i] : nullptr;
}

TPathKeyMaker::TPrefix& TPathKeyMaker::Add(const TDirNode* d) {
  FIndexOf.Set(d, uint32_t(FPrefixes.size()));
  return FPrefixes.emplace_back();
}

const std::string& TPathKeyMaker::DirKey(const TDirNode* d) {
  // The folder's files usually follow: its prefix is made from the same path.
  std::string path = d->FullPath();
  FKey = platform::PathKey(path);
  if (!Find(d)) PrefixOf(d, &path);
  return FKey;
}

const std::string& TPathKeyMaker::FileKey(const TFileLeaf* f) {
  if (!f->Parent()) {
    FKey = platform::PathKey(f->FullPath());
    return FKey;
  }
  TPrefix& p = PrefixOf(f->Parent());
  if (p.State < 0) {
    FKey = platform::PathKey(f->FullPath());
    return FKey;
  }
  FKey = p.Prefix;
  FKey += platform::PathKey(f->Name());
  if (p.State == 0) {
    // f->FullPath(), from the folder path at hand.
    std::string full = platform::PathKey(platform::JoinPath(p.DirPath, f->Name()));
    p.State = full == FKey ? 1 : -1;
    if (p.State < 0) FKey = std::move(full);
    p.DirPath = {};
  }
  return FKey;
}

uint32_t TPathKeyMaker::FileKeyHash(const TFileLeaf* f) {
  if (f->Parent()) {
    const TPrefix& p = PrefixOf(f->Parent());
    if (p.State > 0 && p.Splits) {
      if constexpr (platform::kPathIsItsKey) {
        const std::string_view name = f->Name();
        if (!HasDelimiter(name)) return CombineParts(p.PrefixHash, HashPart(name));
      } else {
        const std::string name = platform::PathKey(f->Name());
        if (!HasDelimiter(name)) return CombineParts(p.PrefixHash, HashPart(name));
      }
    }
  }
  return PathKeyHash(FileKey(f));
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
