// The exclusion filters of one scan, prepared once and then only read, so every
// worker of a walk tests its files against the same object.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/FileMask.h"
#include "platform/PlatformTypes.h"

namespace vd {

class TScanContext;

class TScanFilter {
 public:
  explicit TScanFilter(const TScanContext* context);
  // Whether the pattern test needs each file's full path.
  bool NeedsPath() const { return !FMasks.empty(); }
  // Size, then masks, then date; the first that excludes wins. A malformed mask
  // throws EMaskException when a file reaches it, as a fresh matcher would.
  bool IsExcluded(std::string_view name, std::string_view fullPath, int64_t size, TFileTime lastWrite) const;

 private:
  bool MatchesPattern(std::string_view name, std::string_view fullPath) const;

  struct TMask {
    std::string Upper;
    std::optional<TFileMask> Compiled;  // empty: malformed
  };
  int64_t FLessThan = 0;  // 0: off
  std::vector<TMask> FMasks;
  double FModifiedBefore = 0;  // 0: off
};

}  // namespace vd
