// The scan tree model: extension rules, per-extension totals, roll-up, dates.
#include <gtest/gtest.h>

#include <cmath>

#include "core/scan/DateTime.h"
#include "core/scan/ScanModel.h"
#include "core/scan/DiskScanner.h"
#include "SameTree.h"
#include "TestUtil.h"

using namespace vd;

namespace {
int64_t Bytes(const TExtStats& s, const std::string& key) {
  TExtStat st;
  return s.Find(key, st) ? st.Bytes : -1;
}
int64_t Files(const TExtStats& s, const std::string& key) {
  TExtStat st;
  return s.Find(key, st) ? st.Files : -1;
}
}  // namespace

TEST(Extension, RulesOfTheLastDot) {
  const struct {
    const char* name;
    const char* ext;
  } cases[] = {
      {"archive.tar.gz", ".gz"}, {".gitignore", ".gitignore"}, {"trailing.", "."}, {"README", ""},
      {"photo.JPG", ".JPG"},     {"a.b.c.d", ".d"},           {"..", "."},        {"x.", "."},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractExtension(c.name), c.ext) << c.name;
}

TEST(Extension, LeafKeysAreLowerCasedAndNoneIsSeparate) {
  TTreeBuilder b(vdtest::Native("/data"));
  auto* jpg1 = b.AddFile(b.Root(), "A.JPG", 10);
  auto* jpg2 = b.AddFile(b.Root(), "b.jpg", 5);
  auto* none = b.AddFile(b.Root(), "Makefile", 7);
  auto* uml = b.AddFile(b.Root(), "Ä.ÄÖÜ", 1);
  auto root = b.Finish();
  EXPECT_EQ(jpg1->Ext(), ".jpg");
  EXPECT_EQ(jpg1->ExtKey(), jpg2->ExtKey());  // one interned key per spelling
  EXPECT_EQ(none->Ext(), "");
  EXPECT_EQ(none->ExtKey()->View(), "(none)");
  EXPECT_EQ(uml->Ext(), ".äöü");
  const TExtStats stats = root->ExtStats();
  EXPECT_EQ(stats.Count(), 3u);
  EXPECT_EQ(Files(stats, ".jpg"), 2);
  EXPECT_EQ(Bytes(stats, ".jpg"), 15);
  EXPECT_EQ(Files(stats, "(none)"), 1);
}

TEST(ExtStats, AddMergeAndSort) {
  TExtStats a;
  a.AddFile(".TXT", 100);
  a.AddFile(".txt", 200);
  a.AddFile("", 300);
  a.AddFile(".bin", 200);
  EXPECT_EQ(Files(a, ".txt"), 2);
  EXPECT_EQ(Bytes(a, "(none)"), 300);

  TExtStats empty, target;
  target.MergeFrom(nullptr);
  target.MergeFrom(&empty);
  EXPECT_EQ(target.Count(), 0u);
  target.MergeFrom(&a);  // into an empty map: a copy
  EXPECT_EQ(target.Count(), 3u);
  EXPECT_EQ(Bytes(target, ".txt"), 300);
  target.MergeFrom(&a);
  EXPECT_EQ(Bytes(target, ".txt"), 600);
  EXPECT_EQ(Bytes(a, ".txt"), 300);  // the source is unchanged

  TExtStats s;
  s.AddFile(".a", 300);
  s.AddFile(".b", 100);
  s.AddFile(".c", 200);
  const auto sorted = s.ToSortedArrayByBytesDesc();
  ASSERT_EQ(sorted.size(), 3u);
  EXPECT_EQ(sorted[0].Ext, ".a");
  EXPECT_EQ(sorted[1].Ext, ".c");
  EXPECT_EQ(sorted[2].Ext, ".b");
  EXPECT_TRUE(TExtStats().ToSortedArrayByBytesDesc().empty());
}

TEST(ExtStats, ManyKeysSurviveGrowth) {
  TExtStats s;
  for (int i = 0; i < 5000; ++i) s.AddFile("." + std::to_string(i % 1000), i);
  EXPECT_EQ(s.Count(), 1000u);
  int64_t files = 0;
  for (const auto& p : s.ToSortedArrayByBytesDesc()) files += p.Files;
  EXPECT_EQ(files, 5000);
}

TEST(TreeModel, TotalsRollUpAndPathsJoin) {
  TTreeBuilder b(vdtest::Native("/data/"));
  auto* sub = b.AddDir(b.Root(), "sub");
  auto* deep = b.AddDir(sub, "deep");
  b.AddFile(b.Root(), "top.txt", 1);
  b.AddFile(sub, "mid.txt", 10);
  auto* leaf = b.AddFile(deep, "low.bin", 100);
  auto root = b.Finish();
  EXPECT_EQ(root->FullPath(), vdtest::Native("/data"));
  EXPECT_EQ(root->Name(), "data");
  EXPECT_EQ(deep->FullPath(), vdtest::Native("/data/sub/deep"));
  EXPECT_EQ(leaf->FullPath(), vdtest::Native("/data/sub/deep/low.bin"));
  EXPECT_EQ(root->TotalSize, 111);
  EXPECT_EQ(root->TotalFiles, 3);
  EXPECT_EQ(root->TotalDirs, 3);
  EXPECT_EQ(sub->TotalSize, 110);
  EXPECT_EQ(deep->TotalDirs, 1);
  EXPECT_EQ(Bytes(sub->ExtStats(), ".txt"), 10);
  EXPECT_EQ(Bytes(sub->ExtStats(), ".bin"), 100);
}

TEST(TreeModel, RootSlashKeepsItsName) {
  TTreeBuilder b(vdtest::Native("/"));
  auto* usr = b.AddDir(b.Root(), "usr");
  auto* f = b.AddFile(usr, "x", 1);
  auto root = b.Finish();
  EXPECT_EQ(root->FullPath(), vdtest::Native("/"));
  EXPECT_EQ(root->Name(), vdtest::Native("/"));
  EXPECT_EQ(usr->FullPath(), vdtest::Native("/usr"));
  EXPECT_EQ(f->FullPath(), vdtest::Native("/usr/x"));
}

TEST(TreeModel, SyntheticRootSumsDrives) {
  auto all = CreateSyntheticRoot();
  for (const std::string& path : {vdtest::Native("/a"), vdtest::Native("/b")}) {
    TTreeBuilder b(path);
    b.AddFile(b.AddDir(b.Root(), "d"), "f.TXT", 5);
    all->AppendChildTree(b.Finish());
  }
  EXPECT_EQ(all->Name(), "(All Drives)");
  EXPECT_EQ(all->FullPath(), "");
  EXPECT_EQ(all->TotalDirs, 4);  // two drives of two folders each, itself not counted
  EXPECT_EQ(all->TotalFiles, 2);
  EXPECT_EQ(Files(all->ExtStats(), ".txt"), 2);
  EXPECT_EQ(all->Children[1]->Children[0]->FullPath(), vdtest::Native("/b/d"));
}

TEST(TreeModel, DeepTreeIsReleasedWithoutRecursion) {
  TTreeBuilder b(vdtest::Native("/deep"));
  TDirNode* n = b.Root();
  for (int i = 0; i < 200000; ++i) n = b.AddDir(n, "d");
  b.AddFile(n, "bottom.txt", 3);
  auto root = b.Finish();
  EXPECT_EQ(root->TotalDirs, 200001);
  EXPECT_EQ(root->TotalSize, 3);
  root.reset();  // must not overflow the stack
}

TEST(DateTime, EncodeDecodeRoundTrip) {
  EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDateTime(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 12, 0, 0, 0), 36526.5);
  const TSystemTime st = DecodeDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 58, 999));
  EXPECT_EQ(st.Year, 2024);
  EXPECT_EQ(st.Month, 2);
  EXPECT_EQ(st.Day, 29);
  EXPECT_EQ(st.Hour, 23);
  EXPECT_EQ(st.Minute, 59);
  EXPECT_EQ(st.Second, 58);
  EXPECT_EQ(st.Milliseconds, 999);
  TDateTime dt;
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, dt));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, dt));
}

TEST(DateTime, ZeroFileTimeIsNoTime) {
  TTreeBuilder b(vdtest::Native("/t"));
  auto* f = b.AddFile(b.Root(), "z", 1, TFileTime{});
  EXPECT_EQ(f->GetModifiedDateTime(), 0.0);
  EXPECT_EQ(f->Modified(), 0.0);
  EXPECT_EQ(FileTimeToLocalDateTime(TFileTime{}), 0.0);
}

TEST(DateTime, FileTimeConvertsWithLocalTime) {
  // 2021-06-15 10:20:30.456 UTC as file time; local time may shift it by whole
  // quarter hours only, so minutes-within-quarter, seconds and ms survive.
  const uint64_t unix = 1623752430;
  const TFileTime ft = TFileTime::FromTicks((unix + 11644473600ULL) * 10000000ULL + 4560000);
  const TSystemTime st = DecodeDateTime(FileTimeToLocalDateTime(ft));
  EXPECT_EQ(st.Year, 2021);
  EXPECT_EQ(st.Month, 6);
  EXPECT_EQ(st.Minute % 15, 5);
  EXPECT_EQ(st.Second, 30);
  EXPECT_EQ(st.Milliseconds, 456);
}

namespace {
// Rebuilds a scanned tree through the builder: the streaming form in walk
// order, or the random form with each folder's files added after the whole
// subtree below it (an order a dump file may give).
std::unique_ptr<TDirNode> Rebuild(const TDirNode* scanned, bool streaming) {
  TTreeBuilder b(scanned->FullPath());
  struct TStep {
    const TDirNode* From;
    TDirNode* To;
    bool Done;
  };
  std::vector<TStep> stack{{scanned, b.Root(), false}};
  while (!stack.empty()) {
    const TStep s = stack.back();
    if (s.Done) {
      stack.pop_back();
      if (!streaming)
        for (const TFileLeaf* f : s.From->Leaves) b.AddFile(s.To, f->Name(), f->ApparentSize(), f->ModifiedFT, TFileDisk{f->AllocatedSize()});
      else if (s.From != scanned)
        b.LeaveDir();
      continue;
    }
    stack.back().Done = true;
    if (streaming) {
      if (s.From != scanned) b.EnterDir(s.From->Name());
      for (const TFileLeaf* f : s.From->Leaves) b.AddFile(f->Name(), f->ApparentSize(), f->ModifiedFT, TFileDisk{f->AllocatedSize()});
    }
    const size_t n = s.From->Children.size();
    std::vector<TDirNode*> copies(n);
    if (!streaming)
      for (size_t i = 0; i < n; ++i) copies[i] = b.AddDir(s.To, s.From->Children[i]->Name());
    for (size_t i = n; i-- > 0;) stack.push_back({s.From->Children[i], copies[i], false});
  }
  return b.Finish();
}
}  // namespace

TEST(TreeBuilder, BothFormsBuildWhatTheScanBuilt) {
  vdtest::TempDir t;
  for (int i = 0; i < 300; ++i)
    t.File("d" + std::to_string(i % 7) + "/e" + std::to_string(i % 3) + "/f" + std::to_string(i) +
               (i % 4 ? ".TXT" : ".bin"),
           i * 10, 1600000000 + i);
  t.File("top", 5);
  t.Dir("empty");
  TScanContext ctx;
  TDiskScanner scanner(&ctx);
  auto scanned = scanner.Scan(t.Path());
  for (bool streaming : {true, false}) {
    auto built = Rebuild(scanned.get(), streaming);
    vdtest::ExpectSameTree(scanned.get(), built.get());
  }
}

TEST(TreeModel, SortingFilesKeepsEveryHeldPointerOnItsFile) {
  // Views sort a folder's files after other views took pointers to them.
  TTreeBuilder b(vdtest::Native("/s"));
  TDirNode* d = b.AddDir(b.Root(), "d");
  std::vector<std::pair<TFileLeaf*, std::string>> held;
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "f" + std::to_string(i * 7919 % 1000) + ".x";
    held.push_back({b.AddFile(d, name, (i * 31) % 997), name});
    if (i % 100 == 0) b.AddDir(d, "sub" + std::to_string(i));  // files arrive in several runs
  }
  auto root = b.Finish();
  d->Leaves.Sort([](const TFileLeaf* x, const TFileLeaf* y) { return x->Size() > y->Size(); });
  int64_t last = INT64_MAX;
  size_t i = 0;
  for (const TFileLeaf* f : d->Leaves) {
    EXPECT_LE(f->Size(), last);
    last = f->Size();
    EXPECT_EQ(d->Leaves[i++], f);
  }
  EXPECT_EQ(i, held.size());
  for (const auto& [f, name] : held) {
    EXPECT_EQ(f->Name(), name);
    EXPECT_EQ(f->Parent(), d);
    EXPECT_NE(std::find(d->Leaves.begin(), d->Leaves.end(), f), d->Leaves.end());
  }
  EXPECT_EQ(root->TotalFiles, 1000);
}
