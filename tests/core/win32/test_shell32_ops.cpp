// The shell operations that need no window: deleting through SHFileOperationW
// with the request rules, and the argument blocks handed to the shell.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "TestUtil.h"
#include "platform/Platform.h"
#include "platform/win32/Shell32Ops.h"

namespace fs = std::filesystem;
namespace pf = vd::platform;
using namespace vd::platform::win32;

TEST(ShellDelete, ArgumentBlockAndFlags) {
  EXPECT_EQ(BuildDoubleNulList({"C:\\a", "", "C:\\ü"}), std::wstring(L"C:\\a\0C:\\\u00fc\0\0", 11));
  EXPECT_EQ(BuildDoubleNulList({}), std::wstring(1, L'\0'));
  EXPECT_EQ(ShellDeleteFlags(false), 0x0414u);
  EXPECT_EQ(ShellDeleteFlags(true), 0x0454u);
}

TEST(ShellDelete, FilesAndAFolderEachOnce) {
  vdtest::TempDir t;
  t.File("folder/inner/deep.txt", 10);
  t.File("folder/two.txt", 10);
  t.File("one.txt", 10);
  t.File("ünï.txt", 10);
  t.File("kept.txt", 10);
  // Repeats, a file inside a folder of the same request, an empty path.
  const std::vector<std::string> paths = {t / "folder", t / "one.txt", t / "folder/two.txt", t / "one.txt", "",
                                          t / "ünï.txt"};
  EXPECT_TRUE(ShellDeletePaths(paths, false));
  EXPECT_FALSE(pf::PathExistsNoFollow(t / "folder"));
  EXPECT_FALSE(pf::PathExistsNoFollow(t / "one.txt"));
  EXPECT_FALSE(pf::PathExistsNoFollow(t / "ünï.txt"));
  EXPECT_TRUE(pf::PathExistsNoFollow(t / "kept.txt"));
}

TEST(ShellDelete, FailuresAndRefusals) {
  vdtest::TempDir t;
  t.File("a.txt", 1);
  t.File("b.txt", 1);
  EXPECT_FALSE(ShellDeletePaths({}, false));
  EXPECT_FALSE(ShellDeletePaths({""}, false));
  EXPECT_FALSE(ShellDeletePaths({t / "never-there"}, false));
  // Paths the shell would not take literally fail the whole request up front.
  EXPECT_FALSE(ShellDeletePaths({t / "a.txt", t / "*.txt"}, false));
  EXPECT_FALSE(ShellDeletePaths({t / "a.txt", "b.txt"}, false));
  EXPECT_FALSE(ShellDeletePaths({t / "a.txt", "C:\\"}, false));
  EXPECT_TRUE(pf::PathExistsNoFollow(t / "a.txt"));
  EXPECT_TRUE(pf::PathExistsNoFollow(t / "b.txt"));
  // A missing path after a good one: the first is gone, the request reports failure.
  EXPECT_FALSE(ShellDeletePaths({t / "a.txt", t / "gone.txt", t / "b.txt"}, false));
  EXPECT_FALSE(pf::PathExistsNoFollow(t / "a.txt"));
  EXPECT_TRUE(pf::PathExistsNoFollow(t / "b.txt"));
}

TEST(ShellDelete, ToTheRecycleBin) {
  const char* bin = std::getenv("VORNDALE_TEST_RECYCLE");  // the bin's folder, as wine keeps it
  if (!bin || !*bin) GTEST_SKIP() << "no recycle bin set up for this run";
  vdtest::TempDir t;
  t.File("trash-me.txt", 10);
  t.File("trash-dir/x.txt", 10);
  t.File("one-by-one.txt", 10);
  EXPECT_TRUE(ShellDeletePaths({t / "trash-me.txt", t / "trash-dir"}, true));
  EXPECT_TRUE(pf::MoveToTrash(t / "one-by-one.txt"));
  EXPECT_FALSE(pf::MoveToTrash(t / "never-there.txt"));
  EXPECT_FALSE(pf::PathExistsNoFollow(t / "trash-me.txt"));
  EXPECT_FALSE(pf::PathExistsNoFollow(t / "trash-dir"));
  EXPECT_FALSE(pf::PathExistsNoFollow(t / "one-by-one.txt"));
  EXPECT_TRUE(pf::PathExists(std::string(bin) + "\\trash-me.txt"));
  EXPECT_TRUE(pf::PathExists(std::string(bin) + "\\trash-dir\\x.txt"));
  EXPECT_TRUE(pf::PathExists(std::string(bin) + "\\one-by-one.txt"));
}

TEST(ShellOpenFolder, RefusesWhatItCannotParse) {
  EXPECT_FALSE(OpenFolderAndSelect(""));
  vdtest::TempDir t;
  EXPECT_FALSE(OpenFolderAndSelect(t / "no-such-file.txt"));
}
