// Permanent deletion on real folders, and the request rules around it.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/DeleteRequest.h"
#include "TestUtil.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;
using namespace vd;

namespace {
bool Remove(const std::string& p) { return platform::DeleteTreeNoFollow(p); }
bool Exists(const std::string& p) { return platform::PathExistsNoFollow(p); }
}  // namespace

TEST(DeleteTree, FolderWithLinkToOutsideLeavesTheOutsideAlone) {
  vdtest::TempDir t, outside;
  outside.File("precious/keep.txt", 10);
  t.File("victim/a.txt", 1);
  t.File("victim/sub/b.txt", 1);
  fs::create_directory_symlink(outside / "precious", t / "victim/link");
  fs::create_symlink(outside / "precious/keep.txt", t / "victim/sub/filelink");
  EXPECT_TRUE(platform::DeleteTreeNoFollow(t / "victim"));
  EXPECT_FALSE(fs::exists(t / "victim"));
  EXPECT_TRUE(fs::exists(outside / "precious/keep.txt"));
}

TEST(DeleteTree, FilesAndTrailingSeparators) {
  vdtest::TempDir t;
  t.File("f", 1);
  t.Dir("d/e");
  EXPECT_TRUE(platform::DeleteTreeNoFollow(t / "f"));
  EXPECT_TRUE(platform::DeleteTreeNoFollow(t / "d/"));
  EXPECT_FALSE(platform::DeleteTreeNoFollow(t / "missing"));
  EXPECT_FALSE(platform::DeleteTreeNoFollow("/"));
  EXPECT_TRUE(fs::is_empty(t.Path()));
}

TEST(DeleteRequest, RepeatsAndNestedPathsCountOnce) {
  vdtest::TempDir t;
  t.File("dir/inner.txt", 1);
  t.File("other.txt", 1);
  std::vector<std::string> calls;
  auto record = [&](const std::string& p) {
    calls.push_back(p);
    return Remove(p);
  };
  const std::vector<std::string> paths = {t / "dir", t / "dir/inner.txt", t / "other.txt", t / "dir", ""};
  EXPECT_TRUE(platform::RunDeleteRequest(paths, record, Exists));
  EXPECT_EQ(calls, (std::vector<std::string>{t / "dir", t / "other.txt"}));
  EXPECT_TRUE(fs::is_empty(t.Path()));
  EXPECT_FALSE(platform::RunDeleteRequest({}, record, Exists));
}

TEST(DeleteRequest, FailureStopsAndKeepsTheRest) {
  vdtest::TempDir t;
  t.File("first", 1);
  t.File("refused", 1);
  t.File("last", 1);
  // The refusal comes through the removal seam: as root, permission bits would not stop it.
  auto refuse = [&](const std::string& p) { return p == t / "refused" ? false : Remove(p); };
  EXPECT_FALSE(platform::RunDeleteRequest({t / "first", t / "refused", t / "last"}, refuse, Exists));
  EXPECT_FALSE(fs::exists(t / "first"));
  EXPECT_TRUE(fs::exists(t / "refused"));
  EXPECT_TRUE(fs::exists(t / "last"));  // nothing further once one failed
  EXPECT_FALSE(platform::RunDeleteRequest({t / "never-there"}, refuse, Exists));
}

TEST(DeleteTree, ImmutableFileMakesTheFolderFail) {
  vdtest::TempDir t;
  t.File("box/a", 1);
  const std::string locked = t.File("box/locked", 1);
  if (std::system(("chattr +i '" + locked + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no immutable attribute on this file system";
  const bool ok = platform::DeleteTreeNoFollow(t / "box");
  std::system(("chattr -i '" + locked + "'").c_str());
  EXPECT_FALSE(ok);
  EXPECT_TRUE(fs::exists(locked));
}
