#include "core/scan/ScanFilters.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "core/scan/FileMask.h"
#include "platform/Platform.h"

namespace vd {

namespace {

// The whole text as one number: digits with "." as the decimal point, an
// optional sign and exponent. Nothing before or after it.
bool ParsePlainNumber(std::string_view s, double& v) {
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) return false;
  }
  if (s.empty()) return false;
  const char* end = s.data() + s.size();
  const auto [p, ec] = std::from_chars(s.data(), end, v, std::chars_format::general);
  return ec == std::errc() && p == end;
}

// First as the user's locale writes it, then with ".". In a locale whose
// decimal separator is not ".", a "." is its thousands separator, which the
// first attempt does not accept.
bool ParseNumber(std::string_view text, std::string_view decimalSeparator, double& v) {
  if (!decimalSeparator.empty() && decimalSeparator != "." && text.find('.') == std::string_view::npos) {
    std::string t;
    for (size_t i = 0; i < text.size();) {
      if (text.substr(i, decimalSeparator.size()) == decimalSeparator) {
        t += '.';
        i += decimalSeparator.size();
      } else {
        t += text[i++];
      }
    }
    if (ParsePlainNumber(t, v)) return true;
  }
  return ParsePlainNumber(text, v);
}

// The nearest integer, halves to the even neighbour.
int64_t RoundHalfEven(double x) {
  const double f = std::floor(x);
  const double frac = x - f;
  int64_t i = int64_t(f);
  if (frac > 0.5 || (frac == 0.5 && (i & 1) != 0)) ++i;
  return i;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return out;
}

// The unit index of a unit written after a size, -1 when it is none.
int UnitIndexOf(std::string_view unit) {
  const std::string u = AsciiUpper(unit);
  static const char* const kSpellings[][3] = {
      {"", "B", "BYTES"}, {"K", "KB", "KIB"}, {"M", "MB", "MIB"}, {"G", "GB", "GIB"}, {"T", "TB", "TIB"}};
  for (int i = 0; i < 5; ++i)
    for (const char* s : kSpellings[i])
      if (u == s) return i;
  return -1;
}

}  // namespace

double SizeUnitFactor(int index) {
  static const double kUnits[] = {1.0, 1024.0, 1048576.0, 1073741824.0, 1099511627776.0};
  return (index >= 0 && index < 5) ? kUnits[index] : 1.0;
}

bool TryParseLessThanBytes(std::string_view text, int unitIndex, int64_t& bytes, std::string_view decimalSeparator) {
  bytes = 0;
  const std::string t = TrimText(text);
  if (t.empty()) return false;
  double v = 0;
  if (!ParseNumber(t, decimalSeparator, v) || !std::isfinite(v) || v < 0) return false;
  const double product = v * SizeUnitFactor(unitIndex);
  bytes = product >= 9223372036854775808.0 ? INT64_MAX : RoundHalfEven(product);
  return true;
}

bool TryParseSizeText(std::string_view text, int64_t& bytes, std::string_view decimalSeparator) {
  bytes = 0;
  const std::string t = TrimText(text);
  size_t unitAt = t.size();
  while (unitAt > 0 && IsAsciiLetter(t[unitAt - 1])) --unitAt;
  const int unit = UnitIndexOf(std::string_view(t).substr(unitAt));
  if (unit < 0) return false;
  return TryParseLessThanBytes(std::string_view(t).substr(0, unitAt), unit, bytes, decimalSeparator);
}

bool TryParseDay(std::string_view text, TDateTime& out) {
  const std::string t = TrimText(text);
  if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
  auto number = [&](size_t from, size_t len, int& v) {
    v = 0;
    for (size_t i = from; i < from + len; ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      v = v * 10 + (t[i] - '0');
    }
    return true;
  };
  int y, m, d;
  if (!number(0, 4, y) || !number(5, 2, m) || !number(8, 2, d)) return false;
  return TryEncodeDate(y, m, d, out);
}

void ApplyFilters(const TScanFilters& f, TScanContext& c) {
  c.ExcludeModifiedBefore = f.ExcludeModifiedBefore;
  c.ModifiedBefore = f.ModifiedBefore;
  c.ExcludeLessThan = f.ExcludeLessThan;
  c.LessThanBytes = f.ExcludeLessThan ? f.LessThanBytes : 0;
  c.ExcludePattern = f.ExcludePattern;
  c.Pattern = TrimText(f.Pattern);
  c.PatternMasks.clear();
  if (c.ExcludePattern) c.PatternMasks = SplitPatternMasks(c.Pattern);
}

void CheckPatternMasks(const std::vector<std::string>& masks) {
  // Upper-cased as the scan compiles them, so the message names the same text.
  for (const std::string& m : masks) TFileMask check(platform::ToUpperLocale(m));
}

}  // namespace vd
