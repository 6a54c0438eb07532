// The disk scanner on real temporary folders: counting, walk order, filters,
// errors, cancellation and the progress throttle.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>

#include "core/scan/DiskScanner.h"
#include "TestUtil.h"
#include "SameTree.h"
#include "ScanTreeLookup.h"
#include "platform/Platform.h"

using namespace vd;
namespace fs = std::filesystem;

namespace {

// On several threads, also where the disk would make it one, so that every
// rule below holds for the parallel walk.
std::unique_ptr<TDirNode> ScanWith(const std::string& path, TScanContext* ctx, TDiskScanner** out = nullptr) {
  static thread_local std::unique_ptr<TDiskScanner> scanner;
  static thread_local TScanContext noFilters;
  if (!ctx) ctx = &noFilters;
  if (ctx->ScanThreads == 0) ctx->ScanThreads = 3;
  scanner = std::make_unique<TDiskScanner>(ctx);
  if (out) *out = scanner.get();
  return scanner->Scan(path);
}

using vdtest::FindChild;
using vdtest::FindLeaf;

int64_t UnixOf(int y, int mo, int d, int h, int mi, int s) {
  struct tm tm {};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  return int64_t(mktime(&tm));
}

}  // namespace

TEST(DiskScanner, MixedTreeKeepsItsInvariants) {
  vdtest::TempDir t;
  t.File("a.txt", 100);
  t.File("B.TXT", 50);
  t.File("noext", 7);
  t.File("sub/x.tar.gz", 1000);
  t.File("sub/.gitignore", 3);
  t.File("sub/deeper/y.JPG", 12);
  t.Dir("empty");
  t.File(".hidden/file.", 9);
  auto root = ScanWith(t.Path(), nullptr);
  ASSERT_TRUE(root);
  EXPECT_EQ(vdtest::ExpectConsistent(root.get()), 5);
  EXPECT_EQ(root->TotalFiles, 7);
  EXPECT_EQ(root->TotalSize, 1181);
  EXPECT_EQ(root->TotalDirs, 5);
  const TExtStats stats = root->ExtStats();
  TExtStat st;
  ASSERT_TRUE(stats.Find(".txt", st));
  EXPECT_EQ(st.Files, 2);
  EXPECT_EQ(st.Bytes, 150);
  ASSERT_TRUE(stats.Find(".gz", st));
  ASSERT_TRUE(stats.Find(".gitignore", st));
  ASSERT_TRUE(stats.Find(".jpg", st));
  ASSERT_TRUE(stats.Find(".", st));
  ASSERT_TRUE(stats.Find("(none)", st));
  EXPECT_EQ(st.Bytes, 7);
  const TDirNode* empty = FindChild(root.get(), "empty");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->TotalDirs, 1);
  EXPECT_EQ(empty->TotalFiles + empty->TotalSize, 0);
  EXPECT_EQ(FindLeaf(root.get(), "noext")->Ext(), "");
  EXPECT_EQ(FindLeaf(FindChild(root.get(), ".hidden"), "file.")->FullPath(), t / ".hidden/file.");
}

TEST(DiskScanner, WalkOrderIsListingOrder) {
  vdtest::TempDir t;
  for (int i = 0; i < 300; ++i) {
    t.File("f" + std::to_string(i * 7919 % 1000), i);
    if (i % 10 == 0) t.Dir("d" + std::to_string(i * 31 % 97));
  }
  std::vector<std::string> files, dirs;
  for (const auto& e : fs::directory_iterator(t.Path())) (e.is_directory() ? dirs : files).push_back(e.path().filename().string());
  auto root = ScanWith(t.Path(), nullptr);
  ASSERT_EQ(root->Leaves.size(), files.size());
  ASSERT_EQ(root->Children.size(), dirs.size());
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(root->Leaves[i]->Name(), files[i]);
  for (size_t i = 0; i < dirs.size(); ++i) EXPECT_EQ(root->Children[i]->Name(), dirs[i]);
}

TEST(DiskScanner, LinksDevicesAndSpecialFilesAreSkipped) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX links and FIFOs; reparse points have their own test";
#else
  vdtest::TempDir t;
  vdtest::TempDir outside;
  outside.File("big", 1 << 20);
  t.File("real.txt", 5);
  fs::create_directory_symlink(outside.Path(), t / "linkdir");
  fs::create_symlink(outside / "big", t / "linkfile");
  ASSERT_EQ(::mkfifo((t / "fifo").c_str(), 0644), 0);
  auto root = ScanWith(t.Path(), nullptr);
  EXPECT_EQ(root->TotalFiles, 1);
  EXPECT_EQ(root->TotalDirs, 1);
  EXPECT_EQ(root->TotalSize, 5);
#endif
}

TEST(DiskScanner, EveryHardLinkCounts) {
  vdtest::TempDir t;
  t.File("one", 100);
  fs::create_hard_link(t / "one", t / "two");
  auto root = ScanWith(t.Path(), nullptr);
  EXPECT_EQ(root->TotalFiles, 2);
  EXPECT_EQ(root->TotalSize, 200);
}

TEST(DiskScanner, MountPointsAreSkipped) {
  // A mount point of another file system inside the scanned folder (root only).
#ifdef _WIN32
  GTEST_SKIP() << "no mount command on Windows";
#endif
  vdtest::TempDir t;
  t.File("a", 1);
  const std::string mnt = t.Dir("mnt");
  if (std::system(("mount -t tmpfs -o size=1m vdtest " + mnt + " 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  std::system(("truncate -s 4096 " + mnt + "/inside").c_str());
  auto root = ScanWith(t.Path(), nullptr);
  std::system(("umount " + mnt).c_str());
  EXPECT_EQ(root->TotalFiles, 1);
  EXPECT_EQ(root->TotalDirs, 1);
  EXPECT_FALSE(FindChild(root.get(), "mnt"));
}

TEST(DiskScanner, TrailingSeparatorGivesTheSameTree) {
  vdtest::TempDir t;
  t.File("s/f.txt", 3);
  auto a = ScanWith(t.Path(), nullptr);
  auto b = ScanWith(t.Path() + vdtest::kSep, nullptr);
  EXPECT_EQ(a->FullPath(), b->FullPath());
  EXPECT_EQ(b->FullPath(), t.Path());
  EXPECT_EQ(b->Name(), fs::path(t.Path()).filename().string());
  EXPECT_EQ(b->Children[0]->Leaves[0]->FullPath(), t / "s/f.txt");
  EXPECT_EQ(a->TotalSize, b->TotalSize);
}

TEST(DiskScanner, RootSlashKeepsOneSeparator) {
  // Scan "/" but stop after a few hundred entries: only the shape of paths matters.
#ifdef _WIN32
  GTEST_SKIP() << "drive roots have their own test";
#endif
  TScanContext ctx;
  ctx.ScanThreads = 2;
  TDiskScanner scanner(&ctx);
  std::atomic<uint32_t> tick{0};
  scanner.FTickSource = [&tick] { return tick += 100; };
  int reports = 0;
  scanner.OnProgress = [&](const std::string& path, int64_t, int64_t) {
    EXPECT_EQ(path.find("//"), std::string::npos) << path;
    if (++reports == 300) ctx.Cancel();
  };
  auto root = scanner.Scan("/");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->FullPath(), "/");
  EXPECT_EQ(root->Name(), "/");
  for (const TDirNode* c : root->Children) EXPECT_EQ(c->FullPath(), "/" + std::string(c->Name()));
  for (const TFileLeaf* f : root->Leaves) EXPECT_EQ(f->FullPath(), "/" + std::string(f->Name()));
}

TEST(DiskScanner, OddNamesSurviveByteForByte) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX names; UTF-16 names have their own test";
#endif
  vdtest::TempDir t;
  const std::vector<std::string> names = {std::string("bad\xff\xfe utf8"), "new\nline", " spaced ",
                                          std::string(255, 'n'), "tab\there.TXT"};
  for (const auto& n : names) t.File(n, 1);
  t.File(std::string("dir\x80") + "/inner", 2);
  auto root = ScanWith(t.Path(), nullptr);
  std::set<std::string> seen;
  for (const TFileLeaf* f : root->Leaves) {
    seen.insert(std::string(f->Name()));
    EXPECT_EQ(f->FullPath(), t.Path() + "/" + std::string(f->Name()));
    EXPECT_TRUE(fs::exists(f->FullPath()));
  }
  for (const auto& n : names) EXPECT_TRUE(seen.count(n)) << n;
  ASSERT_EQ(root->Children.size(), 1u);
  EXPECT_EQ(root->Children[0]->Leaves[0]->FullPath(), t.Path() + "/dir\x80/inner");
}

TEST(DiskScanner, SizeFilterAtItsBoundary) {
  vdtest::TempDir t;
  t.File("small", 1023);
  t.File("exact", 1024);
  t.File("big", 5000);
  for (int64_t limit : {int64_t(1024), int64_t(0)}) {
    TScanContext ctx;
    ctx.ExcludeLessThan = true;
    ctx.LessThanBytes = limit;
    TDiskScanner* s;
    auto root = ScanWith(t.Path(), &ctx, &s);
    EXPECT_EQ(FindLeaf(root.get(), "small") != nullptr, limit == 0);
    EXPECT_TRUE(FindLeaf(root.get(), "exact"));
    EXPECT_EQ(s->FBytes, 1023 + 1024 + 5000);  // excluded files are still counted as seen
    EXPECT_EQ(s->FFiles, limit == 0 ? 3 : 2);
  }
}

TEST(DiskScanner, DateFilterIsStrictlyBefore) {
  vdtest::TempDir t;
  const int64_t when = UnixOf(2022, 3, 4, 5, 6, 7);
  t.File("exact", 1, when, 0);
  t.File("earlier", 1, when - 1, 999000000);  // one millisecond earlier
  t.File("later", 1, when + 3600, 0);
  TScanContext ctx;
  ctx.ExcludeModifiedBefore = true;
  ctx.ModifiedBefore = EncodeDateTime(2022, 3, 4, 5, 6, 7, 0);
  auto root = ScanWith(t.Path(), &ctx);
  EXPECT_TRUE(FindLeaf(root.get(), "exact"));
  EXPECT_TRUE(FindLeaf(root.get(), "later"));
  EXPECT_FALSE(FindLeaf(root.get(), "earlier"));
  ctx.ModifiedBefore = 0;  // a zero date turns the filter off
  EXPECT_EQ(ScanWith(t.Path(), &ctx)->TotalFiles, 3);
}

TEST(DiskScanner, PatternMasksOnNameAndPath) {
  vdtest::TempDir t;
  t.File("photo.JPG", 1);
  t.File("photo.png", 1);
  t.File("a_SomeFileName_b.doc", 1);
  t.File("cache/inner.dat", 1);
  t.File("keep/set1.log", 1);
  t.File("keep/set9.log", 1);
  const struct {
    std::string pattern;
    std::vector<std::string> excluded;
  } cases[] = {
      {"*.jpg;*somefilename*", {"photo.JPG", "a_SomeFileName_b.doc"}},
      {std::string("*") + vdtest::kSep + "cache" + vdtest::kSep + "*", {"inner.dat"}},
      {"set[0-5].log", {"set1.log"}},
      {"set[!0-5].log", {"set9.log"}},
      {"PHOTO.???", {"photo.JPG", "photo.png"}},
  };
  for (const auto& c : cases) {
    TScanContext ctx;
    ctx.ExcludePattern = true;
    ctx.Pattern = c.pattern;
    ctx.PatternMasks = SplitPatternMasks(c.pattern);
    auto root = ScanWith(t.Path(), &ctx);
    std::set<std::string> present;
    std::vector<const TDirNode*> stack{root.get()};
    while (!stack.empty()) {
      const TDirNode* n = stack.back();
      stack.pop_back();
      for (const TFileLeaf* f : n->Leaves) present.insert(std::string(f->Name()));
      for (const TDirNode* k : n->Children) stack.push_back(k);
    }
    EXPECT_EQ(present.size(), 6 - c.excluded.size()) << c.pattern;
    for (const auto& e : c.excluded) EXPECT_FALSE(present.count(e)) << c.pattern << " kept " << e;
  }
}

TEST(DiskScanner, MalformedMaskFailsAtTheFirstFileThatReachesIt) {
  vdtest::TempDir t;
  t.File("tiny", 10);
  TScanContext ctx;
  ctx.ExcludePattern = true;
  ctx.PatternMasks = {"*.jpg", "[abc"};
  ctx.ExcludeLessThan = true;
  ctx.LessThanBytes = 100;
  // Excluded by size first: the pattern is never tested.
  EXPECT_NO_THROW(ScanWith(t.Path(), &ctx));
  t.File("sub/x.jpg", 1000);  // matches the first mask, never reaches the second
  EXPECT_NO_THROW(ScanWith(t.Path(), &ctx));
  t.File("sub/deeper/big.bin", 1000);
  try {
    ScanWith(t.Path(), &ctx);
    FAIL() << "no error";
  } catch (const EMaskException& e) {
    EXPECT_STREQ(e.what(), "'[ABC' is an invalid mask at (5)");
    EXPECT_EQ(DescribeError(e), "EMaskException: '[ABC' is an invalid mask at (5)");
  }
}

TEST(DiskScanner, PatternSplitTrimsAndDropsEmptyPieces) {
  EXPECT_EQ(SplitPatternMasks(";; *.tmp ;"), std::vector<std::string>{"*.tmp"});
  EXPECT_EQ(SplitPatternMasks("*.jpg;*somefilename*"), (std::vector<std::string>{"*.jpg", "*somefilename*"}));
  EXPECT_TRUE(SplitPatternMasks("").empty());
  EXPECT_EQ(TrimText("\t x \r\n"), "x");
}

TEST(DiskScanner, CancelledBeforeScanGivesNothing) {
  vdtest::TempDir t;
  TScanContext ctx;
  ctx.Cancel();
  ctx.Cancel();
  EXPECT_TRUE(ctx.IsCancelled());
  EXPECT_EQ(ScanWith(t.Path(), &ctx), nullptr);
}

TEST(DiskScanner, CancelDuringScanStopsWithinOneEntry) {
  vdtest::TempDir t;
  for (int d = 0; d < 5; ++d)
    for (int i = 0; i < 50; ++i) t.File("d" + std::to_string(d) + "/f" + std::to_string(i), 1);
  TScanContext ctx;
  ctx.ScanThreads = 1;  // exact counts; several threads have their own test
  TDiskScanner scanner(&ctx);
  scanner.FTickSource = [n = uint32_t(0)]() mutable { return n += 1000; };  // report every entry
  int64_t filesAtCancel = -1;
  scanner.OnProgress = [&](const std::string&, int64_t files, int64_t) {
    if (files == 120 && filesAtCancel < 0) {
      filesAtCancel = files;
      ctx.Cancel();
    }
  };
  auto root = scanner.Scan(t.Path());
  ASSERT_TRUE(root);  // an incomplete tree
  EXPECT_EQ(scanner.FFiles, 120);
  EXPECT_EQ(root->TotalFiles, 120);
  EXPECT_LT(root->TotalDirs, 7);
}

TEST(DiskScanner, ProgressIsThrottledAcrossTheTickWrap) {
  vdtest::TempDir t;
  for (int i = 0; i < 400; ++i) t.File("f" + std::to_string(i), 1);
  TScanContext ctx;
  ctx.ScanThreads = 1;  // one clock reader, so the fake clock's steps are exact
  TDiskScanner scanner(&ctx);
  uint32_t now = 0xFFFFFF00u;  // wraps after about 256 ms of fake time
  scanner.FTickSource = [&]() { return now += 7; };
  scanner.ResetCounters();
  std::vector<uint32_t> at;
  scanner.OnProgress = [&](const std::string& path, int64_t, int64_t) {
    EXPECT_EQ(path, t.Path());
    at.push_back(now);
  };
  scanner.Scan(t.Path());
  ASSERT_GT(at.size(), 10u);
  bool wrapped = false;
  for (size_t i = 1; i < at.size(); ++i) {
    EXPECT_GE(uint32_t(at[i] - at[i - 1]), 80u);
    EXPECT_LT(uint32_t(at[i] - at[i - 1]), 90u);  // and not much later either
    wrapped |= at[i] < at[i - 1];
  }
  EXPECT_TRUE(wrapped);
}

TEST(DiskScanner, UnreadableFolderLooksEmpty) {
#ifdef _WIN32
  GTEST_SKIP() << "permission bits; wine does not enforce access lists";
#else
  vdtest::TempDir t;
  t.File("locked/secret", 100);
  t.File("open/visible", 1);
  ::chmod((t / "locked").c_str(), 0);
  std::unique_ptr<TDirNode> root;
  if (::geteuid() == 0) {
    // Root reads any folder; drop the capabilities that let it, for this thread only.
    if (!vdtest::RunWithoutDacOverride([&] { root = ScanWith(t.Path(), nullptr); }))
      GTEST_SKIP() << "cannot drop capabilities here";
  } else {
    root = ScanWith(t.Path(), nullptr);
  }
  const TDirNode* locked = FindChild(root.get(), "locked");
  ASSERT_TRUE(locked);
  EXPECT_EQ(locked->TotalDirs, 1);
  EXPECT_EQ(locked->TotalFiles, 0);
  EXPECT_EQ(root->TotalFiles, 1);
  EXPECT_EQ(root->TotalDirs, 3);
#endif
}

TEST(DiskScanner, FiveThousandLevelsDeep) {
#ifdef _WIN32
  GTEST_SKIP() << "wine maps paths to Unix paths, which end at PATH_MAX; long paths have their own test";
#else
  vdtest::TempDir t;
  ASSERT_TRUE(vdtest::MakeDeepChain(t.Path(), 5000, "file.bin", 42));
  std::unique_ptr<TDirNode> root;
  // A thread with a modest stack, as a pool thread may have.
  vdtest::RunOnSmallStack([&] { root = ScanWith(t.Path(), nullptr); });
  ASSERT_TRUE(root);
  EXPECT_EQ(root->TotalDirs, 5001);
  EXPECT_EQ(root->TotalFiles, 1);
  EXPECT_EQ(root->TotalSize, 42);
  vdtest::RunOnSmallStack([&] { root.reset(); });
  vdtest::RemoveDeepChain(t.Path(), 5000);
#endif
}

TEST(DiskScanner, VanishedRootLooksEmpty) {
  TDiskScanner s(nullptr);
  auto root = s.Scan("/nonexistent/vorndale/path");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->TotalDirs, 1);
  EXPECT_EQ(s.FDirs, 1);
}
