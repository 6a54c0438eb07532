#include "core/results/FolderOrder.h"

#include <algorithm>
#include <vector>

#include "core/results/Beside.h"

namespace vd {

void SortSubfoldersBySize(TDirNode* root) {
  if (!root) return;
  const auto bySize = [](const TDirNode* a, const TDirNode* b) { return a->TotalSize > b->TotalSize; };
  std::vector<TDirNode*> dirs;    // the folders whose sub-folders move
  std::vector<TDirNode*> orders;  // their sub-folders, sorted, one run each
  TPumpScope::Run([&] {
    // An explicit stack: a scan tree may be deeper than the call stack.
    std::vector<TDirNode*> stack{root};
    while (!stack.empty()) {
      TDirNode* d = stack.back();
      stack.pop_back();
      if (!std::is_sorted(d->Children.begin(), d->Children.end(), bySize)) {
        dirs.push_back(d);
        const auto from = ptrdiff_t(orders.size());
        orders.insert(orders.end(), d->Children.begin(), d->Children.end());
        std::stable_sort(orders.begin() + from, orders.end(), bySize);
      }
      for (TDirNode* c : d->Children)
        if (!c->Children.empty()) stack.push_back(c);
    }
  });
  auto from = orders.begin();
  for (TDirNode* d : dirs) {
    std::copy(from, from + ptrdiff_t(d->Children.size()), d->Children.begin());
    from += ptrdiff_t(d->Children.size());
  }
}

}  // namespace vd
