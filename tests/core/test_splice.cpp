// Rescan of folders: after files are added, removed and grown, the spliced tree
// equals a full new scan (totals, counts, extension totals, every file), under
// a folder scan and under "(All Drives)"; a stopped rescan changes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "SameTree.h"
#include "ScanTreeLookup.h"
#include "TestUtil.h"
#include "core/scan/Splice.h"
#ifndef _WIN32
#include "core/dump/ScanDump.h"  // not in the cross build
#include "platform/ScratchMount.h"
#endif

using namespace vd;
namespace fs = std::filesystem;

namespace {

struct TStep {
  std::function<void(const vdtest::TempDir&)> Change;
  std::vector<std::string> Rescan;  // folders below the temp folder; "" is the temp folder itself
};

struct TScenario {
  const char* Name;
  bool AllDrives;  // "a" and "b" as the drives under "(All Drives)"
  std::vector<TStep> Steps;
};

void BaseTree(const vdtest::TempDir& t) {
  t.File("top.dat", 3);
  t.File("a/x.txt", 10);
  t.File("a/y.jpg", 20);
  t.File("a/deep/z.bin", 5);
  t.File("a/deep/inner/w.JPG", 4);
  t.File("b/w.txt", 7);
}

std::unique_ptr<TDirNode> ScanOf(const vdtest::TempDir& t, bool allDrives) {
  TScanContext ctx;
  return WalkScanSource(ctx, allDrives, t.Path(), {t / "a", t / "b"});
}

void Rescan(std::unique_ptr<TDirNode>& tree, const vdtest::TempDir& t, const std::vector<std::string>& rel) {
  std::vector<TDirNode*> folders;
  for (const std::string& r : rel) {
    TDirNode* f = FindFolder(tree.get(), r.empty() ? t.Path() : t / r);
    ASSERT_NE(f, nullptr) << r;
    ASSERT_TRUE(CanRescan(*f)) << r;
    folders.push_back(f);
  }
  TRescan rescan(folders);
  EXPECT_EQ(rescan.Paths().size(), 1u) << "nested folders are walked once";
  TScanContext ctx;
  rescan.Walk(ctx);
  ASSERT_TRUE(rescan.SpliceInto(tree));
}

const TScenario kScenarios[] = {
    {"files added, removed and grown in a sub-folder",
     false,
     {{[](const vdtest::TempDir& t) {
         t.File("a/new.md", 11);
         fs::remove(t / "a/y.jpg");
         fs::resize_file(t / "a/x.txt", 100);
         t.File("a/sub2/q.jpg", 9);
         fs::remove_all(t / "a/deep");
       },
       {"a"}}}},
    // The second step changes a folder inside the first one's fresh tree, the
    // third replaces that tree again: each ancestor's totals must be right
    // for the next splice to take the right amounts away.
    {"a folder rescanned again and again, and inside its fresh tree",
     false,
     {{[](const vdtest::TempDir& t) { t.File("a/deep/more.bin", 50); }, {"a"}},
      {[](const vdtest::TempDir& t) { t.File("a/deep/inner/v.txt", 60); }, {"a/deep/inner"}},
      {[](const vdtest::TempDir& t) { fs::remove(t / "a/x.txt"); }, {"a"}}}},
    {"a folder and a sub-folder of it are rescanned once",
     false,
     {{[](const vdtest::TempDir& t) {
         t.File("a/deep/more.bin", 50);
         t.File("a/z.txt", 1);
       },
       {"a/deep", "a", "a/deep/inner", "a"}}}},
    {"the root",
     false,
     {{[](const vdtest::TempDir& t) {
         fs::resize_file(t / "top.dat", 300);
         fs::remove_all(t / "b");
         t.File("c/n.txt", 2);
       },
       {""}}}},
    {"a folder deleted since the scan leaves its parent",
     false,
     {{[](const vdtest::TempDir& t) { fs::remove_all(t / "a/deep"); }, {"a/deep"}}}},
    // A walk of the parent finds the file where the folder was.
    {"a folder that has become a file",
     false,
     {{[](const vdtest::TempDir& t) {
         fs::remove_all(t / "a/deep");
         t.File("a/deep", 33);
       },
       {"a/deep"}}}},
#ifndef _WIN32
    // Not entered, as a walk of the parent would not enter it.
    {"a folder that has become a link",
     false,
     {{[](const vdtest::TempDir& t) {
         fs::remove_all(t / "a/deep");
         fs::create_directory_symlink(t / "b", t / "a/deep");
       },
       {"a/deep"}}}},
#endif
    {"a folder inside a drive, then the drive",
     true,
     {{[](const vdtest::TempDir& t) { t.File("b/sub/s.txt", 70); }, {"b"}},
      {[](const vdtest::TempDir& t) { t.File("b/sub/t.jpg", 80); }, {"b/sub"}},
      {[](const vdtest::TempDir& t) {
         fs::remove(t / "a/y.jpg");
         t.File("a/deep/n.md", 5);
       },
       {"a"}}}},
};

void PrintTo(const TScenario& sc, std::ostream* os) { *os << sc.Name; }

class SpliceScenario : public testing::TestWithParam<TScenario> {};

}  // namespace

TEST_P(SpliceScenario, EqualsAFullNewScan) {
  const TScenario& sc = GetParam();
  vdtest::TempDir t;
  BaseTree(t);
  std::unique_ptr<TDirNode> tree = ScanOf(t, sc.AllDrives);
  // A file outside every rescanned folder: its pointer must stay good.
  const TFileLeaf* outside = sc.AllDrives ? nullptr : vdtest::FindLeaf(tree.get(), "top.dat");
  for (const TStep& step : sc.Steps) {
    step.Change(t);
    ASSERT_NO_FATAL_FAILURE(Rescan(tree, t, step.Rescan));
    const auto full = ScanOf(t, sc.AllDrives);
    ASSERT_NO_FATAL_FAILURE(vdtest::ExpectSameTree(tree.get(), full.get()));
    if (!sc.AllDrives) vdtest::ExpectConsistent(tree.get());
    if (outside && step.Rescan != std::vector<std::string>{""}) {
      EXPECT_EQ(outside->FullPath(), t / "top.dat");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rescan, SpliceScenario, testing::ValuesIn(kScenarios), [](const auto& info) {
  std::string n;
  for (const char* c = info.param.Name; *c; ++c) n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return n;
});

// Stopped after the first of two folders, or as the last one ends: nothing is
// spliced, not even what was walked whole.
TEST(Rescan, StopMidRescanLeavesTheTreeUnchanged) {
  for (const char* stopAt : {"a", "b"}) {
    SCOPED_TRACE(stopAt);
    vdtest::TempDir t;
    BaseTree(t);
    std::unique_ptr<TDirNode> tree = ScanOf(t, false);
    const auto before = ScanOf(t, false);
    t.File("a/new.bin", 1000);
    t.File("b/new.bin", 2000);

    TRescan rescan({FindFolder(tree.get(), t / "a"), FindFolder(tree.get(), t / "b")});
    ASSERT_EQ(rescan.Paths(), (std::vector<std::string>{t / "a", t / "b"}));
    TScanContext ctx;
    TWalkOptions o;
    o.OnProgress = [&](const std::string& path, int64_t, int64_t, int64_t) {
      if (path == t / stopAt) ctx.Cancel();
    };
    rescan.Walk(ctx, o);
    EXPECT_FALSE(rescan.Complete());
    EXPECT_FALSE(rescan.SpliceInto(tree));
    vdtest::ExpectSameTree(tree.get(), before.get());
  }
}

// A folder that is gone can be rescanned only while its parent is there.
TEST(Rescan, GoneFolderNeedsItsParent) {
  vdtest::TempDir t;
  BaseTree(t);
  std::unique_ptr<TDirNode> tree = ScanOf(t, false);
  TDirNode* inner = FindFolder(tree.get(), t / "a/deep/inner");
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(FolderOfPath(tree.get(), t / "a/deep/inner/w.JPG"), inner);
  fs::remove_all(t / "a/deep");
  EXPECT_TRUE(CanRescan(*inner->Parent));
  EXPECT_FALSE(CanRescan(*inner));
}

#ifndef _WIN32
// In a tree read from a scan file, a missing folder is never taken out: not a
// folder gone from a parent that is here, not a drive that is not.
TEST(Rescan, MissingFolderOfAScanFileIsRefused) {
  vdtest::TempDir t;
  BaseTree(t);
  const std::string dump = WriteScanString(*ScanOf(t, true), dump::TCompression::None, 1);
  std::unique_ptr<TDirNode> tree = ReadScanData(dump).Root;
  ASSERT_EQ(tree->Children.size(), 2u);
  TDirNode* deep = FindFolder(tree.get(), t / "a/deep");
  TDirNode* driveB = FindFolder(tree.get(), t / "b");
  ASSERT_TRUE(deep && driveB);
  fs::remove_all(t / "a/deep");
  fs::remove_all(t / "b");
  EXPECT_FALSE(CanRescan(*deep, true));
  EXPECT_FALSE(CanRescan(*driveB, true));
  EXPECT_TRUE(CanRescan(*FindFolder(tree.get(), t / "a"), true));
  // A live scan takes them out, as a rescan of the parent would show.
  EXPECT_TRUE(CanRescan(*deep, false));
}

// A folder that has become a mount point since the scan is not walked into:
// the other volume's files would pass for the folder's.
TEST(Rescan, FolderThatHasBecomeAMountPointIsNotEntered) {
  vdtest::TempDir t;
  BaseTree(t);
  std::unique_ptr<TDirNode> tree = ScanOf(t, false);
  auto mount = vdtest::TScratchMount::Tmpfs(t / "a/deep");
  if (!mount.Mounted()) GTEST_SKIP() << mount.Why();
  t.File("a/deep/other-volume.bin", 4000);
  TRescan rescan({FindFolder(tree.get(), t / "a/deep")});
  TScanContext ctx;
  rescan.Walk(ctx);
  ASSERT_TRUE(rescan.SpliceInto(tree));
  EXPECT_EQ(FindFolder(tree.get(), t / "a/deep"), nullptr);
  vdtest::ExpectSameTree(tree.get(), ScanOf(t, false).get());
}
#endif
