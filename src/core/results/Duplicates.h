// Duplicate detection: files with equal names (ignoring case) and equal sizes.
// Contents are never read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/layout/HashColor.h"
#include "core/results/LeafMap.h"
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
// Keyed by the file itself, not by its path: a file counts once however its
// path is spelt, and a million members cost no million path strings.
using TDupColorMap = TLeafMap<TColor>;      // file -> its group's colour
using TDupGroupMap = TLeafMap<TDupGroup*>;  // file -> its group

constexpr size_t kMaxDupGroups = 2000;
constexpr size_t kDupProgressEvery = 800;
// From this many files on, grouping runs beside the caller (see FindDuplicates).
constexpr int64_t kDupGroupBesideFrom = 65536;

// "NAME|size": the upper-cased name, "|", the size in decimal.
std::string MakeDupKey(const TFileLeaf& f);
TColor ColorFromKey(const std::string& key);

// Reports (done, total) at the first file, every 800 and at the last; returns
// true when detection must stop (cancelled).
using TDupProgress = std::function<bool(int64_t done, int64_t total)>;

struct TDupResult {
  TDupGroups Groups;  // largest total first, at most 2000 once complete
  TDupColorMap ColorByFile;
  TDupGroupMap GroupByFile;
  bool Cancelled = false;  // then Groups holds what was found so far, the maps are empty
};

// The groups of `allFiles` (largest first) as one pass over the list makes
// them: a group appears at its second file, takes that file's name and time,
// and lists its files in list order. The files are read in memory order, not
// list order; progress counts the files read so far. Safe on any one thread
// while nothing changes the tree; `progress` is called on that thread.
TDupResult FindDuplicates(const std::vector<TFileLeaf*>& allFiles, const TDupProgress& progress = {});

// Both maps over the members of `groups`.
void MapDuplicateFiles(const TDupGroups& groups, TDupColorMap& colorByFile, TDupGroupMap& groupByFile);

}  // namespace vd
