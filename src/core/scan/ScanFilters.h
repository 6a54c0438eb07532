// The exclusion filters of a scan as the user states them, and the rules that
// turn the user's texts into a scan context. The window's filter controls and
// the command line of a headless export both go through here, so the two
// cannot drift apart in what they accept or how they say no.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/DateTime.h"
#include "core/scan/DiskScanner.h"

namespace vd {

// The messages a rejected filter text gets.
inline constexpr char kInvalidLessThanMessage[] = "Invalid \"Less than\" value.";
inline constexpr char kInvalidModifiedBeforeMessage[] = "Invalid \"Modified before\" date.";

// The units of the "Less than" filter, in the order the window lists them.
inline constexpr const char* kSizeUnitNames[] = {"Bytes", "KB", "MB", "GB", "TB"};
// Bytes in the unit at `index` of kSizeUnitNames; any other index counts as 1.
double SizeUnitFactor(int index);

// The "Less than" rule: `text`, trimmed, is a number written with the user's
// decimal separator or else with "." (no thousands separators); it must not be
// negative. Times the unit, rounded to the nearest byte (halves to even), and
// 2^63 or more saturates at INT64_MAX. 0 is accepted (it turns the filter off).
bool TryParseLessThanBytes(std::string_view text, int unitIndex, int64_t& bytes,
                           std::string_view decimalSeparator = ".");

// A size as typed on a command line: the same number, then optionally a unit
// with or without a blank ("500", "64KB", "1.5 GB"). Units are the window's
// (KB = 1024 bytes), in any letter case; "B", "K", "M", "G", "T" and "KiB" ...
// "TiB" are taken too.
bool TryParseSizeText(std::string_view text, int64_t& bytes, std::string_view decimalSeparator = ".");

// "YYYY-MM-DD" as the local midnight that starts the day; false for any other
// form or a day the calendar does not have.
bool TryParseDay(std::string_view text, TDateTime& out);

// The filters of one scan, as chosen.
struct TScanFilters {
  bool ExcludeModifiedBefore = false;
  TDateTime ModifiedBefore = 0;  // files written strictly before are left out
  bool ExcludeLessThan = false;
  int64_t LessThanBytes = 0;  // files strictly smaller are left out; 0: none
  bool ExcludePattern = false;
  std::string Pattern;  // masks separated by ";"
};

// Fills the filter fields of a context: the pattern trimmed, and its masks
// split out only while the pattern filter is on.
void ApplyFilters(const TScanFilters& filters, TScanContext& context);

// Compiles every mask once. Throws EMaskException for the first malformed one,
// with the message a scan gives when a file reaches it.
void CheckPatternMasks(const std::vector<std::string>& masks);

}  // namespace vd
