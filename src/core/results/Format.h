// Text forms of byte counts, percentages and times, as every view shows them.
#pragma once

#include <cstdint>
#include <string>

#include "core/scan/DateTime.h"

namespace vd {

// The user's locale separators; the GUI sets them once at start-up.
struct TFormatSettings {
  std::string DecimalSeparator = ".";
  std::string TimeSeparator = ":";
};
TFormatSettings& DefaultFormatSettings();

// Units of 1024, chosen before rounding; ties away from zero; negatives in bytes.
std::string FormatSize(int64_t bytes, const TFormatSettings& fs = DefaultFormatSettings());
// Part / Total × 100 with two decimals and "%"; the literal "0.00%" (a point
// in every locale) unless Total > 0.
std::string FormatPercent(int64_t part, int64_t total, const TFormatSettings& fs = DefaultFormatSettings());
// "yyyy-mm-dd hh:nn" with the locale's time separator.
std::string FormatDateTimeShort(TDateTime dt, const TFormatSettings& fs = DefaultFormatSettings());
// `value` with `decimals` digits, rounded half away from zero on its exact
// binary value (no double-rounding through printf's own rounding).
std::string FormatFixed(double value, int decimals, const TFormatSettings& fs = DefaultFormatSettings());

}  // namespace vd
