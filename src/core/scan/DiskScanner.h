// The disk scanner: walks one folder tree into a scan tree on a pool of worker
// threads, leaving out files the context's filters exclude, with throttled
// progress and cancellation from another thread. The tree is the one a single
// thread walking depth-first would build, entry for entry.
//
// Contract (scanner -> tree, see also TreeWriter.h):
// - Scan() runs on the caller's thread, which is one of the workers; it starts
//   the others and joins them before it returns. The tree crosses to the caller
//   at that join, complete.
// - One worker lists a folder from start to end. Its files are staged and
//   written into the tree in one block when the listing ends, in listing order.
//   Its sub-folders are created as they are met (TotalDirs 1, counted in
//   FDirs), set as its Children in listing order when the listing ends, and
//   queued. Workers take the most recently queued folder first, so the walk stays
//   depth-first and few folders are open at once.
// - Ownership while filling: a folder belongs to the worker listing it; once
//   queued, a sub-folder belongs to the worker that takes it. Nobody else writes
//   a folder, except to add its children's totals, below.
// - Totals: a folder's totals are final when its own listing has ended and every
//   child's totals are final. Whichever worker makes the last of them final adds
//   the children's totals to the folder and goes on to its parent (a count of
//   unfinished children per folder, decremented with acquire-release ordering).
//   The root is final before Scan() returns. Extension totals are counted per
//   worker and merged into the root's at the end.
// - Progress: OnProgress is called on whichever worker finds 80 ms passed, under
//   the scanner's progress lock, so never on two threads at once. FFiles, FDirs
//   and FBytes are written under that lock too, so the callback may read them
//   (lagging behind the other workers by at most a few hundred entries); other
//   threads read them after Scan() returns. FTickSource is called by every
//   worker, at the same time.
// - Stop: every worker checks the context before each entry. After a Cancel,
//   folders already met but not yet opened stay in the tree as empty folders, so
//   a partial tree still adds up. An error in one worker (an invalid mask) stops
//   the others the same way and Scan() throws it, as a single thread would.
// - Threads: the context's ScanThreads when above 0; else VORNDALE_SCAN_THREADS;
//   else 1 when the folder is on a spinning disk; else the hardware threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/scan/DateTime.h"
#include "core/scan/FileMask.h"
#include "core/scan/ScanModel.h"

namespace vd {

class TScanContext {
 public:
  std::atomic<int32_t> FCancelled{0};
  bool ExcludeModifiedBefore = false;
  TDateTime ModifiedBefore = 0;
  bool ExcludeLessThan = false;
  int64_t LessThanBytes = 0;
  bool ExcludePattern = false;
  std::string Pattern;
  std::vector<std::string> PatternMasks;
  // Worker threads of the walk; 0 leaves the choice to the scanner.
  int ScanThreads = 0;

  void Cancel() { FCancelled.exchange(1); }
  bool IsCancelled() const { return FCancelled.load() != 0; }
};

// Splits a pattern text at ";" into trimmed, non-empty masks, in order.
std::vector<std::string> SplitPatternMasks(const std::string& pattern);
// Leading and trailing blanks and control characters removed.
std::string TrimText(std::string_view s);

using TScanProgressEvent = std::function<void(const std::string& path, int64_t files, int64_t folders)>;
using TTickSource = std::function<uint32_t()>;

class TScanFilter;

class TDiskScanner {
 public:
  explicit TDiskScanner(TScanContext* context);
  ~TDiskScanner();

  TScanContext* FContext = nullptr;
  int64_t FFiles = 0;
  int64_t FDirs = 0;
  int64_t FBytes = 0;
  uint32_t FLastProgressTick = 0;
  TScanProgressEvent OnProgress;
  // The clock behind the 80 ms throttle; the platform's tick count by default.
  TTickSource FTickSource;

  void ResetCounters();
  // Scans `rootPath` (with or without a trailing separator). Null when the
  // context was cancelled before the root was entered; an incomplete tree when
  // it was cancelled during the walk. An invalid mask throws EMaskException.
  std::unique_ptr<TDirNode> Scan(const std::string& rootPath);
  // The number of worker threads a scan of `rootPath` uses.
  int ThreadsFor(const std::string& rootPath) const;

  // Filter test of one file, as the walk applies it.
  bool IsExcluded(std::string_view name, std::string_view fullPath, int64_t size, TFileTime lastWrite);

 private:
  struct TWalk;
  struct TWorker;
  bool Cancelled() const { return FContext && FContext->IsCancelled(); }

  std::shared_ptr<TScanStore> FStore;  // shared by every tree this scanner returns
  std::mutex FProgressLock;
  std::atomic<uint32_t> FProgressGate{0};  // FLastProgressTick, for a check without the lock
  std::unique_ptr<TScanFilter> FFilter;    // for IsExcluded
  const TScanContext* FFilterOf = nullptr;
};

}  // namespace vd
