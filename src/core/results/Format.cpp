#include "core/results/Format.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace vd {

TFormatSettings& DefaultFormatSettings() {
  static TFormatSettings settings;
  return settings;
}

namespace {

// Whether value (finite, not negative) lies exactly halfway between two
// numbers of `decimals` decimals. With value = m * 2^e, m odd, twice value
// times 10^decimals is m * 5^decimals * 2^(e + 1 + decimals): an odd integer,
// which is what a tie is, exactly when e = -(decimals + 1).
bool IsDecimalTie(double value, int decimals) {
  if (value == 0) return false;
  int exp = 0;
  const double fraction = std::frexp(value, &exp);
  uint64_t m = uint64_t(std::ldexp(fraction, 53));
  int e = exp - 53;
  const int zeros = std::countr_zero(m);
  m >>= zeros;
  e += zeros;
  return e == -(decimals + 1);
}

}  // namespace

std::string FormatFixed(double value, int decimals, const TFormatSettings& fs) {
  if (!std::isfinite(value)) return std::to_string(value);
  decimals = std::clamp(decimals, 0, 1100);
  const bool negative = std::signbit(value) && value != 0;
  const double magnitude = std::fabs(value);
  // to_chars rounds the exact binary value correctly, but a true tie to even;
  // ours go away from zero. A tie has exactly one decimal more, a 5, so it is
  // printed exactly with that one and rounded up by hand.
  const bool tie = IsDecimalTie(magnitude, decimals);
  char buf[1500];  // 309 integer digits, the point and up to 1101 decimals
  const auto [printed, ec] =
      std::to_chars(buf + 1, buf + sizeof buf, magnitude, std::chars_format::fixed, decimals + (tie ? 1 : 0));
  if (ec != std::errc()) return std::to_string(value);
  char* begin = buf + 1;
  char* end = printed;
  if (tie) {
    --end;                     // the 5
    if (decimals == 0) --end;  // and the point before it
    char* d = end;
    for (;;) {
      if (d == begin) {
        *--begin = '1';  // 9.95 -> 10.0
        break;
      }
      --d;
      if (*d == '.') continue;
      if (*d != '9') {
        ++*d;
        break;
      }
      *d = '0';
    }
  }
  std::string out(negative ? 1 : 0, '-');
  const std::string_view digits(begin, size_t(end - begin));
  const size_t dot = digits.find('.');
  out += digits.substr(0, dot);
  if (dot != std::string_view::npos) {
    out += fs.DecimalSeparator;
    out += digits.substr(dot + 1);
  }
  return out;
}

std::string FormatSize(int64_t bytes, const TFormatSettings& fs) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  if (bytes < 1048576LL) return FormatFixed(double(bytes) / 1024.0, 1, fs) + " KB";
  if (bytes < 1073741824LL) return FormatFixed(double(bytes) / 1048576.0, 1, fs) + " MB";
  if (bytes < 1099511627776LL) return FormatFixed(double(bytes) / 1073741824.0, 2, fs) + " GB";
  return FormatFixed(double(bytes) / 1099511627776.0, 2, fs) + " TB";
}

std::string FormatPercent(int64_t part, int64_t total, const TFormatSettings& fs) {
  // Nothing to share: the fixed text, whatever the locale's separator.
  if (total <= 0) return "0.00%";
  return FormatFixed(double(part) / double(total) * 100.0, 2, fs) + "%";
}

std::string FormatDateTimeShort(TDateTime dt, const TFormatSettings& fs) {
  const TSystemTime st = DecodeDateTime(dt);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d", st.Year, st.Month, st.Day, st.Hour);
  char mins[8];
  std::snprintf(mins, sizeof mins, "%02d", st.Minute);
  return std::string(buf) + fs.TimeSeparator + mins;
}

}  // namespace vd
