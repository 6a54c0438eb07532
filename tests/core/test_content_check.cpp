// The content check of duplicates on real files, and the rule of "Select Copies".
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "AddressSpace.h"
#include "TestUtil.h"
#include "core/results/ContentCheck.h"

using namespace vd;
using V = TContentVerdict;

namespace {

void Write(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Pattern(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char(seed + i * 7 + i / 251);
  return s;
}

// Groups made by hand over files of a builder's tree.
struct TGroups {
  explicit TGroups(const std::string& root) : B(root) {}
  TFileLeaf* File(const std::string& dir, const std::string& name, int64_t size, int64_t mtime = 0) {
    TDirNode*& d = Dirs[dir];
    if (!d) d = B.AddDir(B.Root(), dir);
    return B.AddFile(d, name, size, mtime ? TFileTime::FromTicks(uint64_t(mtime)) : TFileTime{});
  }
  void Group(std::vector<TFileLeaf*> files) {
    auto g = std::make_unique<TDupGroup>();
    g->Size = files[0]->Size();
    g->Files = std::move(files);
    Groups.push_back(std::move(g));
  }
  TTreeBuilder B;
  std::map<std::string, TDirNode*> Dirs;
  TDupGroups Groups;
};

std::vector<V> Verdicts(const TContentCheckResult& r, size_t g) {
  std::vector<V> out;
  for (const auto& v : r.Groups[g]) out.push_back(v.Verdict);
  return out;
}

}  // namespace

TEST(ContentCheck, TellsCopiesFromLookAlikesReadingEachByteOnce) {
  vdtest::TempDir t;
  TGroups g(t.Path());
  const std::string big = Pattern(10000, 'a');
  std::string bigOtherEnd = big;
  bigOtherEnd[9999] ^= 1;
  Write(t / "a/same.txt", big);
  Write(t / "b/same.txt", bigOtherEnd);  // same start, another end
  Write(t / "c/same.txt", big);
  g.Group({g.File("a", "same.txt", 10000), g.File("b", "same.txt", 10000), g.File("c", "same.txt", 10000)});
  Write(t / "a/small.cfg", "x=1\n");
  Write(t / "b/small.cfg", "x=1\n");
  g.Group({g.File("a", "small.cfg", 4), g.File("b", "small.cfg", 4)});
  Write(t / "a/LICENSE", Pattern(8000, 'a'));
  Write(t / "b/LICENSE", Pattern(8000, 'b'));  // differs at once: only the starts are read
  g.Group({g.File("a", "LICENSE", 8000), g.File("b", "LICENSE", 8000)});
  // Gone since the scan, and a pipe in a file's place (must not hang).
  Write(t / "a/gone.bin", "zz");
  ASSERT_EQ(::mkfifo((t / "b/gone.bin").c_str(), 0644), 0);
  Write(t / "c/gone.bin", "zz");
  g.Group({g.File("a", "gone.bin", 2), g.File("b", "gone.bin", 2), g.File("c", "gone.bin", 2), g.File("d", "gone.bin", 2)});
  // A hard link is the same file, not a copy.
  Write(t / "a/linked.dat", big);
  ASSERT_EQ(::link((t / "a/linked.dat").c_str(), (t / "b/linked.dat").c_str()), 0);
  g.Group({g.File("a", "linked.dat", 10000), g.File("b", "linked.dat", 10000)});
  const auto tree = g.B.Finish();

  const TContentCheckResult r = CheckContents(g.Groups);
  EXPECT_FALSE(r.Cancelled);
  // Over its own copies of the paths, the pass finds the same.
  std::vector<std::vector<std::string>> paths;
  for (const auto& group : g.Groups) {
    paths.emplace_back();
    for (const TFileLeaf* f : group->Files) paths.back().push_back(f->FullPath());
  }
  const TContentCheckResult byPaths = CheckContents(paths);
  ASSERT_EQ(byPaths.Groups.size(), r.Groups.size());
  for (size_t i = 0; i < r.Groups.size(); ++i) EXPECT_EQ(Verdicts(byPaths, i), Verdicts(r, i)) << i;
  EXPECT_EQ(Verdicts(r, 0), (std::vector<V>{V::Identical, V::Unique, V::Identical}));
  EXPECT_EQ(r.Groups[0][0].Content, r.Groups[0][2].Content);
  EXPECT_EQ(Verdicts(r, 1), (std::vector<V>{V::Identical, V::Identical}));
  EXPECT_EQ(Verdicts(r, 2), (std::vector<V>{V::Unique, V::Unique}));
  EXPECT_EQ(Verdicts(r, 3), (std::vector<V>{V::Identical, V::Unreadable, V::Identical, V::Unreadable}));
  EXPECT_EQ(Verdicts(r, 4), (std::vector<V>{V::Unique, V::SameFile}));
  // Every byte of group 0 once; starts only of LICENSE; the linked file's start once.
  EXPECT_EQ(r.BytesRead, 3 * 10000 + 2 * 4 + 2 * 4096 + 2 * 2 + 4096);

  // One copy of each content stays; the look-alike, the unreadable and the link are never chosen.
  const auto copies = SelectCopies(g.Groups, r);
  ASSERT_EQ(copies.size(), 3u);
  for (const TCopyOf& c : copies) {
    const std::string p = c.File->FullPath();
    EXPECT_TRUE(p == t / "c/same.txt" || p == t / "b/small.cfg" || p == t / "c/gone.bin") << p;
    EXPECT_EQ(c.Kept->FullPath(), t / ("a/" + std::string(c.File->Name())));
  }
}

// Stopped from another thread, the pass returns soon, and the group it was in
// says nothing.
TEST(ContentCheck, StopsOnCancelFromAnotherThread) {
  vdtest::TempDir t;
  TGroups g(t.Path());
  t.File("a/huge.img", int64_t(1) << 30);
  t.File("b/huge.img", int64_t(1) << 30);
  g.Group({g.File("a", "huge.img", int64_t(1) << 30), g.File("b", "huge.img", int64_t(1) << 30)});
  const auto tree = g.B.Finish();
  std::atomic<int32_t> cancel{0};
  TContentCheckResult r;
  int reports = 0;
  std::thread worker([&] {
    TContentCheckOptions o;
    o.Cancel = &cancel;
    o.OnProgress = [&](const TContentProgress& p) {
      ++reports;
      EXPECT_EQ(p.FilesTotal, 2);
      cancel.store(1);
    };
    r = CheckContents(g.Groups, o);
  });
  worker.join();
  EXPECT_TRUE(r.Cancelled);
  EXPECT_GE(reports, 1);
  EXPECT_LT(r.BytesRead, int64_t(2) << 30);
  EXPECT_EQ(Verdicts(r, 0), (std::vector<V>{V::Unchecked, V::Unchecked}));
  EXPECT_TRUE(SelectCopies(g.Groups, r).empty());
}

// A group of 2000 files in a chain of folders with the longest names there
// are (an opened scan file): no file system opens such paths, and building
// them one by one (megabytes each) only to be refused is all the check would do.
TEST(ContentCheck, PathsNoFileSystemOpensAreNotBuilt) {
  if (vdtest::kSanitized) GTEST_SKIP() << "a sanitizer's shadow memory does not fit a bound on the address space";
  TTreeBuilder b("/hostile");
  const std::string name(65535, 'n');
  for (int i = 0; i < 2000; ++i) {
    b.EnterDir(name);
    b.AddFile("f", 1);
  }
  const auto root = b.Finish();
  TDupGroups groups;
  groups.push_back(std::make_unique<TDupGroup>());
  groups[0]->Size = 1;
  for (const TDirNode* d = root.get(); !d->Children.empty();) {
    d = d->Children[0];
    groups[0]->Files.push_back(d->Leaves[0]);
  }
  EXPECT_TRUE(vdtest::WithinAddressSpace(size_t(64) << 20, [&] {
    const TContentCheckResult r = CheckContents(groups);
    return Verdicts(r, 0) == std::vector<V>(2000, V::Unreadable) && r.BytesRead == 0;
  }));
}

TEST(SelectCopies, KeepsTheOldestOfEachContent) {
  TGroups g("/r");
  auto* a = g.File("1", "f", 5, 300);
  auto* b = g.File("2", "f", 5, 100);  // the oldest
  auto* c = g.File("3", "f", 5, 200);
  auto* d = g.File("4", "f", 5, 50);   // oldest of all, but unique
  g.Group({a, b, c, d});
  auto* x1 = g.File("1", "x", 5, 0);   // no time: counts as newest
  auto* x2 = g.File("2", "x", 5, 10);
  auto* y1 = g.File("3", "x", 5, 7);   // a second content, equal times: the smaller path stays
  auto* y2 = g.File("4", "x", 5, 7);
  g.Group({x1, x2, y1, y2});
  auto* u1 = g.File("1", "u", 5, 1);
  auto* u2 = g.File("2", "u", 5, 2);
  auto* u3 = g.File("3", "u", 5, 3);
  auto* u4 = g.File("4", "u", 5, 4);
  g.Group({u1, u2, u3, u4});
  // Empty files: removing one frees nothing, and an empty file is mostly a
  // marker whose place matters (__init__.py, .keep).
  g.Group({g.File("1", "__init__.py", 0, 1), g.File("2", "__init__.py", 0, 2)});
  const auto tree = g.B.Finish();

  TContentCheckResult r;
  r.Groups = {{{V::Identical, 0}, {V::Identical, 0}, {V::Identical, 0}, {V::Unique, 1}},
              {{V::Identical, 0}, {V::Identical, 0}, {V::Identical, 1}, {V::Identical, 1}},
              // never selected: not confirmed, or a content with no second file
              {{V::Unreadable, 0}, {V::SameFile, 0}, {V::Unchecked, 0}, {V::Identical, 0}},
              {{V::Identical, 0}, {V::Identical, 0}}};
  std::vector<std::pair<TFileLeaf*, TFileLeaf*>> chosen;
  for (const TCopyOf& c : SelectCopies(g.Groups, r)) chosen.push_back({c.File, c.Kept});
  EXPECT_EQ(chosen, (std::vector<std::pair<TFileLeaf*, TFileLeaf*>>{{a, b}, {c, b}, {x1, x2}, {y2, y1}}));

  // Deleted since the check: a content left with one member has no copy, and
  // the next oldest stays in place of a kept file that went.
  TContentCheckResult after = r;
  TakeOutMember(after.Groups[1], 1);  // x2, kept for x1
  TakeOutMember(after.Groups[1], 2);  // y1, kept for y2
  TakeOutMember(after.Groups[0], 1);  // b, kept for a and c
  EXPECT_EQ(after.Groups[1][0].Verdict, V::Unique);
  EXPECT_EQ(after.Groups[1][3].Verdict, V::Unique);
  chosen.clear();
  for (const TCopyOf& c : SelectCopies(g.Groups, after)) chosen.push_back({c.File, c.Kept});
  EXPECT_EQ(chosen, (std::vector<std::pair<TFileLeaf*, TFileLeaf*>>{{a, c}}));

  // Verdicts that do not fit the groups select nothing.
  r.Groups[0].pop_back();
  r.Groups.resize(1);
  EXPECT_TRUE(SelectCopies(g.Groups, r).empty());
}

// Just before a copy goes, both files are read again in full: whatever has
// changed since the check keeps the copy.
TEST(CompareFileBytes, KeepsTheCopyUnlessBothStillHoldTheSameBytes) {
  const std::string big = Pattern((256 << 10) * 2 + 17, 'k');  // more than one block
  std::string lastByte = big;
  lastByte.back() ^= 1;
  struct TCase {
    const char* Name;
    std::function<void(const std::string& copy, const std::string& kept)> Change;
    TRecheck Expected;
  };
  const std::vector<TCase> cases = {
      {"unchanged", [](auto&, auto&) {}, TRecheck::Same},
      {"copy's last byte", [&](auto& copy, auto&) { Write(copy, lastByte); }, TRecheck::Differs},
      {"kept file's last byte", [&](auto&, auto& kept) { Write(kept, lastByte); }, TRecheck::Differs},
      {"copy grew", [&](auto& copy, auto&) { Write(copy, big + "x"); }, TRecheck::Differs},
      {"kept file shrank", [&](auto&, auto& kept) { Write(kept, big.substr(0, 1000)); }, TRecheck::Differs},
      {"kept file gone", [](auto&, auto& kept) { std::filesystem::remove(kept); }, TRecheck::KeptGone},
      {"kept file now a folder",
       [](auto&, auto& kept) {
         std::filesystem::remove(kept);
         std::filesystem::create_directory(kept);
       },
       TRecheck::KeptGone},
      {"copy gone", [](auto& copy, auto&) { std::filesystem::remove(copy); }, TRecheck::CopyGone},
      {"copy now a link to the kept file",
       [](auto& copy, auto& kept) {
         std::filesystem::remove(copy);
         std::filesystem::create_symlink(kept, copy);
       },
       TRecheck::SameFile},
      {"kept file now a hard link of the copy",
       [](auto& copy, auto& kept) {
         std::filesystem::remove(kept);
         std::filesystem::create_hard_link(copy, kept);
       },
       TRecheck::SameFile},
  };
  for (const TCase& c : cases) {
    vdtest::TempDir t;
    const std::string copy = t / "b/f.bin", kept = t / "a/f.bin";
    Write(copy, big);
    Write(kept, big);
    c.Change(copy, kept);
    int64_t last = 0;
    TRecheckOptions o;
    o.OnProgress = [&](int64_t bytes) { last = bytes; };
    EXPECT_EQ(CompareFileBytes(copy, kept, o), c.Expected) << c.Name;
    if (c.Expected == TRecheck::Same) {
      EXPECT_EQ(last, int64_t(big.size()));
    }
  }

  // Stopped part way: neither equal nor different.
  vdtest::TempDir t;
  Write(t / "a", big);
  Write(t / "b", big);
  std::atomic<int32_t> cancel{0};
  TRecheckOptions o;
  o.Cancel = &cancel;
  o.OnProgress = [&](int64_t) { cancel.store(1); };
  EXPECT_EQ(CompareFileBytes(t / "b", t / "a", o), TRecheck::Stopped);
}
