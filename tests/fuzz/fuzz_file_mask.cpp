// The exclusion masks as a scan applies them: the first line is the pattern
// (masks separated by ";"), the second a file name, the rest its full path.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/scan/FileMask.h"
#include "core/scan/ScanFilter.h"
#include "core/scan/ScanFilters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  auto line = [&in] {
    const size_t eol = in.find('\n');
    const std::string_view l = in.substr(0, eol);
    in.remove_prefix(eol == std::string_view::npos ? in.size() : eol + 1);
    return l;
  };
  vd::TScanFilters filters;
  filters.ExcludePattern = true;
  filters.Pattern = line();
  const std::string_view name = line(), path = in;
  vd::TScanContext context;
  vd::ApplyFilters(filters, context);
  try {
    vd::CheckPatternMasks(context.PatternMasks);
  } catch (const vd::EMaskException&) {
  }
  const vd::TScanFilter filter(&context);
  try {
    filter.IsExcluded(name, path, 0, {});
  } catch (const vd::EMaskException&) {
  }
  return 0;
}
