// "All Drives" from real-world mount tables: every local file system once,
// nothing reached twice, nothing hidden.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/posix/MountTable.h"

using namespace vd::platform;

namespace {

struct TSample {
  const char* Name;
  const char* Table;
  std::vector<std::string> NotFolders;  // mount points that are files (or gone)
  std::vector<std::string> Drives;
};

const TSample kSamples[] = {
    {"btrfs Fedora: / and /home are subvolumes of one device",
     "22 59 0:21 / /proc rw,nosuid - proc proc rw\n"
     "59 1 0:30 /root / rw,relatime shared:1 - btrfs /dev/nvme0n1p3 rw,compress=zstd:1,subvolid=257,subvol=/root\n"
     "24 59 0:22 / /sys rw - sysfs sysfs rw\n"
     "62 59 259:2 / /boot rw,relatime shared:30 - ext4 /dev/nvme0n1p2 rw\n"
     "64 62 259:1 / /boot/efi rw,relatime shared:31 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
     "65 59 0:30 /home /home rw,relatime shared:32 - btrfs /dev/nvme0n1p3 rw,compress=zstd:1,subvolid=256,subvol=/home\n"
     "66 59 0:36 / /tmp rw,nosuid,nodev shared:33 - tmpfs tmpfs rw\n",
     {},
     {"/", "/boot", "/boot/efi", "/home"}},
    {"bind mount of a whole file system",
     "27 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
     "40 27 8:17 / /data rw - ext4 /dev/sdb1 rw\n"
     "41 27 8:17 / /srv/data rw - ext4 /dev/sdb1 rw\n",
     {},
     {"/", "/data"}},
    {"bind mounts of sub-folders, one listed before its whole, one over its own place",
     "27 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
     "42 27 8:17 /projects /home/me/projects rw - ext4 /dev/sdb1 rw\n"
     "40 27 8:17 / /data rw - ext4 /dev/sdb1 rw\n"
     "43 27 8:2 /var/www /srv/www rw - ext4 /dev/sda2 rw\n"
     "44 27 8:2 /var/log /var/log rw - ext4 /dev/sda2 rw\n",
     {},
     {"/", "/data", "/var/log"}},
    {"zfs pool: every dataset its own file system",
     "27 1 0:24 / / rw - zfs rpool/ROOT/debian rw,xattr,posixacl\n"
     "60 27 0:52 / /home rw - zfs rpool/home rw\n"
     "61 60 0:53 / /home/me rw - zfs rpool/home/me rw\n"
     "62 27 0:54 / /tank rw - zfs tank rw\n"
     "63 62 0:55 / /tank/media rw - zfs tank/media rw\n"
     "64 27 259:1 / /boot/efi rw - vfat /dev/nvme0n1p1 rw\n"
     "65 27 0:54 / /srv/tank rw - zfs tank rw\n",
     {},
     {"/", "/home", "/home/me", "/tank", "/tank/media", "/boot/efi"}},
    {"snap and squashfs mess",
     "25 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
     "26 25 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
     "600 25 7:1 / /snap/core22/1122 ro,nodev,relatime shared:300 - squashfs /dev/loop1 ro\n"
     "601 25 7:2 / /snap/firefox/3836 ro,nodev,relatime shared:301 - squashfs /dev/loop2 ro\n"
     "699 30 0:26 /snapd/ns /run/snapd/ns rw - tmpfs tmpfs rw\n"
     "700 699 0:4 mnt:[4026532583] /run/snapd/ns/lxd.mnt rw - nsfs nsfs rw\n"
     "702 25 0:60 / /snap/foo/1 ro - fuse.snapfuse snapfuse ro\n"
     "703 25 8:2 /var/snap/lxd/common/lxd /var/lib/lxd rw - ext4 /dev/sda2 rw\n"
     "704 25 7:3 / /media/me/disk-image rw - ext4 /dev/loop3 rw\n",
     {},
     {"/", "/boot/efi"}},
    {"container: overlay root, volumes and single files from the host disk",
     "600 550 0:50 / / rw,relatime - overlay overlay rw,lowerdir=/var/lib/docker/overlay2/l/AB,upperdir=/u,workdir=/w\n"
     "601 600 0:53 / /proc rw,nosuid - proc proc rw\n"
     "602 600 0:54 / /dev rw,nosuid - tmpfs tmpfs rw\n"
     "610 600 8:1 /var/lib/docker/volumes/data/_data /data rw,relatime - ext4 /dev/sda1 rw\n"
     "611 600 8:1 /var/lib/docker/containers/abc/resolv.conf /etc/resolv.conf rw - ext4 /dev/sda1 rw\n"
     "612 600 8:1 /var/lib/docker/containers/abc/hostname /etc/hostname rw - ext4 /dev/sda1 rw\n"
     "613 600 8:1 /home/me/src /src rw - ext4 /dev/sda1 rw\n"
     "614 600 8:1 /home/me/src/lib /src/lib rw - ext4 /dev/sda1 rw\n",
     {"/etc/resolv.conf", "/etc/hostname"},
     {"/data", "/src", "/src/lib"}},  // a walk of /src stops at the mount on /src/lib
};

}  // namespace

TEST(MountTable, EveryLocalFileSystemOnceInTableOrder) {
  for (const auto& s : kSamples) {
    const auto mounts = ParseMountInfo(s.Table);
    const auto isDir = [&](const std::string& p) {
      return std::find(s.NotFolders.begin(), s.NotFolders.end(), p) == s.NotFolders.end();
    };
    EXPECT_EQ(DrivesFromMounts(mounts, isDir), s.Drives) << s.Name;
  }
}

TEST(MountTable, FieldsAreDecodedAndAnEmptySourceKeepsItsPlace) {
  const auto mounts = ParseMountInfo(
      "36 35 98:0 /mnt\\0401 /mnt/my\\040disk\\011tab\\012nl\\134back rw,noatime master:1 - ext3 /dev/root "
      "rw,errors=continue\n"
      "40 36 0:50 / /x rw - tmpfs  rw,size=4k\n"  // mounted with an empty source
      "no mount here\n"
      "41 36 8:1 / /y rw - ext4\n"
      "42 36 8:1 / /tail\\04 rw shared:3 - ext4 /dev/sda1 rw");
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[0].Id, 36);
  EXPECT_EQ(mounts[0].ParentId, 35);
  EXPECT_EQ(mounts[0].Device, "98:0");
  EXPECT_EQ(mounts[0].Root, "/mnt 1");
  EXPECT_EQ(mounts[0].MountPoint, "/mnt/my disk\ttab\nnl\\back");
  EXPECT_EQ(mounts[0].FsType, "ext3");
  EXPECT_EQ(mounts[0].Source, "/dev/root");
  EXPECT_EQ(mounts[0].SuperOptions, "rw,errors=continue");
  EXPECT_EQ(mounts[1].Source, "");
  EXPECT_EQ(mounts[1].SuperOptions, "rw,size=4k");
  EXPECT_EQ(mounts[2].MountPoint, "/tail\\04");  // an escape cut short stays as it is
  EXPECT_EQ(mounts[2].Source, "/dev/sda1");
}
