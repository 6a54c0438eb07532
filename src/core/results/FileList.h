// The flat list of every file of a scan, largest first, and its displayed head.
#pragma once

#include <cstdint>
#include <vector>

#include "core/scan/ScanModel.h"

namespace vd {

constexpr size_t kDisplayFilesMax = 5000;

// Every leaf below root in pre-order (a folder's leaves, then its children),
// then sorted by size, largest first (not stable). `total` gets the byte sum.
std::vector<TFileLeaf*> FlattenAllFiles(const TDirNode* root, int64_t& total);
// The first min(5000, n) files and their byte sum.
std::vector<TFileLeaf*> HeadOfFiles(const std::vector<TFileLeaf*>& all, int64_t& total, size_t max = kDisplayFilesMax);

}  // namespace vd
