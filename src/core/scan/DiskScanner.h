// The disk scanner: walks one folder tree depth-first into a scan tree, leaving
// out files the context's filters exclude, with throttled progress and
// cancellation from another thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
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

  void Cancel() { FCancelled.exchange(1); }
  bool IsCancelled() const { return FCancelled.load() != 0; }
};

// Splits a pattern text at ";" into trimmed, non-empty masks, in order.
std::vector<std::string> SplitPatternMasks(const std::string& pattern);
// Leading and trailing blanks and control characters removed.
std::string TrimText(std::string_view s);

using TScanProgressEvent = std::function<void(const std::string& path, int64_t files, int64_t folders)>;
using TTickSource = std::function<uint32_t()>;

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

  // Filter test of one file, as the walk applies it.
  bool IsExcluded(std::string_view name, std::string_view fullPath, int64_t size, TFileTime lastWrite);

 private:
  struct TFrame;
  bool Cancelled() const { return FContext && FContext->IsCancelled(); }
  void ReportProgress(const std::string& path);
  void ReportProgressOfCurrent();
  bool MatchesExcludePattern(std::string_view name, std::string_view fullPath);
  void FinishFrame(TFrame& f);
  void DiscardFrames(size_t depth);

  std::shared_ptr<TScanStore> FStore;  // shared by every tree this scanner returns
  std::vector<std::unique_ptr<TFrame>> FFrames;
  std::string FPath;  // path of the folder being listed
  std::string FChildPath;
  // Masks are compiled (upper-cased) when a file first reaches them, so that a
  // malformed mask fails exactly where a fresh matcher per test would.
  std::vector<std::unique_ptr<TFileMask>> FMasks;
  const TScanContext* FMasksOf = nullptr;
};

}  // namespace vd
