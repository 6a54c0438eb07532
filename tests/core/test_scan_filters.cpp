// The filter texts a user types, in the window or on a command line. (The
// window's own cases of the "Less than" rule are in its tests.)
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "core/scan/FileMask.h"
#include "core/scan/ScanFilters.h"

using namespace vd;

TEST(ScanFilters, LessThanAndSizeTexts) {
  struct TCase {
    const char* Text;
    int Unit;         // -1: a command-line size text with its own unit
    const char* Sep;  // the user's decimal separator
    bool Ok;
    int64_t Bytes;
  };
  const TCase cases[] = {
      {"2,5", 1, ",", true, 2560},  // the locale's separator
      {"2.5", 1, ",", true, 2560},  // then "."
      {"1.000", 0, ",", true, 1},   // "." is not a thousands separator here
      {"2,5", 1, ".", false, 0},
      {"1e3", 0, ".", true, 1000},
      {"+-1", 0, ".", false, 0},
      {"inf", 0, ".", false, 0},
      {"nan", 0, ".", false, 0},
      {"500", -1, ".", true, 500},
      {"64KB", -1, ".", true, 65536},
      {"1.5 gb", -1, ".", true, 1610612736},
      {"2,5M", -1, ",", true, 2621440},
      {"3 TiB", -1, ".", true, 3 * 1099511627776LL},
      {"10 Bytes", -1, ".", true, 10},
      {"1e3k", -1, ".", true, 1024000},
      {"12XB", -1, ".", false, 0},
      {"MB", -1, ".", false, 0},
      {"-5MB", -1, ".", false, 0},
  };
  for (const TCase& c : cases) {
    int64_t bytes = -1;
    const bool ok = c.Unit < 0 ? TryParseSizeText(c.Text, bytes, c.Sep) : TryParseLessThanBytes(c.Text, c.Unit, bytes, c.Sep);
    EXPECT_EQ(ok, c.Ok) << c.Text;
    EXPECT_EQ(bytes, c.Bytes) << c.Text;
  }
}

TEST(ScanFilters, Days) {
  TDateTime d = 0;
  ASSERT_TRUE(TryParseDay("2024-02-29", d));
  EXPECT_EQ(d, EncodeDateTime(2024, 2, 29));
  for (const char* bad : {"2023-02-29", "2024-13-01", "2024-1-01", "24-01-01", "2024/01/01", "2024-01-01x", ""})
    EXPECT_FALSE(TryParseDay(bad, d)) << bad;
}

// The masks a scan uses, and the error it would end with, known before it starts.
TEST(ScanFilters, PatternIntoContextAndCheckedUpFront) {
  TScanFilters f;
  f.Pattern = "  ;; *.tmp ;*~ ";
  TScanContext c;
  ApplyFilters(f, c);
  EXPECT_TRUE(c.PatternMasks.empty());  // the pattern filter is off
  EXPECT_EQ(c.Pattern, ";; *.tmp ;*~");
  f.ExcludePattern = true;
  f.LessThanBytes = 99;  // without ExcludeLessThan it does not count
  ApplyFilters(f, c);
  EXPECT_EQ(c.PatternMasks, (std::vector<std::string>{"*.tmp", "*~"}));
  EXPECT_EQ(c.LessThanBytes, 0);

  EXPECT_NO_THROW(CheckPatternMasks(c.PatternMasks));
  vdtest::TempDir t;
  t.File("a.txt", 1);
  c.PatternMasks = {"*.jpg", "[abc"};
  std::string upFront, scanned;
  try {
    CheckPatternMasks(c.PatternMasks);
  } catch (const EMaskException& e) {
    upFront = e.what();
  }
  try {
    TDiskScanner(&c).Scan(t.Path());
  } catch (const EMaskException& e) {
    scanned = e.what();
  }
  EXPECT_FALSE(upFront.empty());
  EXPECT_EQ(upFront, scanned);
}
