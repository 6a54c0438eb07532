// Puts a scan tree in one measure of size: apparent (the files' lengths) or on
// disk (the bytes allocated, each file with several links once).
//
// Contract:
// - ApplySizeMeasure runs on the thread that owns the tree, with nothing else
//   reading it, after every change of the tree (a scan, an open, a splice) and
//   before the views read any size; the results build calls it first. It sets
//   the process-wide measure that TFileLeaf::Size() follows, so there is one
//   measure for every tree of the process.
// - It resolves hard links where the tree changed since the last time (which
//   link counts is decided once per tree, so switching back and forth never
//   moves a file's bytes from one folder to another), then rolls TotalSize,
//   OtherTotalSize and every root's extension totals up from the files, in one
//   pass without recursion. TotalFiles and TotalDirs do not change.
// - Cost: linear in the entries, plus a hash of the files with several links.
#pragma once

#include <cstdint>

#include "core/scan/ScanModel.h"

namespace vd {

struct TTreeFacts {
  int64_t UnreadableFolders = 0;
  const TDirNode* FirstUnreadable = nullptr;  // the first met, depth first
};

TTreeFacts ApplySizeMeasure(TDirNode* root, TSizeMeasure measure);

// Marks every link after the first of each file as an extra link; the order is
// the tree's (a folder's files, then its sub-folders, depth first).
void ResolveHardLinks(TDirNode* root);

// The folders that could not be read, counted as ApplySizeMeasure counts them.
TTreeFacts CountUnreadable(const TDirNode* root);

const char* ReadErrorText(TReadError e);

}  // namespace vd
