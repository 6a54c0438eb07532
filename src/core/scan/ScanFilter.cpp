#include "core/scan/ScanFilter.h"

#include "core/scan/DateTime.h"
#include "core/scan/DiskScanner.h"
#include "platform/Platform.h"

namespace vd {

TScanFilter::TScanFilter(const TScanContext* c) {
  if (!c) return;
  if (c->ExcludeLessThan && c->LessThanBytes > 0) FLessThan = c->LessThanBytes;
  if (c->ExcludeModifiedBefore && c->ModifiedBefore > 0) FModifiedBefore = c->ModifiedBefore;
  if (!c->ExcludePattern) return;
  for (const std::string& mask : c->PatternMasks) {
    TMask m{platform::ToUpperLocale(mask), std::nullopt};
    if (m.Upper.empty()) continue;
    try {
      m.Compiled.emplace(m.Upper);
    } catch (const EMaskException&) {
      // Kept, to fail only if a file ever reaches it.
    }
    FMasks.push_back(std::move(m));
  }
}

bool TScanFilter::MatchesPattern(std::string_view name, std::string_view fullPath) const {
  const std::string upperName = platform::ToUpperLocale(name);
  const std::string upperPath = platform::ToUpperLocale(fullPath);
  for (const TMask& m : FMasks) {
    if (!m.Compiled) {
      const TFileMask again(m.Upper);  // throws the mask's error
      if (again.Matches(upperName) || again.Matches(upperPath)) return true;
      continue;
    }
    if (m.Compiled->Matches(upperName) || m.Compiled->Matches(upperPath)) return true;
  }
  return false;
}

bool TScanFilter::IsExcluded(std::string_view name, std::string_view fullPath, int64_t size, TFileTime lastWrite) const {
  if (FLessThan > 0 && size < FLessThan) return true;
  if (!FMasks.empty() && MatchesPattern(name, fullPath)) return true;
  if (FModifiedBefore > 0) {
    const TDateTime t = FileTimeToLocalDateTime(lastWrite);
    if (t > 0) return t < FModifiedBefore;
  }
  return false;
}

}  // namespace vd
