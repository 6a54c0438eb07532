#include "core/results/Duplicates.h"

#include <algorithm>
#include <atomic>

#include "core/results/Beside.h"
#include "core/results/RadixSort.h"
#include "platform/Platform.h"

namespace vd {

std::string MakeDupKey(const TFileLeaf& f) {
  std::string key = platform::ToUpperLocale(f.Name());
  key.push_back('|');
  key += std::to_string(f.ApparentSize());
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

// A file's duplicate key boiled down to 64 bits (the upper-cased name's hash
// mixed with the size) and its place in the list.
struct TRec {
  uint64_t Key;
  uint32_t Index;
};

uint64_t RecKey(const TFileLeaf* f) {
  uint64_t h = UpperNameHash(f->Name()) ^ (uint64_t(f->ApparentSize()) * 0x9E3779B97F4A7C15ULL);
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ULL;
  return h ^ (h >> 32);
}

// The groups among `recs` (in any order), as one pass over the list would have
// made them: a group appears when its second file is reached, takes that
// file's name and time, and lists its files in list order.
TDupGroups GroupRuns(std::vector<TRec>& recs, const std::vector<TFileLeaf*>& files) {
  // Files of one key side by side; a sort, not a map entry per file, which
  // cost most of the time on a drive where nearly every name is unique.
  RadixSortStable(recs, [](const TRec& r) { return r.Key >> 32; });
  std::vector<std::pair<uint32_t, std::unique_ptr<TDupGroup>>> made;  // (second file's index, group)
  std::vector<std::vector<uint32_t>> subsets;
  for (size_t i = 0; i < recs.size();) {
    size_t j = i + 1;
    while (j < recs.size() && recs[j].Key >> 32 == recs[i].Key >> 32) ++j;
    if (j - i >= 2) {
      std::sort(recs.begin() + ptrdiff_t(i), recs.begin() + ptrdiff_t(j), [](const TRec& a, const TRec& b) {
        return a.Key != b.Key ? a.Key < b.Key : a.Index < b.Index;
      });
      // Sizes and names whose hashes meet by chance are told apart here.
      subsets.clear();
      for (size_t k = i; k < j; ++k) {
        const uint32_t idx = recs[k].Index;
        const TFileLeaf* f = files[idx];
        auto it = std::find_if(subsets.begin(), subsets.end(), [&](const std::vector<uint32_t>& sub) {
          const TFileLeaf* first = files[sub[0]];
          return first->ApparentSize() == f->ApparentSize() && SameUpperName(first->Name(), f->Name());
        });
        if (it == subsets.end())
          subsets.push_back({idx});
        else
          it->push_back(idx);
      }
      for (std::vector<uint32_t>& sub : subsets) {
        if (sub.size() < 2) continue;
        std::sort(sub.begin(), sub.end());  // list order
        const TFileLeaf* second = files[sub[1]];
        auto g = std::make_unique<TDupGroup>();
        g->FileName = std::string(second->Name());
        g->Size = second->Size();
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

// The list's files in the order they lie in memory, with their positions in it.
struct TAt {
  uint64_t Addr;
  uint32_t Index;
  const TFileLeaf* Leaf() const { return reinterpret_cast<const TFileLeaf*>(uintptr_t(Addr)); }
};
std::vector<TAt> MemoryOrder(const std::vector<TFileLeaf*>& files) {
  std::vector<TAt> at;
  at.reserve(files.size());
  for (size_t i = 0; i < files.size(); ++i) at.push_back({uint64_t(reinterpret_cast<uintptr_t>(files[i])), uint32_t(i)});
  RadixSortStable(at, [](const TAt& a) { return a.Addr; });
  return at;
}
}  // namespace

void MapDuplicateFiles(const TDupGroups& groups, TDupColorMap& colorByFile, TDupGroupMap& groupByFile) {
  colorByFile.clear();
  groupByFile.clear();
  size_t members = 0;
  for (const auto& g : groups) members += g->Files.size();
  colorByFile.reserve(members);
  groupByFile.reserve(members);
  for (const auto& g : groups) {
    for (const TFileLeaf* f : g->Files) {
      colorByFile.Set(f, g->Color);
      groupByFile.Set(f, g.get());
    }
  }
}

// The points at which progress is told: after the first file, then every
// kDupProgressEvery files, and after the last.
int64_t NextProgressPoint(int64_t point, int64_t n) {
  if (point >= n) return n + 1;  // none left
  return std::min(point + int64_t(kDupProgressEvery), n);
}

TDupResult FindDuplicates(const std::vector<TFileLeaf*>& allFiles, const TDupProgress& progress) {
  TDupResult r;
  const int64_t n = int64_t(allFiles.size());
  if (n == 0) return r;

  std::vector<TRec> recs;
  std::atomic<int64_t> read{0};
  std::atomic<bool> stop{false};
  // Names are read where they lie: in list order (largest first) every file
  // is a jump to another place in memory.
  auto readAll = [&] {
    // A stop at the first point finds no group, whichever file was read
    // first: it may come while the order is still being worked out.
    read.store(1, std::memory_order_release);
    // The record's address comes with its position: looking it up in the
    // list again would be one more jump per file.
    const std::vector<TAt> order = MemoryOrder(allFiles);
    if (stop.load(std::memory_order_relaxed)) return;
    recs.reserve(size_t(n));
    for (int64_t i = 0; i < n; ++i) {
      const TAt& at = order[size_t(i)];
      recs.push_back(TRec{RecKey(at.Leaf()), at.Index});
      if ((i & 255) == 0) {
        read.store(i + 1, std::memory_order_release);
        if (stop.load(std::memory_order_relaxed)) return;
      }
    }
    read.store(n, std::memory_order_release);
  };
  auto finish = [&] {
    r.Groups = GroupRuns(recs, allFiles);
    recs = {};
    std::sort(r.Groups.begin(), r.Groups.end(),
              [](const auto& a, const auto& b) { return a->TotalBytes() > b->TotalBytes(); });
    if (r.Groups.size() > kMaxDupGroups) r.Groups.resize(kMaxDupGroups);
    MapDuplicateFiles(r.Groups, r.ColorByFile, r.GroupByFile);
  };
  if (!progress) {
    readAll();
    finish();
    return r;
  }

  // The reading runs beside this thread, which tells progress at the same
  // points, in the same order, as reading here would; a stop at a point keeps
  // exactly the files read up to it.
  // While no new point is reached the last one is told again, so the caller
  // can keep its window alive and stop at any time.
  int64_t point = 1, told = 0, cancelAt = 0;
  auto tellAt = [&](int64_t p) {
    if (progress(p, n)) {
      cancelAt = p;
      stop.store(true, std::memory_order_relaxed);
    }
    told = p;
  };
  auto tell = [&] {
    const int64_t have = read.load(std::memory_order_acquire);
    if (point > have && told > 0 && !cancelAt) tellAt(told);
    for (; !cancelAt && point <= have; point = NextProgressPoint(point, n)) tellAt(point);
  };
  RunBeside(readAll, tell);
  // What is left to tell, without telling the last point twice for nothing.
  for (; !cancelAt && point <= read.load(std::memory_order_acquire); point = NextProgressPoint(point, n)) tellAt(point);
  if (cancelAt) {
    recs.resize(std::min(recs.size(), size_t(cancelAt)));
    r.Groups = GroupRuns(recs, allFiles);
    r.Cancelled = true;
    return r;
  }
  // Grouping is one block of work; on large lists it runs beside too, with
  // the last point told again meanwhile so the caller's window stays alive.
  if (n < kDupGroupBesideFrom) {
    finish();
    return r;
  }
  bool cancelled = false;
  RunBeside(finish, [&] { cancelled = cancelled || progress(n, n); });
  if (cancelled) {
    r.ColorByFile.clear();
    r.GroupByFile.clear();
    r.Cancelled = true;
  }
  return r;
}

}  // namespace vd
