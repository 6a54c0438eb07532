#include "core/results/FileList.h"

#include <algorithm>

namespace vd {

std::vector<TFileLeaf*> FlattenAllFiles(const TDirNode* root, int64_t& total) {
  total = 0;
  std::vector<TFileLeaf*> out;
  if (!root) return out;
  out.reserve(size_t(std::max<int64_t>(root->TotalFiles, 0)));
  // An explicit stack: trees are thousands of levels deep at worst.
  std::vector<const TDirNode*> stack{root};
  while (!stack.empty()) {
    const TDirNode* d = stack.back();
    stack.pop_back();
    for (TFileLeaf* f : d->Leaves) {
      out.push_back(f);
      total += f->Size;
    }
    for (size_t i = d->Children.size(); i-- > 0;) stack.push_back(d->Children[i]);
  }
  std::sort(out.begin(), out.end(), [](const TFileLeaf* a, const TFileLeaf* b) { return a->Size > b->Size; });
  return out;
}

std::vector<TFileLeaf*> HeadOfFiles(const std::vector<TFileLeaf*>& all, int64_t& total, size_t max) {
  const size_t n = std::min(all.size(), max);
  std::vector<TFileLeaf*> out(all.begin(), all.begin() + ptrdiff_t(n));
  total = 0;
  for (const TFileLeaf* f : out) total += f->Size;
  return out;
}

}  // namespace vd
