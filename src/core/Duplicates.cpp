#include "Duplicates.h"

#include <algorithm>

#include "platform/Platform.h"

namespace vd {

std::string MakeDupKey(const TFileLeaf& f) {
  std::string key = platform::ToUpperLocale(f.Name());
  key.push_back('|');
  key += std::to_string(f.Size);
  return key;
}

TColor ColorFromKey(const std::string& key) { return HashColor(key); }

TDupResult FindDuplicates(const std::vector<TFileLeaf*>& allFiles, const TDupProgress& progress) {
  TDupResult r;
  const int64_t n = int64_t(allFiles.size());
  if (n == 0) return r;

  struct TDupTemp {
    int32_t Count = 0;
    TFileLeaf* First = nullptr;
    TDupGroup* Group = nullptr;
  };
  std::unordered_map<std::string, TDupTemp> keys;
  keys.reserve(size_t(n));
  for (int64_t i = 0; i < n; ++i) {
    TFileLeaf* f = allFiles[size_t(i)];
    std::string k = MakeDupKey(*f);
    auto [it, inserted] = keys.try_emplace(std::move(k));
    TDupTemp& e = it->second;
    if (inserted) {
      e.Count = 1;
      e.First = f;
    } else if (++e.Count == 2) {
      auto g = std::make_unique<TDupGroup>();
      g->FileName = std::string(f->Name());
      g->Size = f->Size;
      g->ModifiedFT = f->ModifiedFT;
      g->Color = ColorFromKey(it->first);
      g->Files.push_back(e.First);
      g->Files.push_back(f);
      e.Group = g.get();
      r.Groups.push_back(std::move(g));
    } else {
      e.Group->Files.push_back(f);
    }
    if ((i % int64_t(kDupProgressEvery) == 0 || i == n - 1) && progress && progress(i + 1, n)) {
      r.Cancelled = true;
      return r;
    }
  }
  keys = {};

  std::sort(r.Groups.begin(), r.Groups.end(),
            [](const auto& a, const auto& b) { return a->TotalBytes() > b->TotalBytes(); });
  if (r.Groups.size() > kMaxDupGroups) r.Groups.resize(kMaxDupGroups);

  size_t members = 0;
  for (const auto& g : r.Groups) members += g->Files.size();
  r.ColorByPath.reserve(members);
  r.GroupByPath.reserve(members);
  for (const auto& g : r.Groups) {
    for (TFileLeaf* f : g->Files) {
      std::string key = platform::PathKey(f->FullPath());
      r.ColorByPath[key] = g->Color;
      r.GroupByPath[std::move(key)] = g.get();
    }
  }
  return r;
}

}  // namespace vd
