// The POSIX folder reader where the system is unusual: no statx, and telling
// spinning disks by sysfs.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

#include "ScratchMount.h"
#include "TestUtil.h"
#include "core/scan/DiskScanner.h"
#include "platform/Platform.h"
#include "platform/posix/DiskKind.h"

using namespace vd::platform;
namespace fs = std::filesystem;

namespace {
std::atomic<int> gStatxCalls{0};
int gStatxErrno = 0;
int MissingStatx(int, const char*, int, unsigned, void*) {
  ++gStatxCalls;
  errno = gStatxErrno;
  return -1;
}
}  // namespace

TEST(DirReader, WithoutStatxFoldersAreFoundByFstatat) {
  vdtest::TempDir t;
  t.File("f", 12);
  t.File("sub/inner/deep.txt", 3);
  t.File("sub2/x", 1);
  for (int err : {ENOSYS, EPERM}) {  // an old kernel; a container's seccomp filter
    gStatxCalls = 0;
    gStatxErrno = err;
    SetStatxHookForTest(&MissingStatx);
    vd::TScanContext ctx;
    ctx.ScanThreads = 2;
    vd::TDiskScanner scanner(&ctx);
    auto root = scanner.Scan(t.Path());
    SetStatxHookForTest(nullptr);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->TotalDirs, 4) << err;
    EXPECT_EQ(root->TotalFiles, 3) << err;
    EXPECT_EQ(root->TotalSize, 16) << err;
    EXPECT_EQ(gStatxCalls, 1) << "statx is given up after its first refusal";
  }
}

// A folder mounted again inside the walk, once or twice over itself, is on
// the walk's own device: only the kernel's mark of a mount root tells it, and
// its files must not count a second time.
TEST(DirReader, AFolderMountedAgainInsideTheWalkCountsOnce) {
  for (int stacked : {1, 2}) {
    vdtest::TempDir t;
    t.File("data/f", 100);
    t.File("data/sub/g", 10);
    const std::string again = t.Dir("again");
    std::vector<vdtest::TScratchMount> mounts;
    for (int i = 0; i < stacked; ++i) {
      mounts.push_back(vdtest::TScratchMount::Bind(t / "data", again));
      if (!mounts.back().Mounted()) GTEST_SKIP() << mounts.back().Why();
    }
    vd::TScanContext ctx;
    ctx.ScanThreads = 2;
    vd::TDiskScanner scanner(&ctx);
    auto root = scanner.Scan(t.Path());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->TotalFiles, 2) << stacked;
    EXPECT_EQ(root->TotalSize, 110) << stacked;
    EXPECT_EQ(root->TotalDirs, 3) << stacked;  // the top, data and data/sub
  }
}

TEST(DirReader, SpinningDisksBySysfs) {
  vdtest::TempDir t;
  auto put = [&](const std::string& rel, const char* text) {
    fs::create_directories(fs::path(t / rel).parent_path());
    std::ofstream(t / rel) << text;
  };
  put("devices/sda/queue/rotational", "1\n");
  fs::create_directories(t / "devices/sda/sda2");  // a partition: no queue of its own
  put("devices/nvme0n1/queue/rotational", "0\n");
  fs::create_directories(t / "dev/block");
  fs::create_directory_symlink("../../devices/sda", t / "dev/block/8:0");
  fs::create_directory_symlink("../../devices/sda/sda2", t / "dev/block/8:2");
  fs::create_directory_symlink("../../devices/nvme0n1", t / "dev/block/259:0");
  const std::string sys = t / "dev/block";
  EXPECT_TRUE(DeviceIsRotational(sys, 8, 0));
  EXPECT_TRUE(DeviceIsRotational(sys, 8, 2));
  EXPECT_FALSE(DeviceIsRotational(sys, 259, 0));
  EXPECT_FALSE(DeviceIsRotational(sys, 0, 45));  // tmpfs, btrfs subvolumes: not a block device
  EXPECT_FALSE(IsOnRotationalDisk("/proc"));
}
