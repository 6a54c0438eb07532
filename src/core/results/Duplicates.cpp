#include "core/results/Duplicates.h"

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

namespace {
// The duplicate key's identity without building it: a hash of the upper-cased
// name beside the size. Names that are plain ASCII (nearly all) are hashed as
// they are upper-cased, with no copy; others go through the locale's mapping.
bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

uint64_t UpperNameHash(std::string_view name) {
  uint64_t h = 0xCBF29CE484222325ULL;  // FNV-1a, 64-bit
  auto add = [&h](char c) {
    h ^= uint8_t(c);
    h *= 0x100000001B3ULL;
  };
  if (IsAscii(name)) {
    for (char c : name) add(AsciiUpper(c));
  } else {
    for (char c : platform::ToUpperLocale(name)) add(c);
  }
  return h;
}

bool SameUpperName(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
  }
  return platform::ToUpperLocale(a) == platform::ToUpperLocale(b);
}

struct TRec {
  uint64_t Hash;
  int64_t Size;
  uint32_t Index;  // position in the file list
};

// The groups among the first recs.size() files, as one pass over the list
// would have made them: a group appears when its second file is reached, takes
// that file's name and time, and lists its files in list order.
TDupGroups GroupRuns(std::vector<TRec>& recs, const std::vector<TFileLeaf*>& files) {
  // Sorting keeps every file list small and sequential; a map entry per file
  // cost most of the time on a drive where nearly every name is unique.
  std::sort(recs.begin(), recs.end(), [](const TRec& a, const TRec& b) {
    if (a.Hash != b.Hash) return a.Hash < b.Hash;
    if (a.Size != b.Size) return a.Size < b.Size;
    return a.Index < b.Index;
  });
  std::vector<std::pair<uint32_t, std::unique_ptr<TDupGroup>>> made;  // (second file's index, group)
  std::vector<std::vector<uint32_t>> subsets;
  for (size_t i = 0; i < recs.size();) {
    size_t j = i + 1;
    while (j < recs.size() && recs[j].Hash == recs[i].Hash && recs[j].Size == recs[i].Size) ++j;
    if (j - i >= 2) {
      // Names whose hashes meet by chance are told apart here.
      subsets.clear();
      for (size_t k = i; k < j; ++k) {
        const uint32_t idx = recs[k].Index;
        auto it = std::find_if(subsets.begin(), subsets.end(), [&](const std::vector<uint32_t>& sub) {
          return SameUpperName(files[sub[0]]->Name(), files[idx]->Name());
        });
        if (it == subsets.end())
          subsets.push_back({idx});
        else
          it->push_back(idx);
      }
      for (const std::vector<uint32_t>& sub : subsets) {
        if (sub.size() < 2) continue;
        const TFileLeaf* second = files[sub[1]];
        auto g = std::make_unique<TDupGroup>();
        g->FileName = std::string(second->Name());
        g->Size = second->Size;
        g->ModifiedFT = second->ModifiedFT;
        g->Color = ColorFromKey(MakeDupKey(*second));
        g->Files.reserve(sub.size());
        for (uint32_t idx : sub) g->Files.push_back(files[idx]);
        made.emplace_back(sub[1], std::move(g));
      }
    }
    i = j;
  }
  std::sort(made.begin(), made.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  TDupGroups groups;
  groups.reserve(made.size());
  for (auto& m : made) groups.push_back(std::move(m.second));
  return groups;
}
}  // namespace

TDupResult FindDuplicates(const std::vector<TFileLeaf*>& allFiles, const TDupProgress& progress) {
  TDupResult r;
  const int64_t n = int64_t(allFiles.size());
  if (n == 0) return r;

  std::vector<TRec> recs;
  recs.reserve(size_t(n));
  for (int64_t i = 0; i < n; ++i) {
    const TFileLeaf* f = allFiles[size_t(i)];
    recs.push_back(TRec{UpperNameHash(f->Name()), f->Size, uint32_t(i)});
    if ((i % int64_t(kDupProgressEvery) == 0 || i == n - 1) && progress && progress(i + 1, n)) {
      r.Groups = GroupRuns(recs, allFiles);
      r.Cancelled = true;
      return r;
    }
  }
  r.Groups = GroupRuns(recs, allFiles);
  recs = {};

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
