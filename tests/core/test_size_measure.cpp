// Size on disk beside apparent size, on real trees: a scan in the on-disk
// measure adds up to what du counts (sparse files, hard links inside the tree
// once, folders' own blocks, links' blocks), the apparent measure stays the sum
// of the files' lengths, switching back and forth moves nothing, a scan file
// keeps it all, and a folder that cannot be read is marked, not passed off as
// empty.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "ScanTreeLookup.h"
#include "TestUtil.h"
#include "core/dump/ScanDump.h"
#include "core/scan/DiskScanner.h"
#include "core/scan/SizeMeasure.h"
#include "core/scan/Splice.h"

using namespace vd;
using vdtest::FindLeaf;
namespace fs = std::filesystem;

namespace {

int64_t RunDu(const std::string& flags, const std::string& path) {
  const std::string cmd = "du -s " + flags + " '" + path + "' 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  long long v = -1;
  if (std::fscanf(p, "%lld", &v) != 1) v = -1;
  ::pclose(p);
  return v;
}

std::unique_ptr<TDirNode> Scan(const std::string& path, int threads = 2) {
  TScanContext ctx;
  ctx.ScanThreads = threads;
  TDiskScanner scanner(&ctx);
  return scanner.Scan(path);
}

void WriteBytes(const std::string& path, size_t n) {
  fs::create_directories(fs::path(path).parent_path());
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::string data(n, 'x');
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

// Every file's size below `n`, as `size` reads it.
template <class TSize>
int64_t SumFiles(const TDirNode* n, TSize size) {
  int64_t s = 0;
  std::vector<const TDirNode*> pending{n};
  while (!pending.empty()) {
    const TDirNode* d = pending.back();
    pending.pop_back();
    for (const TFileLeaf* f : d->Leaves) s += size(f);
    pending.insert(pending.end(), d->Children.begin(), d->Children.end());
  }
  return s;
}
int64_t SumApparent(const TDirNode* n) { return SumFiles(n, [](const TFileLeaf* f) { return f->ApparentSize(); }); }
int64_t SumCounted(const TDirNode* n) { return SumFiles(n, [](const TFileLeaf* f) { return f->Size(); }); }

int64_t ExtBytes(const TDirNode* root) {
  int64_t sum = 0;
  for (const auto& e : root->ExtStats().ToSortedArrayByBytesDesc()) sum += e.Bytes;
  return sum;
}

// A tree of the cases that tell the two measures apart.
void MakeTree(const vdtest::TempDir& t) {
  t.File("sparse/image.raw", 500 << 20);  // holes only: nothing allocated
  WriteBytes(t / "small/one", 1);          // one byte in a whole block
  WriteBytes(t / "small/two", 5000);
  t.File("small/empty");
  WriteBytes(t / "links/a/orig", 100000);
  ASSERT_EQ(::link((t / "links/a/orig").c_str(), (t / "links/a/same-folder").c_str()), 0);
  t.Dir("links/b");
  ASSERT_EQ(::link((t / "links/a/orig").c_str(), (t / "links/b/other-folder").c_str()), 0);
  WriteBytes(t / "inside/own", 70000);
  ASSERT_EQ(::link((t / "inside/own").c_str(), (t / "inside/own2").c_str()), 0);
  ASSERT_EQ(::symlink(std::string(200, 'q').c_str(), (t / "small/long-link").c_str()), 0);
}

}  // namespace

TEST(SizeMeasure, OnDiskEqualsDuAndApparentStaysTheFilesLengths) {
  vdtest::TempDir t;
  MakeTree(t);
  for (int threads : {1, 3}) {
    SCOPED_TRACE(threads);
    auto root = Scan(t.Path(), threads);
    ASSERT_TRUE(root);

    ApplySizeMeasure(root.get(), TSizeMeasure::OnDisk);
    EXPECT_EQ(root->TotalSize, RunDu("-B1 -x", t.Path()));
    // Folders whose files have no links outside them.
    for (const char* rel : {"sparse", "small", "inside", "links"}) {
      const TDirNode* d = FindFolder(root.get(), t / rel);
      ASSERT_NE(d, nullptr) << rel;
      EXPECT_EQ(d->TotalSize, RunDu("-B1 -x", t / rel)) << rel;
    }
    EXPECT_EQ(FindLeaf(FindFolder(root.get(), t / "sparse"), "image.raw")->Size(), RunDu("-B1", t / "sparse/image.raw"));
    EXPECT_EQ(ExtBytes(root.get()), SumCounted(root.get()));
    // Of three links one counts; the others show what they hold but add nothing.
    int counted = 0;
    for (auto [folder, name] : {std::pair{"links/a", "orig"}, {"links/a", "same-folder"}, {"links/b", "other-folder"}}) {
      const TFileLeaf* f = FindLeaf(FindFolder(root.get(), t / folder), name);
      ASSERT_NE(f, nullptr) << name;
      EXPECT_TRUE(f->HasLinks());
      EXPECT_GE(f->AllocatedSize(), 100000);
      counted += f->IsExtraLink() ? 0 : 1;
      EXPECT_EQ(f->Size(), f->IsExtraLink() ? 0 : f->AllocatedSize());
    }
    EXPECT_EQ(counted, 1);

    const int64_t onDisk = root->TotalSize;
    ApplySizeMeasure(root.get(), TSizeMeasure::Apparent);
    EXPECT_EQ(root->TotalSize, SumApparent(root.get()));
    EXPECT_EQ(root->TotalSize, (500 << 20) + 1 + 5000 + 3 * 100000 + 2 * 70000);
    EXPECT_EQ(root->OtherTotalSize, onDisk);
    EXPECT_EQ(ExtBytes(root.get()), root->TotalSize);
    ApplySizeMeasure(root.get(), TSizeMeasure::OnDisk);
    EXPECT_EQ(root->TotalSize, onDisk);
    EXPECT_EQ(root->OtherTotalSize, SumApparent(root.get()));
    ApplySizeMeasure(root.get(), TSizeMeasure::Apparent);
  }
}

TEST(SizeMeasure, ScanFileKeepsSizesOnDiskLinksAndReadErrors) {
  vdtest::TempDir t;
  MakeTree(t);
  auto root = Scan(t.Path());
  FindFolder(root.get(), t / "small")->SetReadError(TReadError::Denied);
  const std::string first = WriteScanString(*root, dump::TCompression::None, 77);
  EXPECT_NE(first.find("\"dsize\":"), std::string::npos);
  EXPECT_NE(first.find("\"hlnkc\":true"), std::string::npos);
  EXPECT_NE(first.find("\"read_error\":true"), std::string::npos);
  auto back = ReadScanData(first).Root;
  EXPECT_EQ(WriteScanString(*back, dump::TCompression::None, 77), first);
  ApplySizeMeasure(root.get(), TSizeMeasure::OnDisk);
  ApplySizeMeasure(back.get(), TSizeMeasure::OnDisk);
  EXPECT_EQ(back->TotalSize, root->TotalSize);
  EXPECT_EQ(back->TotalSize, RunDu("-B1 -x", t.Path()));
  EXPECT_EQ(CountUnreadable(back.get()).UnreadableFolders, 1);
  ApplySizeMeasure(root.get(), TSizeMeasure::Apparent);
  ApplySizeMeasure(back.get(), TSizeMeasure::Apparent);
  EXPECT_EQ(back->TotalSize, root->TotalSize);
}

// Dumps written by hand, as other tools write them: each case has one rule.
TEST(SizeMeasure, DumpFieldsFollowOneRuleEach) {
  struct TCase {
    const char* Name;
    const char* Files;  // file objects of the root folder
    int64_t Apparent, OnDisk;
  };
  const TCase cases[] = {
      {"dsize larger than asize", R"({"name":"a","asize":1,"dsize":4096})", 1, 4096},
      {"sparse", R"({"name":"a","asize":1000000,"dsize":0})", 1000000, 0},
      {"no dsize counts as asize", R"({"name":"a","asize":700})", 700, 700},
      {"dsize without ino", R"({"name":"a","asize":10,"dsize":4096},{"name":"b","asize":10,"dsize":4096})", 20, 8192},
      {"ino repeated without hlnkc is two files",
       R"({"name":"a","asize":10,"dsize":4096,"ino":5},{"name":"b","asize":10,"dsize":4096,"ino":5})", 20, 8192},
      {"hlnkc with one ino counts once",
       R"({"name":"a","asize":10,"dsize":4096,"ino":5,"hlnkc":true},{"name":"b","asize":10,"dsize":4096,"ino":5,"hlnkc":true})", 20,
       4096},
      {"nlink without hlnkc counts once",
       R"({"name":"a","asize":10,"dsize":4096,"ino":5,"nlink":2},{"name":"b","asize":10,"dsize":4096,"ino":5,"nlink":2})", 20, 4096},
      {"same ino on other devices are two files",
       R"({"name":"a","asize":10,"dsize":4096,"ino":5,"hlnkc":true,"dev":1},{"name":"b","asize":10,"dsize":4096,"ino":5,"hlnkc":true,"dev":2})",
       20, 8192},
      {"hlnkc without ino is a file of its own",
       R"({"name":"a","asize":10,"dsize":4096,"hlnkc":true},{"name":"b","asize":10,"dsize":4096,"hlnkc":true})", 20, 8192},
      {"a link's blocks go to its folder", R"({"name":"l","asize":80,"dsize":4096,"notreg":true},{"name":"a","asize":3,"dsize":4096})", 3,
       8192},
      {"an excluded file counts nothing", R"({"name":"x","asize":80,"dsize":4096,"excluded":"pattern"})", 0, 0},
      // Sizes on disk that would overflow a total: the later ones count their length.
      {"allocations past 2^62 in all",
       R"({"name":"a","asize":1,"dsize":4611686018427387000},{"name":"b","asize":2,"dsize":4611686018427387000},)"
       R"({"name":"c","asize":3,"dsize":4611686018427387000})",
       6, 4611686018427387000 + 2 + 3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string text = std::string(R"([1,2,{"progname":"hand"},[{"name":"/r","dsize":512},)") + c.Files + "]]";
    auto root = ReadScanData(text).Root;
    ASSERT_TRUE(root);
    ApplySizeMeasure(root.get(), TSizeMeasure::Apparent);
    EXPECT_EQ(root->TotalSize, c.Apparent);
    ApplySizeMeasure(root.get(), TSizeMeasure::OnDisk);
    EXPECT_EQ(root->TotalSize, c.OnDisk + 512);
    EXPECT_EQ(ExtBytes(root.get()), SumCounted(root.get()));
    ApplySizeMeasure(root.get(), TSizeMeasure::Apparent);
    // What the tree keeps reads back as it was written.
    const std::string once = WriteScanString(*root, dump::TCompression::None, 1);
    EXPECT_EQ(WriteScanString(*ReadScanData(once).Root, dump::TCompression::None, 1), once);
  }
}

// Links across a rescanned folder: after the splice the file still counts
// exactly once, wherever its first link now is.
TEST(SizeMeasure, SpliceKeepsEachFileOnce) {
  vdtest::TempDir t;
  WriteBytes(t / "a/f", 50000);
  t.Dir("b");
  ASSERT_EQ(::link((t / "a/f").c_str(), (t / "b/g").c_str()), 0);
  auto root = Scan(t.Path());
  ApplySizeMeasure(root.get(), TSizeMeasure::OnDisk);
  const int64_t before = root->TotalSize;
  EXPECT_EQ(before, RunDu("-B1 -x", t.Path()));
  for (const char* rel : {"a", "b"}) {
    SpliceSubtree(root, FindFolder(root.get(), t / rel), Scan(t / rel));
    ApplySizeMeasure(root.get(), TSizeMeasure::OnDisk);
    EXPECT_EQ(root->TotalSize, before) << rel;
  }
  ApplySizeMeasure(root.get(), TSizeMeasure::Apparent);
  EXPECT_EQ(root->TotalSize, 100000);
}

// A folder the scan may not list: marked with why, at any depth, by the walk
// and by a rescan alike; the scan as a whole goes on.
TEST(SizeMeasure, UnreadableFolderIsMarked) {
  vdtest::TempDir t;
  t.File("open/a", 10);
  t.File("closed/inner/b", 20);
  ::chmod((t / "closed").c_str(), 0);
  std::unique_ptr<TDirNode> root, fresh, unreadableRoot;
  const bool dropped = vdtest::RunWithoutDacOverride([&] {
    root = Scan(t.Path());
    fresh = Scan(t / "closed");
    unreadableRoot = Scan(t / "closed");
  });
  if (!dropped) GTEST_SKIP() << "cannot give up the right to read every folder here";
  ASSERT_TRUE(root);
  const TDirNode* closed = FindFolder(root.get(), t / "closed");
  ASSERT_NE(closed, nullptr);
  EXPECT_EQ(closed->ReadError(), TReadError::Denied);
  EXPECT_EQ(closed->TotalDirs, 1);
  EXPECT_EQ(closed->TotalFiles, 0);
  EXPECT_EQ(FindFolder(root.get(), t / "open")->ReadError(), TReadError::None);
  const TTreeFacts facts = ApplySizeMeasure(root.get(), TSizeMeasure::Apparent);
  EXPECT_EQ(facts.UnreadableFolders, 1);
  EXPECT_EQ(facts.FirstUnreadable, closed);
  EXPECT_EQ(root->TotalSize, 10);
  ASSERT_TRUE(unreadableRoot);
  EXPECT_EQ(unreadableRoot->ReadError(), TReadError::Denied);

  // Readable again, then spliced in the state the rescan found.
  ::chmod((t / "closed").c_str(), 0755);
  auto again = Scan(t.Path());
  SpliceSubtree(again, FindFolder(again.get(), t / "closed"), std::move(fresh));
  EXPECT_EQ(FindFolder(again.get(), t / "closed")->ReadError(), TReadError::Denied);
  EXPECT_EQ(ApplySizeMeasure(again.get(), TSizeMeasure::Apparent).UnreadableFolders, 1);
}

// A real system folder, with whatever links, sparse files and long link
// targets it holds: on disk it adds up as du counts it.
TEST(SizeMeasure, UsrOnDiskEqualsDu) {
  if (!fs::is_directory("/usr")) GTEST_SKIP() << "no /usr here";
  auto root = Scan("/usr");
  ASSERT_TRUE(root);
  const int64_t apparent = root->TotalSize;
  ApplySizeMeasure(root.get(), TSizeMeasure::OnDisk);
  EXPECT_EQ(root->TotalSize, RunDu("-B1 -x", "/usr"));
  ApplySizeMeasure(root.get(), TSizeMeasure::Apparent);
  EXPECT_EQ(root->TotalSize, apparent);
}
