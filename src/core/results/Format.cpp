#include "core/results/Format.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace vd {

TFormatSettings& DefaultFormatSettings() {
  static TFormatSettings settings;
  return settings;
}

std::string FormatFixed(double value, int decimals, const TFormatSettings& fs) {
  if (!std::isfinite(value)) return std::to_string(value);
  const bool negative = std::signbit(value) && value != 0;
  // Every finite double has a terminating decimal expansion of at most 1074
  // fractional digits; printing that many makes the expansion exact, so the
  // rounding below sees true ties.
  std::vector<char> buf(1500);
  std::snprintf(buf.data(), buf.size(), "%.1100f", std::fabs(value));
  std::string s(buf.data());
  const size_t dot = s.find('.');
  std::string intPart = s.substr(0, dot);
  std::string frac = s.substr(dot + 1);
  const bool up = frac.size() > size_t(decimals) && frac[size_t(decimals)] >= '5';
  std::string digits = intPart + frac.substr(0, size_t(decimals));
  if (up) {
    size_t i = digits.size();
    while (i > 0) {
      --i;
      if (digits[i] == '9') {
        digits[i] = '0';
      } else {
        ++digits[i];
        break;
      }
      if (i == 0) digits.insert(digits.begin(), '1');
    }
  }
  const size_t intLen = digits.size() - size_t(decimals);
  std::string out = negative ? "-" : "";
  out += digits.substr(0, intLen);
  if (decimals > 0) out += fs.DecimalSeparator + digits.substr(intLen);
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
