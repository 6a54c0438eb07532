// The wildcard mask language and its errors.
#include <gtest/gtest.h>

#include "core/scan/FileMask.h"

using vd::EMaskException;
using vd::TFileMask;

TEST(FileMask, Matching) {
  const struct {
    const char* mask;
    const char* text;
    bool match;
  } cases[] = {
      {"*.jpg", "photo.jpg", true},     {"*.jpg", "photo.JPG", true},     {"*.jpg", "photo.jpeg", false},
      {"*.jpg", ".jpg", true},          {"*", "", true},                  {"", "", true},
      {"", "a", false},                 {"?", "a", true},                 {"?", "", false},
      {"?", "ab", false},               {"a?c", "abc", true},             {"a?c", "ac", false},
      {"*?", "", false},                {"*?", "x", true},                {"*somefilename*", "x_SomeFileName_y", true},
      {"*somefilename*", "somefile", false}, {"[abc]x", "bx", true},     {"[abc]x", "dx", false},
      {"[a-c]", "B", true},             {"[!a-c]", "d", true},            {"[!a-c]", "a", false},
      {"a*b*c", "aXXbYYc", true},       {"a*b*c", "aXXbYY", false},       {"*a*a*a", "aaaa", true},
      {"*/tmp/*", "/home/tmp/file", true}, {"*/TMP/*", "/home/tmp/file", true}, {"abc", "abcd", false},
      {"**x", "x", true},               {"*.tar.gz", "a.tar.gz", true},   {"é*", "éa", true},
      {"?", "é", true},                  {"[!a]", "中", true},              {"[a]", "中", false},
  };
  for (const auto& c : cases) EXPECT_EQ(TFileMask(c.mask).Matches(c.text), c.match) << c.mask << " vs " << c.text;
}

TEST(FileMask, MalformedMasksNameTheirPosition) {
  const struct {
    const char* mask;
    int position;
  } cases[] = {
      {"[abc", 5},  // never closed: at the end
      {"x[]", 3},   // empty set: at the "]"
      {"[-a]", 2},  // a range without a start
      {"ab[!", 5},
  };
  for (const auto& c : cases) {
    try {
      TFileMask m(c.mask);
      ADD_FAILURE() << c.mask << " was accepted";
    } catch (const EMaskException& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(c.mask) + "' is an invalid mask at (" +
                                           std::to_string(c.position) + ")");
      EXPECT_EQ(e.TypeName(), "EMaskException");
    }
  }
}

TEST(FileMask, ThirtySegmentsAfterStarsAreTheLimit) {
  std::string ok, tooMany;
  for (int i = 0; i < 30; ++i) ok += "*a";
  EXPECT_NO_THROW(TFileMask m(ok));
  tooMany = ok + "*a";
  EXPECT_THROW(TFileMask m(tooMany), EMaskException);
  EXPECT_THROW(TFileMask m(ok + "*"), EMaskException);  // a trailing "*" is a segment too
}
