// The writes that put folders and files into a scan tree, shared by the scanner
// and TTreeBuilder, so that every tree has one memory layout and one way of
// rolling totals up.
//
// Contract for whoever writes (a scanner worker, the builder):
// - NewFolder creates a folder in the arena below `parent`, with TotalDirs 1;
//   the folder is not yet in its parent's Children.
// - A folder's own files are written by one thread: either all at once when its
//   listing ends (TLeafStaging::WriteTo, exact blocks), or one by one in any
//   order (AppendLeaf, growing blocks). Either adds their count and bytes to the
//   folder's totals. Extension totals are the caller's (the scanner keeps them
//   per worker, the builder counts them in Finish).
// - SetChildren gives a folder its sub-folders once, in listing order; the
//   builder's random form pushes them one by one instead.
// - AddChildTotals adds the children's totals to a folder; call it once, after
//   every child's totals are final. That makes the folder's totals final.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/scan/ScanModel.h"

namespace vd {

class TTreeWriter {
 public:
  static TDirNode* NewFolder(TArenaCursor& arena, TDirNode* parent, std::string_view name);
  static void SetChildren(TDirNode* dir, TDirNode* const* kids, size_t n, TArenaCursor& arena);
  static void AddChildTotals(TDirNode* dir);
  static TFileLeaf* AppendLeaf(TDirNode* dir, TArenaCursor& arena, std::string_view name, int64_t size,
                               TFileTime time, const TExtKey* ext, const TFileDisk& disk,
                               std::vector<TLinkRecord>& links);
  // Appends a filled block to `dir`'s files and counts them in its totals.
  static void AppendChunk(TDirNode* dir, TLeafChunk* chunk);
};

// One folder's files while it is listed; written into the tree when it ends.
class TLeafStaging {
 public:
  void Add(std::string_view name, int64_t size, TFileTime time, const TExtKey* ext, const TFileDisk& disk = {});
  size_t Count() const { return FItems.size(); }
  // Writes the staged files as `dir`'s files in exactly sized blocks and
  // empties the staging; files with several links go into `links`.
  void WriteTo(TDirNode* dir, TArenaCursor& arena, std::vector<TLinkRecord>& links);

 private:
  struct TStaged {
    int64_t Size;
    TFileTime Time;
    const TExtKey* Ext;
    uint32_t NameStart;
    uint32_t NameLen;
    TFileDisk Disk;
  };
  std::vector<TStaged> FItems;
  std::string FNames;
};

// Names longer than this are cut (no file system makes them; a dump file may).
inline constexpr size_t kMaxStoredName = 0xFFFF;

}  // namespace vd
