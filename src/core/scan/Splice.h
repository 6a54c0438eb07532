// Rescan of folders of a scan tree: each folder is walked again on its own, as
// a fresh tree with the last scan's filters, and spliced in place of its old
// subtree.
//
// Contract of a splice (SpliceSubtree):
// - The tree after it: `old` has left the tree and is destroyed; `fresh` (a
//   finished tree of the same folder, as a walk returns it) stands in its
//   place among its parent's children, under old's name and path, or nothing
//   does when `fresh` is null (the folder is gone). Every ancestor up to the
//   root has its size, file and folder totals moved by the difference, and every
//   ancestor that keeps extension totals (the root, a drive under "(All
//   Drives)", a folder spliced in earlier) loses old's and gains fresh's. The
//   tree's invariants hold as after a scan.
// - What stays valid: pointers to folders and files outside the old subtree,
//   the other folders' sorted orders, and the parent's order (fresh takes old's
//   place). Pointers into the old subtree do not: its folders and files, and
//   everything built from them (flat file lists, duplicate groups, treemap
//   tiles, rows of the views). So the views are emptied before every splice
//   and built again after it, as after a scan.
// - Memory: the old subtree's folders, file records and names sit in the arena
//   of the scan that made them, in blocks shared with their neighbours; an
//   arena gives back nothing piecemeal, so they are kept until the arena goes
//   (with the tree, or with the subtree of an earlier splice that holds it).
//   Freeing them one by one would cost every file of every scan an allocation
//   of its own. What the subtree holds outside the arena (sorted orders, child
//   lists) is freed at once, and a subtree that is a root of its own (an
//   earlier splice, a drive) goes whole, arena and all. So rescanning one
//   folder again and again keeps at most one stale copy of it: the first
//   splice leaves the scan's records behind, each later one frees the last.
// - Threads: the walk (TRescan::Walk) reads paths only, never the old tree, and
//   may run on any thread while the tree is shown. The splice runs on the
//   thread that owns the tree, with nothing else reading it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/ScanWalk.h"

namespace vd {

// The folder at `path` (spelled as FullPath spells it), or null. Under "(All
// Drives)" the drive with the longest matching path is searched.
TDirNode* FindFolder(TDirNode* root, std::string_view path);
// The folder at `path`, or, when `path` names no folder of the tree, the
// folder of the file it names; null when neither is in the tree.
TDirNode* FolderOfPath(TDirNode* root, std::string_view path);
// Whether `folder` can be rescanned here: it exists, or it is gone from a
// parent that is still there (the splice then takes it out, as a rescan of
// the parent would). A folder whose parent is gone too cannot: that is a
// scan from another machine, or a branch deleted higher up, and taking it out
// would pass for a result. In a tree read from a scan file nothing is taken
// out for being missing: there the folder itself must be here.
bool CanRescan(const TDirNode& folder, bool fromScanFile = false);

// Puts `fresh` in place of `old`, a folder of the tree held by `root` (the root
// itself included: then `root` becomes `fresh`). Null `fresh` takes `old` out.
void SpliceSubtree(std::unique_ptr<TDirNode>& root, TDirNode* old, std::unique_ptr<TDirNode> fresh);

// One rescan of some folders of a tree, all or nothing: the paths are taken on
// the tree's thread, the walk runs on any thread, the splice is back on the
// tree's thread.
class TRescan {
 public:
  // Folders of the tree; repeats and folders inside another of them are
  // dropped, and "(All Drives)" stands for each of its drives. A folder that
  // has become a file stands for its parent, whose walk then finds the file
  // in its place (a root or a drive has no parent to walk, and stays).
  explicit TRescan(const std::vector<TDirNode*>& folders);

  const std::vector<TDirNode*>& Folders() const { return FFolders; }
  const std::vector<std::string>& Paths() const { return FPaths; }

  // Walks each folder again as a fresh tree with `context`'s filters, one
  // after another; a path that is no longer a folder gives no tree, and so
  // does a folder below the tree's top that has become a link or a mount
  // point (a walk of its parent would not enter it either). Progress
  // counts across all of them, and is reported once more after each folder.
  // The tree must not change until SpliceInto. Errors of the filters (an invalid mask) throw.
  void Walk(TScanContext& context, const TWalkOptions& options = {});
  // Whether the walk ran to its end without a cancel.
  bool Complete() const { return FComplete; }
  // Splices every fresh tree into `root`'s tree. Only a complete walk is
  // spliced: otherwise nothing changes and the result is false.
  bool SpliceInto(std::unique_ptr<TDirNode>& root);

 private:
  std::vector<TDirNode*> FFolders;
  std::vector<std::string> FPaths;
  std::vector<bool> FBelowTop;  // has a parent folder in the tree
  std::vector<std::unique_ptr<TDirNode>> FFresh;
  bool FComplete = false;
};

}  // namespace vd
