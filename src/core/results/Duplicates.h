// Duplicate detection: files with equal names (ignoring case) and equal sizes.
// Contents are never read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/layout/HashColor.h"
#include "core/scan/ScanModel.h"

namespace vd {

class TDupGroup {
 public:
  std::string FileName;  // as the file that completed the group spells it
  int64_t Size = 0;
  TFileTime ModifiedFT;
  TColor Color = 0x808080;
  std::vector<TFileLeaf*> Files;  // found order; the leaves belong to the tree

  int64_t TotalBytes() const { return int64_t(Files.size()) * Size; }
};

using TDupGroups = std::vector<std::unique_ptr<TDupGroup>>;
using TDupColorMap = std::unordered_map<std::string, TColor>;       // path key -> colour
using TDupGroupMap = std::unordered_map<std::string, TDupGroup*>;  // path key -> group

constexpr size_t kMaxDupGroups = 2000;
constexpr size_t kDupProgressEvery = 800;

// "NAME|size": the upper-cased name, "|", the size in decimal.
std::string MakeDupKey(const TFileLeaf& f);
TColor ColorFromKey(const std::string& key);

// Reports (done, total) at the first file, every 800 and at the last; returns
// true when detection must stop (cancelled).
using TDupProgress = std::function<bool(int64_t done, int64_t total)>;

struct TDupResult {
  TDupGroups Groups;  // largest total first, at most 2000 once complete
  TDupColorMap ColorByPath;
  TDupGroupMap GroupByPath;
  bool Cancelled = false;  // then Groups holds what was found so far, the maps are empty
};

// One pass over `allFiles` (largest first), groups made at the second file.
TDupResult FindDuplicates(const std::vector<TFileLeaf*>& allFiles, const TDupProgress& progress = {});

}  // namespace vd
