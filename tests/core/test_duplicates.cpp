// Duplicate detection over the flat list of files.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/results/Duplicates.h"
#include "core/results/FileList.h"
#include "core/layout/HashColor.h"
#include "TestUtil.h"
#include "platform/Platform.h"

using namespace vd;

namespace {
// The window's flat list: every file, largest first.
std::vector<TFileLeaf*> Flatten(TDirNode* root) {
  int64_t total = 0;
  return FlattenAllFiles(root, total);
}
TFileTime At(uint64_t ticks) { return TFileTime::FromTicks(ticks); }
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
  TTreeBuilder b(vdtest::Native("/d"));
  auto* a = b.AddDir(b.Root(), "a");
  auto* c = b.AddDir(b.Root(), "c");
  b.AddFile(a, "Report.PDF", 100);
  const TFileLeaf* lower = b.AddFile(c, "report.pdf", 100);
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
  EXPECT_EQ(r.ColorByFile.size(), 2u);
  EXPECT_EQ(*r.GroupByFile.Find(lower), &g);
}

TEST(Duplicates, OrderMembersAndZeroBytes) {
  TTreeBuilder b(vdtest::Native("/d"));
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
  TTreeBuilder b(vdtest::Native("/d"));
  auto* x = b.AddDir(b.Root(), "x");
  auto* y = b.AddDir(b.Root(), "y");
  const TFileLeaf *x0 = nullptr, *y0 = nullptr;
  for (int i = 0; i < 2001; ++i) {
    const std::string name = "f" + std::to_string(i);
    const TFileLeaf* inX = b.AddFile(x, name, 10 + i);
    const TFileLeaf* inY = b.AddFile(y, name, 10 + i);
    if (i == 0) x0 = inX, y0 = inY;
  }
  auto root = b.Finish();
  const auto r = FindDuplicates(Flatten(root.get()));
  EXPECT_EQ(r.Groups.size(), 2000u);
  EXPECT_EQ(r.Groups.back()->Size, 11);
  EXPECT_EQ(r.ColorByFile.size(), 4000u);
  EXPECT_FALSE(r.ColorByFile.count(x0));
  EXPECT_FALSE(r.GroupByFile.count(y0));
}

TEST(Duplicates, ProgressPointsAndCancellation) {
  for (int n : {1, 801, 1601}) {
    TTreeBuilder b(vdtest::Native("/d"));
    for (int i = 0; i < n; ++i) b.AddFile(b.Root(), "f" + std::to_string(i % 3), i % 3);
    auto root = b.Finish();
    std::vector<int64_t> points;
    FindDuplicates(Flatten(root.get()), [&](int64_t done, int64_t total) {
      EXPECT_EQ(total, n);
      // A point may be told again while the work goes on; never out of order.
      if (points.empty() || points.back() != done) points.push_back(done);
      return false;
    });
    std::vector<int64_t> expected{1};
    if (n > 1) expected.push_back(801);
    if (n > 801) expected.push_back(1601);
    EXPECT_EQ(points, expected) << n;
  }
  TTreeBuilder b(vdtest::Native("/d"));
  for (int i = 0; i < 2000; ++i) b.AddFile(b.AddDir(b.Root(), "d" + std::to_string(i % 2)), "f" + std::to_string(i / 2), 1);
  auto root = b.Finish();
  const auto r = FindDuplicates(Flatten(root.get()), [](int64_t done, int64_t) { return done > 1; });
  EXPECT_TRUE(r.Cancelled);
  EXPECT_TRUE(r.ColorByFile.empty());
  EXPECT_TRUE(r.GroupByFile.empty());
  EXPECT_FALSE(r.Groups.empty());  // what was found before the stop
  EXPECT_TRUE(FindDuplicates({}).Groups.empty());
}

TEST(Duplicates, NameOrSizeAloneFormsNoGroup) {
  struct TCase {
    const char* a;
    int64_t sa;
    const char* b;
    int64_t sb;
    bool group;
  };
  const TCase cases[] = {
      {"same.txt", 5, "same.txt", 6, false},     // same name, other size
      {"x1", 7, "x2", 7, false},                 // same size, other name
      {"Report.PDF", 9, "report.pdf", 9, true},  // case only
      {"Ärger.txt", 4, "ärger.TXT", 4, true},    // beyond ASCII
      {"file", 3, "file.", 3, false},
  };
  for (const TCase& c : cases) {
    TTreeBuilder b("/d");
    b.AddFile(b.AddDir(b.Root(), "a"), c.a, c.sa, At(100));
    b.AddFile(b.AddDir(b.Root(), "b"), c.b, c.sb, At(200));
    auto root = b.Finish();
    const auto r = FindDuplicates(Flatten(root.get()));
    EXPECT_EQ(r.Groups.size(), c.group ? 1u : 0u) << c.a << " / " << c.b;
    EXPECT_EQ(r.ColorByFile.size(), c.group ? 2u : 0u) << c.a;
    if (!c.group) continue;
    // Named and dated by the second file found, coloured by the key.
    const TDupGroup& g = *r.Groups[0];
    EXPECT_EQ(g.FileName, g.Files[1]->Name());
    EXPECT_EQ(g.ModifiedFT.Ticks(), g.Files[1]->ModifiedFT.Ticks());
    EXPECT_EQ(g.Color, ColorFromKey(MakeDupKey(*g.Files[0])));
    EXPECT_EQ(MakeDupKey(*g.Files[0]), MakeDupKey(*g.Files[1]));
  }
}

TEST(Duplicates, KeyIsUpperNameBarSize) {
  TTreeBuilder b("/d");
  const TFileLeaf* f = b.AddFile(b.Root(), "abc.txt", 3);
  const TFileLeaf* big = b.AddFile(b.Root(), "a", 1234567890123);
  auto root = b.Finish();
  EXPECT_EQ(MakeDupKey(*f), "ABC.TXT|3");
  EXPECT_EQ(MakeDupKey(*big), "A|1234567890123");
  EXPECT_EQ(ColorFromKey(MakeDupKey(*f)), RGBColor(0x30, 0x7B, 0x37));
}

TEST(Duplicates, EqualTotalsComeInEitherOrder) {
  TTreeBuilder b("/d");
  for (int i = 0; i < 3; ++i) b.AddFile(b.AddDir(b.Root(), "a" + std::to_string(i)), "hundred", 100);
  for (int i = 0; i < 2; ++i) b.AddFile(b.AddDir(b.Root(), "b" + std::to_string(i)), "onefifty", 150);
  b.AddFile(b.AddDir(b.Root(), "c0"), "small", 1);
  b.AddFile(b.AddDir(b.Root(), "c1"), "small", 1);
  auto root = b.Finish();
  const auto r = FindDuplicates(Flatten(root.get()));
  ASSERT_EQ(r.Groups.size(), 3u);
  EXPECT_EQ(r.Groups[0]->TotalBytes(), 300);
  EXPECT_EQ(r.Groups[1]->TotalBytes(), 300);
  EXPECT_EQ(r.Groups[2]->FileName, "small");
  // Both maps hold exactly the members, each with its own group.
  EXPECT_EQ(r.GroupByFile.size(), 7u);
  for (const auto& g : r.Groups)
    for (const TFileLeaf* f : g->Files) {
      EXPECT_EQ(*r.GroupByFile.Find(f), g.get());
      EXPECT_EQ(*r.ColorByFile.Find(f), g->Color);
    }
}

// The maps by file hold exactly the members of the groups, each with its own
// group, also where names differ only in case within one folder (two files on
// a case-sensitive disk, one path key where keys ignore case).
TEST(Duplicates, MapsByFileAgreeWithMapsByPath) {
  TTreeBuilder b("/d");
  auto* a = b.AddDir(b.Root(), "a");
  auto* c = b.AddDir(b.Root(), "C");
  for (const char* n : {"Report.PDF", "report.pdf", "REPORT.pdf"}) b.AddFile(a, n, 9);
  b.AddFile(c, "report.PDF", 9);
  b.AddFile(c, "A.txt", 1);
  b.AddFile(a, "a.TXT", 1);
  b.AddFile(a, "alone", 1);
  auto root = b.Finish();
  const auto r = FindDuplicates(Flatten(root.get()));
  ASSERT_EQ(r.Groups.size(), 2u);
  std::map<std::string, std::pair<TColor, const TDupGroup*>> byPath;
  for (const auto& g : r.Groups)
    for (const TFileLeaf* f : g->Files) byPath[f->FullPath()] = {g->Color, g.get()};
  EXPECT_EQ(byPath.size(), 6u);
  size_t mapped = 0;
  for (const TFileLeaf* f : Flatten(root.get())) {
    const auto it = byPath.find(f->FullPath());
    ASSERT_EQ(r.GroupByFile.count(f), it == byPath.end() ? 0u : 1u) << f->FullPath();
    if (it == byPath.end()) continue;
    EXPECT_EQ(*r.ColorByFile.Find(f), it->second.first);
    EXPECT_EQ(*r.GroupByFile.Find(f), it->second.second);
    ++mapped;
  }
  EXPECT_EQ(mapped, r.ColorByFile.size());
}

TEST(Duplicates, CancelledAtTheFirstPointFindsNothing) {
  TTreeBuilder b("/d");
  for (int i = 0; i < 4; ++i) b.AddFile(b.AddDir(b.Root(), "a" + std::to_string(i)), "f", 1);
  auto root = b.Finish();
  int calls = 0;
  const auto r = FindDuplicates(Flatten(root.get()), [&](int64_t, int64_t) { return ++calls == 1; });
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(r.Cancelled);
  EXPECT_TRUE(r.Groups.empty());
  // With no files there is no progress at all.
  calls = 0;
  FindDuplicates({}, [&](int64_t, int64_t) { return ++calls > 0; });
  EXPECT_EQ(calls, 0);
}

// The flat list is the order every tab shows: largest first, equal sizes in
// pre-order, on lists long enough to take the radix path and sizes that use
// every digit of the key; its extension sums agree with the files.
TEST(FileList, LargestFirstStableWithSumsAndFileMaps) {
  TTreeBuilder b("/d");
  std::vector<TFileLeaf*> preorder;
  const int64_t sizes[] = {0, 7, int64_t(1) << 40, 7, 3, (int64_t(1) << 62) / 1000, 5000, 7, 1};
  auto* a = b.AddDir(b.Root(), "a");
  auto* c = b.AddDir(a, "c");
  for (int i = 0; i < 300; ++i) preorder.push_back(b.AddFile(b.Root(), "r" + std::to_string(i) + (i % 2 ? ".txt" : ".bin"), sizes[i % 9]));
  for (int i = 0; i < 200; ++i) preorder.push_back(b.AddFile(a, "a" + std::to_string(i) + ".TXT", sizes[(i * 5) % 9]));
  for (int i = 0; i < 100; ++i) preorder.push_back(b.AddFile(c, "c" + std::to_string(i), sizes[(i * 7) % 9]));
  auto root = b.Finish();
  std::vector<TFileLeaf*> expected = preorder;
  std::stable_sort(expected.begin(), expected.end(), [](const TFileLeaf* x, const TFileLeaf* y) { return x->Size() > y->Size(); });
  const TAllFiles all = CollectAllFiles(root.get());
  ASSERT_EQ(all.Files, expected);
  EXPECT_EQ(all.Files, Flatten(root.get()));
  int64_t total = 0;
  std::map<std::string, std::pair<int64_t, int64_t>> byExt;
  for (const TFileLeaf* f : preorder) {
    total += f->Size();
    auto& s = byExt[std::string(f->ExtKey()->View())];
    s.first += f->Size();
    s.second += 1;
  }
  EXPECT_EQ(all.TotalBytes, total);
  ASSERT_EQ(all.ByExtension.size(), byExt.size());
  for (const TExtStatPair& p : all.ByExtension) EXPECT_EQ(byExt.at(p.Ext), std::make_pair(p.Bytes, p.Files)) << p.Ext;

  // A map by file keeps every file through its growth, and setting again replaces.
  TDupColorMap m;
  for (size_t i = 0; i < preorder.size(); ++i) m.Set(preorder[i], TColor(i));
  for (size_t i = 0; i < preorder.size(); i += 2) m.Set(preorder[i], TColor(i + 1));
  ASSERT_EQ(m.size(), preorder.size());
  for (size_t i = 0; i < preorder.size(); ++i) ASSERT_EQ(*m.Find(preorder[i]), TColor(i % 2 ? i : i + 1));
}
