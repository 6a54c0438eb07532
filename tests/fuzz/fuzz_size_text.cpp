// The size and day texts of the "Less than" and "Modified before" filters and
// of --min-size and --modified-before. The first byte picks the unit and the
// user's decimal separator; the rest is the text. A size taken is never
// negative, and a day taken decodes to the day written.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/scan/DiskScanner.h"
#include "core/scan/ScanFilters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kSeparators[] = {".", ",", "\xD9\xAB", ""};  // U+066B, the Arabic decimal separator
  const std::string_view separator = kSeparators[data[0] & 3];
  const int unit = int(data[0] >> 2) % 7 - 1;  // -1 and 5 are no unit of the list
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  int64_t bytes = -1;
  if (vd::TryParseLessThanBytes(text, unit, bytes, separator) && bytes < 0) __builtin_trap();
  if (vd::TryParseSizeText(text, bytes, separator) && bytes < 0) __builtin_trap();

  vd::TDateTime day = 0;
  if (vd::TryParseDay(text, day)) {
    const vd::TSystemTime st = vd::DecodeDateTime(day);
    char written[32];
    std::snprintf(written, sizeof written, "%04d-%02d-%02d", st.Year, st.Month, st.Day);
    if (vd::TrimText(text) != written || st.Hour != 0 || st.Minute != 0 || st.Second != 0) __builtin_trap();
  }
  return 0;
}
