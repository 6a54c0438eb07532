// Permanent deletion on real folders, and the request rules around it.
#include <gtest/gtest.h>

#include <filesystem>

#include "PrivateHome.h"
#include "ScratchMount.h"
#include "TestUtil.h"
#include "platform/DeleteRequest.h"
#include "platform/Platform.h"
#include "platform/posix/PosixMounts.h"

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

namespace {

// The item of a test folder chosen for deletion, and where a volume is mounted.
struct TMountCase {
  const char* Name;
  bool Bind;  // a bind mount of another folder, else a tmpfs
  const char* MountAt;
  const char* Chosen;
};

// Files on the mounted volume, and files of the chosen folder beside it.
const char* const kOnVolume[] = {"keep.txt", "deep/er/keep.txt"};
const char* const kBeside[] = {"box/before.txt", "box/zz/after.txt"};

}  // namespace

// Deleting and trashing refuse alike.
TEST(DeleteTree, MountedVolumesAreRefusedWhole) {
  const TMountCase cases[] = {
      {"a tmpfs chosen itself", false, "box/usb", "box/usb"},
      {"a tmpfs deep below the chosen folder", false, "box/a/b/usb", "box"},
      {"a bind mount below the chosen folder", true, "box/a/bound", "box"},
      {"a bind mount chosen itself", true, "box/bound", "box/bound"},
  };
  vdtest::TPrivateHome home;
  for (const auto& c : cases) {
    vdtest::TempDir t, elsewhere;
    for (const char* f : kBeside) t.File(f, 1);
    const std::string at = t.Dir(c.MountAt);
    auto mount = c.Bind ? vdtest::TScratchMount::Bind(elsewhere.Path(), at) : vdtest::TScratchMount::Tmpfs(at);
    if (!mount.Mounted()) GTEST_SKIP() << mount.Why();
    for (const char* f : kOnVolume) t.File(std::string(c.MountAt) + "/" + f, 3);
    EXPECT_FALSE(platform::DeleteTreeNoFollow(t / c.Chosen)) << c.Name;
    EXPECT_FALSE(platform::MoveToTrash(t / c.Chosen)) << c.Name;
    for (const char* f : kOnVolume) EXPECT_TRUE(fs::exists(at + "/" + f)) << c.Name << ": " << f;
    for (const char* f : kBeside) EXPECT_TRUE(fs::exists(t / f)) << c.Name << ": " << f;
  }
}

// Mount points the kernel's attributes would not show (older kernels, a bind
// mount on the same device) are known from the mount table: here a plain
// folder is made to count as one. Deleting and trashing refuse alike.
TEST(DeleteTree, AFolderTheMountTableNamesIsRefusedWhole) {
  vdtest::TempDir t;
  for (const char* f : kBeside) t.File(f, 1);
  const std::string mounted = fs::canonical(t.Dir("box/a/mnt")).string();
  for (const char* f : kOnVolume) t.File(std::string("box/a/mnt/") + f, 1);
  const std::string loose = t.File("box/loose.txt", 1);
  auto saved = platform::posix::KnownMountPoints();
  platform::posix::KnownMountPoints() = [mounted] { return std::vector<std::string>{"/", mounted}; };
  vdtest::TPrivateHome home;
  for (const char* chosen : {"box", "box/a", "box/a/mnt", "box/a/"}) {
    EXPECT_FALSE(platform::DeleteTreeNoFollow(t / chosen)) << chosen;
    EXPECT_FALSE(platform::MoveToTrash(t / chosen)) << chosen;
  }
  const bool looseGone = platform::DeleteTreeNoFollow(loose);
  platform::posix::KnownMountPoints() = saved;
  for (const char* f : kOnVolume) EXPECT_TRUE(fs::exists(mounted + "/" + f)) << f;
  for (const char* f : kBeside) EXPECT_TRUE(fs::exists(t / f)) << f;
  EXPECT_TRUE(looseGone);  // what holds no mount still goes
}

TEST(DeleteTree, AHundredThousandLevelsGoWhole) {
  vdtest::TempDir t;
  // On a tmpfs where one can be had: some disks take milliseconds per removed folder.
  const std::string top = t.Dir("scratch");
  auto scratch = vdtest::TScratchMount::Tmpfs(top);
  ASSERT_TRUE(vdtest::MakeDeepChain(top, 100000, "bottom.txt", 1));
  EXPECT_TRUE(platform::DeleteTreeNoFollow(top + "/d"));
  EXPECT_FALSE(platform::PathExistsNoFollow(top + "/d"));
}
