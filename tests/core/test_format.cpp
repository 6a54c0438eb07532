// Byte counts, percentages and times as the views print them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "core/results/Format.h"

using namespace vd;

TEST(Format, SizeTable) {
  const struct {
    int64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 B"},
      {1023, "1023 B"},
      {-5, "-5 B"},
      {1024, "1.0 KB"},
      {1280, "1.3 KB"},      // 1.25: a true tie, away from zero
      {1075, "1.0 KB"},      // 1.0498...
      {1076, "1.1 KB"},      // 1.0507...
      {1048575, "1024.0 KB"},  // the unit is chosen before rounding
      {1048576, "1.0 MB"},
      {1101004, "1.0 MB"},   // 1.04999...: stays below the tie
      {1073741823, "1024.0 MB"},
      {1073741824, "1.00 GB"},
      {1084479242, "1.01 GB"},  // 1.00999999977...
      {1078984704, "1.00 GB"},  // 1.0048828125 -> 1.00
      {1079520235, "1.01 GB"},  // just over 1.005
      {1099511627775, "1024.00 GB"},
      {1099511627776, "1.00 TB"},
      {5629499534213120, "5120.00 TB"},
      {INT64_MAX, "8388608.00 TB"},
  };
  TFormatSettings point;
  for (const auto& c : cases) EXPECT_EQ(FormatSize(c.bytes, point), c.text) << c.bytes;
}

TEST(Format, TiesOnExactBinaryValues) {
  TFormatSettings point;
  // 1.125 GB exactly: the second decimal is a tie (1.125 -> 1.13), where
  // printf's round-half-even would give 1.12.
  EXPECT_EQ(FormatSize(1207959552, point), "1.13 GB");
  // 2.5 KB -> 2.5; 2.25 KB -> 2.3 (tie away from zero), 2.75 KB -> 2.8
  EXPECT_EQ(FormatSize(2560, point), "2.5 KB");
  EXPECT_EQ(FormatSize(2304, point), "2.3 KB");
  EXPECT_EQ(FormatSize(2816, point), "2.8 KB");
  EXPECT_EQ(FormatSize(1024 * 1023 + 972, point), "1023.9 KB");
  EXPECT_EQ(FormatSize(1024 * 1023 + 973, point), "1024.0 KB");
  EXPECT_EQ(FormatFixed(-2.5, 0, point), "-3");
  EXPECT_EQ(FormatFixed(0.125, 2, point), "0.13");
  EXPECT_EQ(FormatFixed(9.995, 2, point), "9.99");  // 9.99499999... in binary
  EXPECT_EQ(FormatFixed(99.995, 2, point), "100.00");  // 99.9950000000000045...
}

namespace {

// Rounding half away from zero on the full decimal expansion of the double,
// which is exact (at most 1074 fractional digits) but slow.
std::string ExactFixed(double value, int decimals) {
  std::vector<char> buf(1500);
  std::snprintf(buf.data(), buf.size(), "%.1100f", std::fabs(value));
  const std::string s(buf.data());
  const size_t dot = s.find('.');
  const std::string frac = s.substr(dot + 1);
  std::string digits = s.substr(0, dot) + frac.substr(0, size_t(decimals));
  if (frac[size_t(decimals)] >= '5') {
    size_t i = digits.size();
    while (i > 0) {
      if (digits[--i] != '9') {
        ++digits[i];
        break;
      }
      digits[i] = '0';
      if (i == 0) digits.insert(digits.begin(), '1');
    }
  }
  const size_t intLen = digits.size() - size_t(decimals);
  std::string out = std::signbit(value) && value != 0 ? "-" : "";
  out += digits.substr(0, intLen);
  if (decimals > 0) out += "." + digits.substr(intLen);
  return out;
}

}  // namespace

// The views print hundreds of thousands of sizes and percentages; the fast
// path must agree with the exact expansion on every one, ties included.
TEST(Format, FixedAgreesWithTheExactExpansion) {
  TFormatSettings point;
  std::mt19937_64 rng(20261210);
  std::vector<double> values = {0.0,    0.5,     1.5,    2.5,    0.05,           0.005,      0.125,
                                0.375,  1023.95, 9.995,  99.995, 999.9951171875, 1e15 + 0.5, 4503599627370495.5,
                                5e-324, 1e300,   -0.125, -1.5};
  for (int i = 0; i < 5000; ++i) {
    values.push_back(double(rng() >> (rng() % 64)) / 1024.0);                         // sizes in KB
    values.push_back(double(rng() % 1000000) / double(1 + rng() % 1000000) * 100.0);  // percentages
    values.push_back(double(rng() % 4096) / 8192.0 * 100.0);                          // exact binary ties
  }
  for (const double v : values)
    for (int d = 0; d <= 3; ++d) ASSERT_EQ(FormatFixed(v, d, point), ExactFixed(v, d)) << v << " with " << d;
}

TEST(Format, CommaLocale) {
  TFormatSettings comma{",", "."};
  EXPECT_EQ(FormatSize(1280, comma), "1,3 KB");
  EXPECT_EQ(FormatSize(1073741824, comma), "1,00 GB");
  EXPECT_EQ(FormatPercent(1, 3, comma), "33,33%");
  EXPECT_EQ(FormatPercent(5, 0, comma), "0.00%");  // a fixed text, not a number
  EXPECT_EQ(FormatPercent(0, -3, comma), "0.00%");
  EXPECT_EQ(FormatDateTimeShort(EncodeDateTime(2024, 3, 5, 7, 9), comma), "2024-03-05 07.09");
}

TEST(Format, Percent) {
  TFormatSettings point;
  EXPECT_EQ(FormatPercent(1, 3, point), "33.33%");
  EXPECT_EQ(FormatPercent(5, 0, point), "0.00%");
  EXPECT_EQ(FormatPercent(0, 10, point), "0.00%");
  EXPECT_EQ(FormatPercent(10, 10, point), "100.00%");
  EXPECT_EQ(FormatPercent(1, 8, point), "12.50%");
  EXPECT_EQ(FormatPercent(1, 1600, point), "0.06%");  // 0.0625: a tie, away from zero
}

TEST(Format, DateTimePattern) {
  TFormatSettings point;
  EXPECT_EQ(FormatDateTimeShort(EncodeDateTime(1999, 12, 31, 23, 59, 59, 999), point), "1999-12-31 23:59");
  EXPECT_EQ(FormatDateTimeShort(EncodeDateTime(2001, 1, 2, 3, 4), point), "2001-01-02 03:04");
}
