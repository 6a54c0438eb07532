#include "core/VersionCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vd::TUpdateKind;

const std::string kOptional11 = "The new version 1.1 is available\r\n\r\nWhat's new:\r\n";
const std::string kMandatory = "This version of the software is out of date. You must download the current version ";
const std::string kMandatoryEnd = " to continue using the software.\r\n\r\nWhat's new:\r\n";

struct FirstLineCase {
  const char* VersionFile;
  TUpdateKind Kind;
  const char* Message;  // for an empty changes file
};

TEST(VersionCheck, FirstLineDecides) {
  const std::string mandatory11 = kMandatory + "1.1" + kMandatoryEnd;
  const std::string mandatory10 = kMandatory + "1.0" + kMandatoryEnd;
  const std::string mandatory12 = kMandatory + "1.2" + kMandatoryEnd;
  const FirstLineCase cases[] = {
      {"10/10", TUpdateKind::None, ""},
      {"11/10", TUpdateKind::Optional, kOptional11.c_str()},
      {"11/11", TUpdateKind::Mandatory, mandatory11.c_str()},
      // The minimum alone makes it mandatory; the version named is the latest.
      {"10/11", TUpdateKind::Mandatory, mandatory10.c_str()},
      {"12/11", TUpdateKind::Mandatory, mandatory12.c_str()},
      {"9/9", TUpdateKind::None, ""},
      {"11", TUpdateKind::None, ""},
      {"11/x", TUpdateKind::None, ""},
      {"x/10", TUpdateKind::None, ""},
      {"11/", TUpdateKind::None, ""},
      {"/11", TUpdateKind::None, ""},
      {"11/10/9", TUpdateKind::None, ""},  // the second part is "10/9"
      {"11 /10", TUpdateKind::None, ""},
      {"11/1.0", TUpdateKind::None, ""},
      {"0x0B/10", TUpdateKind::None, ""},
      {"99999999999/10", TUpdateKind::None, ""},
      {"", TUpdateKind::None, ""},
      {"\r\n11/10", TUpdateKind::None, ""},  // only the first line counts, and it is empty
      {"11/10\r\n10/10\r\n", TUpdateKind::Optional, kOptional11.c_str()},
      {"11/10\n", TUpdateKind::Optional, kOptional11.c_str()},
      {"\xEF\xBB\xBF" "11/10\r\n", TUpdateKind::Optional, kOptional11.c_str()},
      {"\xEF\xBB\xBF", TUpdateKind::None, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("version file \"") + c.VersionFile + "\"");
    const vd::TUpdateOffer offer = vd::EvaluateVersionFiles(c.VersionFile, "");
    EXPECT_EQ(offer.Kind, c.Kind);
    EXPECT_EQ(offer.Message, c.Message);
  }
}

TEST(VersionCheck, DisplayVersionPutsPointBeforeLastCharacter) {
  const std::pair<const char*, const char*> cases[] = {
      {"11", "1.1"}, {"123", "12.3"}, {"9", ".9"}, {"011", "01.1"}, {"+11", "+1.1"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(vd::DisplayVersion(in), out) << in;
}

TEST(VersionCheck, ParseKeepsTheLatestTextAsWritten) {
  vd::TVersionLine v;
  ASSERT_TRUE(vd::ParseVersionLine("011/-3", v));
  EXPECT_EQ(v.Latest, 11);
  EXPECT_EQ(v.Minimum, -3);
  EXPECT_EQ(v.LatestText, "011");
  EXPECT_EQ(vd::EvaluateVersionFiles("0123/10", "").Message,
            "The new version 012.3 is available\r\n\r\nWhat's new:\r\n");
}

TEST(VersionCheck, SplitTextLines) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\n\r\n", {"a", ""}},
      {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
      {"\n", {""}},
      {"\r\r\n", {"", ""}},
      {"\xEF\xBB\xBF" "a\r\nb", {"a", "b"}},
      {"a\xEF\xBB\xBF", {"a\xEF\xBB\xBF"}},  // only a leading mark is skipped
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(vd::SplitTextLines(text), lines) << text;
}

TEST(VersionCheck, ChangesLosePurelyEmptyLinesOnly) {
  const std::string changes = "\r\n- Faster scans\r\n\r\n\r\n   \r\n- Fixed a crash\n\n\t\n";
  const vd::TUpdateOffer offer = vd::EvaluateVersionFiles("11/10", changes);
  EXPECT_EQ(offer.Message, kOptional11 + "- Faster scans\r\n   \r\n- Fixed a crash\r\n\t\r\n");
}

TEST(VersionCheck, ChangesAreShownUnchanged) {
  // Markup is not interpreted and non-ASCII text passes through; a BOM is dropped.
  const std::string changes = "\xEF\xBB\xBF<b>Gr\xC3\xB6\xC3\x9F" "e</b> 100%s";
  const vd::TUpdateOffer offer = vd::EvaluateVersionFiles("11/11", changes);
  EXPECT_EQ(offer.Message, kMandatory + "1.1" + kMandatoryEnd + "<b>Gr\xC3\xB6\xC3\x9F" "e</b> 100%s\r\n");
}

}  // namespace
