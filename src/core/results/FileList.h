// The flat list of every file of a scan, largest first, and its displayed head.
#pragma once

#include <cstdint>
#include <functional>
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

// Bytes and files per extension key ("(none)" for none) over `files`, largest
// first (equal totals in no defined order).
std::vector<TExtStatPair> SumByExtension(const std::vector<TFileLeaf*>& files);

// FlattenAllFiles and SumByExtension over its result in one walk of the tree
// in memory order: what the results build needs first, at the least cost.
struct TAllFiles {
  std::vector<TFileLeaf*> Files;
  int64_t TotalBytes = 0;
  std::vector<TExtStatPair> ByExtension;
};
// `stop`, when given, is asked now and then; once it says true the walk ends
// with whatever it has, unsorted.
TAllFiles CollectAllFiles(const TDirNode* root, const std::function<bool()>& stop = {});

}  // namespace vd
