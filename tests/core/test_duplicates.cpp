// Duplicate detection over the flat list of files.
#include <gtest/gtest.h>

#include <algorithm>

#include "Duplicates.h"
#include "HashColor.h"

using namespace vd;

namespace {
std::vector<TFileLeaf*> Flatten(TDirNode* root) {
  std::vector<TFileLeaf*> all;
  std::vector<TDirNode*> stack{root};
  while (!stack.empty()) {
    TDirNode* n = stack.back();
    stack.pop_back();
    all.insert(all.end(), n->Leaves.begin(), n->Leaves.end());
    stack.insert(stack.end(), n->Children.begin(), n->Children.end());
  }
  std::stable_sort(all.begin(), all.end(), [](auto* a, auto* b) { return a->Size > b->Size; });
  return all;
}
}  // namespace

TEST(HashColor, KnownValues) {
  EXPECT_EQ(HashColor("abc"), RGBColor(0x2B, 0xE9, 0x67));
  EXPECT_EQ(HashColor(".txt"), RGBColor(0xE3, 0x62, 0x68));
  EXPECT_EQ(HashColor("(none)"), RGBColor(0x20, 0xAA, 0x65));
  EXPECT_EQ(ColorFromKey("ABC.TXT|3"), RGBColor(0x30, 0x7B, 0x37));
  // Every channel at least 0x20; invalid UTF-8 still hashes stably.
  const TColor c = HashColor(std::string("\xff\xfe"));
  EXPECT_GE(RedOf(c), 0x20);
  EXPECT_EQ(c, HashColor(std::string("\xff\xfe")));
  EXPECT_NE(HashColor("é"), HashColor(std::string("\xc3\xa9", 1)));  // é is one unit, not two
}

TEST(Duplicates, NameIgnoringCaseAndSize) {
  TTreeBuilder b("/d");
  auto* a = b.AddDir(b.Root(), "a");
  auto* c = b.AddDir(b.Root(), "c");
  b.AddFile(a, "Report.PDF", 100);
  b.AddFile(c, "report.pdf", 100);
  b.AddFile(a, "same.txt", 5);
  b.AddFile(c, "same.txt", 6);  // other size
  b.AddFile(a, "x1", 7);
  b.AddFile(c, "x2", 7);  // other name
  auto root = b.Finish();
  const auto r = FindDuplicates(Flatten(root.get()));
  ASSERT_EQ(r.Groups.size(), 1u);
  const TDupGroup& g = *r.Groups[0];
  EXPECT_EQ(g.Size, 100);
  EXPECT_EQ(g.Files.size(), 2u);
  EXPECT_TRUE(g.FileName == "Report.PDF" || g.FileName == "report.pdf");
  EXPECT_EQ(g.FileName, g.Files[1]->Name());  // named by the file that completed it
  EXPECT_EQ(g.Color, ColorFromKey("REPORT.PDF|100"));
  EXPECT_EQ(r.ColorByPath.size(), 2u);
  EXPECT_EQ(r.GroupByPath.at("/d/c/report.pdf"), &g);
}

TEST(Duplicates, OrderMembersAndZeroBytes) {
  TTreeBuilder b("/d");
  for (int i = 0; i < 3; ++i) b.AddFile(b.AddDir(b.Root(), "t" + std::to_string(i)), "three", 100);
  for (int i = 0; i < 2; ++i) b.AddFile(b.AddDir(b.Root(), "z" + std::to_string(i)), "empty", 0);
  for (int i = 0; i < 2; ++i) b.AddFile(b.AddDir(b.Root(), "w" + std::to_string(i)), "two", 1000);
  auto root = b.Finish();
  const auto all = Flatten(root.get());
  const auto r = FindDuplicates(all);
  ASSERT_EQ(r.Groups.size(), 3u);
  EXPECT_EQ(r.Groups[0]->FileName, "two");
  EXPECT_EQ(r.Groups[1]->FileName, "three");
  EXPECT_EQ(r.Groups[2]->FileName, "empty");  // a total of 0 sorts last
  // members in the order of the flat list
  std::vector<TFileLeaf*> expected;
  for (auto* f : all)
    if (f->Name() == "three") expected.push_back(f);
  EXPECT_EQ(r.Groups[1]->Files, expected);
}

TEST(Duplicates, CapDropsTheSmallestGroup) {
  TTreeBuilder b("/d");
  auto* x = b.AddDir(b.Root(), "x");
  auto* y = b.AddDir(b.Root(), "y");
  for (int i = 0; i < 2001; ++i) {
    const std::string name = "f" + std::to_string(i);
    b.AddFile(x, name, 10 + i);
    b.AddFile(y, name, 10 + i);
  }
  auto root = b.Finish();
  const auto r = FindDuplicates(Flatten(root.get()));
  EXPECT_EQ(r.Groups.size(), 2000u);
  EXPECT_EQ(r.Groups.back()->Size, 11);
  EXPECT_EQ(r.ColorByPath.size(), 4000u);
  EXPECT_FALSE(r.ColorByPath.count("/d/x/f0"));
  EXPECT_FALSE(r.GroupByPath.count("/d/y/f0"));
}

TEST(Duplicates, ProgressPointsAndCancellation) {
  for (int n : {1, 801, 1601}) {
    TTreeBuilder b("/d");
    for (int i = 0; i < n; ++i) b.AddFile(b.Root(), "f" + std::to_string(i % 3), i % 3);
    auto root = b.Finish();
    std::vector<int64_t> points;
    FindDuplicates(Flatten(root.get()), [&](int64_t done, int64_t total) {
      EXPECT_EQ(total, n);
      points.push_back(done);
      return false;
    });
    std::vector<int64_t> expected{1};
    if (n > 1) expected.push_back(801);
    if (n > 801) expected.push_back(1601);
    EXPECT_EQ(points, expected) << n;
  }
  TTreeBuilder b("/d");
  for (int i = 0; i < 2000; ++i) b.AddFile(b.AddDir(b.Root(), "d" + std::to_string(i % 2)), "f" + std::to_string(i / 2), 1);
  auto root = b.Finish();
  const auto r = FindDuplicates(Flatten(root.get()), [](int64_t done, int64_t) { return done > 1; });
  EXPECT_TRUE(r.Cancelled);
  EXPECT_TRUE(r.ColorByPath.empty());
  EXPECT_TRUE(r.GroupByPath.empty());
  EXPECT_FALSE(r.Groups.empty());  // what was found before the stop
  EXPECT_TRUE(FindDuplicates({}).Groups.empty());
}
