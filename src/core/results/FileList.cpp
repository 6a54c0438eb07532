#include "core/results/FileList.h"

#include <algorithm>
#include <unordered_map>

#include "core/results/Beside.h"
#include "core/results/RadixSort.h"

namespace vd {

namespace {

// Per-extension totals keyed by the interned key; neighbours in a folder often
// share one, so the last key is tried before the map.
class TExtSums {
 public:
  void Add(const TFileLeaf* f) {
    const TExtKey* k = f->ExtKey();
    if (k != FLastKey) {
      FLastKey = k;
      FLast = &FSums[k];
    }
    FLast->Bytes += f->Size();
    FLast->Files += 1;
  }
  std::vector<TExtStatPair> Sorted() const {
    // Two keys may spell one extension (parts of the tree scanned at other
    // times intern their own): one row per spelling.
    std::unordered_map<std::string_view, TExtStat> byText;
    for (const auto& [key, s] : FSums) {
      TExtStat& t = byText[key->View()];
      t.Bytes += s.Bytes;
      t.Files += s.Files;
    }
    std::vector<TExtStatPair> out;
    out.reserve(byText.size());
    for (const auto& [text, s] : byText) out.push_back(TExtStatPair{std::string(text), s.Bytes, s.Files});
    std::sort(out.begin(), out.end(), [](const TExtStatPair& a, const TExtStatPair& b) { return a.Bytes > b.Bytes; });
    return out;
  }

 private:
  std::unordered_map<const TExtKey*, TExtStat> FSums;
  const TExtKey* FLastKey = nullptr;
  TExtStat* FLast = nullptr;
};

struct TSizedLeaf {
  uint64_t Key;  // the size, ordered largest first
  TFileLeaf* Leaf;
};

// Pre-order walk; an explicit stack, for trees thousands of levels deep.
template <class TVisit>
void WalkFiles(const TDirNode* root, TVisit&& visit) {
  std::vector<const TDirNode*> stack{root};
  while (!stack.empty()) {
    const TDirNode* d = stack.back();
    stack.pop_back();
    for (TFileLeaf* f : d->Leaves) visit(f);
    for (size_t i = d->Children.size(); i-- > 0;) stack.push_back(d->Children[i]);
  }
}

std::vector<TFileLeaf*> SortedLargestFirst(std::vector<TSizedLeaf>& sized) {
  RadixSortStable(sized, [](const TSizedLeaf& s) { return s.Key; });
  std::vector<TFileLeaf*> out;
  out.reserve(sized.size());
  for (const TSizedLeaf& s : sized) out.push_back(s.Leaf);
  return out;
}

uint64_t LargestFirstKey(int64_t size) { return ~SignedKey(size); }

TAllFiles Collect(const TDirNode* root, bool sumExtensions) {
  TAllFiles all;
  if (!root) return all;
  std::vector<TSizedLeaf> sized;
  sized.reserve(size_t(std::max<int64_t>(root->TotalFiles, 0)));
  TExtSums sums;
  WalkFiles(root, [&](TFileLeaf* f) {
    sized.push_back({LargestFirstKey(f->Size()), f});
    all.TotalBytes += f->Size();
    if (sumExtensions) sums.Add(f);
  });
  all.Files = SortedLargestFirst(sized);
  if (sumExtensions) all.ByExtension = sums.Sorted();
  return all;
}

}  // namespace

std::vector<TFileLeaf*> FlattenAllFiles(const TDirNode* root, int64_t& total) {
  TAllFiles all;
  TPumpScope::Run([&] { all = Collect(root, false); });
  total = all.TotalBytes;
  return std::move(all.Files);
}

TAllFiles CollectAllFiles(const TDirNode* root) { return Collect(root, true); }

std::vector<TFileLeaf*> HeadOfFiles(const std::vector<TFileLeaf*>& all, int64_t& total, size_t max) {
  const size_t n = std::min(all.size(), max);
  std::vector<TFileLeaf*> out(all.begin(), all.begin() + ptrdiff_t(n));
  total = 0;
  for (const TFileLeaf* f : out) total += f->Size();
  return out;
}

}  // namespace vd
