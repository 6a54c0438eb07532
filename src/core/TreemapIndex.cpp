#include "TreemapIndex.h"

#include <functional>

#include "platform/Platform.h"

namespace vd {

uint32_t PathKeyHash(std::string_view key) {
  const uint64_t h = std::hash<std::string_view>{}(key);
  return uint32_t(h ^ (h >> 32));
}

void TPathIndex::Reset(size_t n) {
  FSlots.clear();
  FSlots.shrink_to_fit();
  FSlots.assign(std::max<size_t>(n + n * 3 / 10 + 1, 4), TSlot{0, 0});
}

TPathKeyMaker::TPrefix& TPathKeyMaker::PrefixOf(const TDirNode* d) {
  if (d == FLastDir && FLast) return *FLast;
  auto [it, inserted] = FDirs.try_emplace(d);
  if (inserted) it->second.Prefix = platform::PathKey(platform::JoinPath(d->FullPath(), ""));
  FLastDir = d;
  FLast = &it->second;  // node-based map: stays valid while entries are added
  return *FLast;
}

const std::string& TPathKeyMaker::DirKey(const TDirNode* d) {
  FKey = platform::PathKey(d->FullPath());
  return FKey;
}

const std::string& TPathKeyMaker::FileKey(const TFileLeaf* f) {
  if (!f->Parent) {
    FKey = platform::PathKey(f->FullPath());
    return FKey;
  }
  TPrefix& p = PrefixOf(f->Parent);
  if (p.State < 0) {
    FKey = platform::PathKey(f->FullPath());
    return FKey;
  }
  FKey = p.Prefix;
  FKey += platform::PathKey(f->Name());
  if (p.State == 0) {
    std::string full = platform::PathKey(f->FullPath());
    p.State = full == FKey ? 1 : -1;
    if (p.State < 0) FKey = std::move(full);
  }
  return FKey;
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
