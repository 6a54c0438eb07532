// The flat list of every file of a scan, largest first, and its displayed head.
#pragma once

#include <cstdint>
#include <vector>

#include "core/scan/ScanModel.h"

namespace vd {

constexpr size_t kDisplayFilesMax = 5000;

// Every leaf below root in pre-order (a folder's leaves, then its children),
// then sorted by size, largest first. Files of equal size keep that pre-order,
// so the list is the same on every run. `total` gets the byte sum.
std::vector<TFileLeaf*> FlattenAllFiles(const TDirNode* root, int64_t& total);
// The first min(5000, n) files and their byte sum.
std::vector<TFileLeaf*> HeadOfFiles(const std::vector<TFileLeaf*>& all, int64_t& total, size_t max = kDisplayFilesMax);

// FlattenAllFiles and the bytes and files per extension key ("(none)" for
// none; largest first, equal totals in no defined order) in one walk of the
// tree in memory order: what the results build needs first, at the least cost.
struct TAllFiles {
  std::vector<TFileLeaf*> Files;
  int64_t TotalBytes = 0;
  std::vector<TExtStatPair> ByExtension;
};
TAllFiles CollectAllFiles(const TDirNode* root);

}  // namespace vd
