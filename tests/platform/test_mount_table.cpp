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
  std::vector<std::string> NeverProbed = {};  // folders of network shares: not even a stat() below them
};

const TSample kSamples[] = {
    {"btrfs Fedora: / and /home are subvolumes of one device",
     "22 59 0:21 / /proc rw,nosuid - proc proc rw\n"
     "59 1 0:30 /root / rw,relatime shared:1 - btrfs /dev/nvme0n1p3 rw,compress=zstd:1,subvolid=257,subvol=/root\n"
     "24 59 0:22 / /sys rw - sysfs sysfs rw\n"
     "62 59 259:2 / /boot rw,relatime shared:30 - ext4 /dev/nvme0n1p2 rw\n"
     "64 62 259:1 / /boot/efi rw,relatime shared:31 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
     "65 59 0:30 /home /home rw,relatime shared:32 - btrfs /dev/nvme0n1p3 "
     "rw,compress=zstd:1,subvolid=256,subvol=/home\n"
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
    {"a bind mount beside the whole: only walks of drives kept count",
     "27 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
     "40 27 8:17 / /data rw - ext4 /dev/sdb1 rw\n"
     "41 40 0:60 / /data/x/y rw - tmpfs tmpfs rw\n"     // the walk of /data stops here
     "42 27 8:17 /x /bx rw - ext4 /dev/sdb1 rw\n"       // walked in /data
     "43 27 8:17 /x/y/z /cz rw - ext4 /dev/sdb1 rw\n",  // walked in /bx, which is not kept
     {},
     {"/", "/data", "/cz"}},
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
     "614 613 8:1 /home/me/src/lib /src/lib rw - ext4 /dev/sda1 rw\n",
     {"/etc/resolv.conf", "/etc/hostname"},
     {"/data", "/src", "/src/lib"}},  // a walk of /src stops at the mount on /src/lib
    {"btrfs Fedora with the top-level subvolume mounted too",
     "61 1 0:32 /root / rw,relatime shared:1 - btrfs /dev/nvme0n1p3 "
     "rw,seclabel,compress=zstd:1,ssd,discard=async,space_cache=v2,subvolid=257,subvol=/root\n"
     "22 61 0:5 / /dev rw,nosuid shared:2 - devtmpfs devtmpfs rw,seclabel,size=4096k,mode=755,inode64\n"
     "23 61 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
     "98 61 259:2 / /boot rw,relatime shared:48 - ext4 /dev/nvme0n1p2 rw,seclabel\n"
     "99 98 259:1 / /boot/efi rw,relatime shared:50 - vfat /dev/nvme0n1p1 rw,fmask=0077,dmask=0077\n"
     "100 61 0:32 /home /home rw,relatime shared:52 - btrfs /dev/nvme0n1p3 "
     "rw,seclabel,compress=zstd:1,ssd,discard=async,space_cache=v2,subvolid=256,subvol=/home\n"
     "120 61 0:38 / /tmp rw,nosuid,nodev shared:54 - tmpfs tmpfs rw,seclabel,nr_inodes=1048576,inode64\n"
     "500 61 0:32 / /mnt/pool rw,relatime shared:300 - btrfs /dev/nvme0n1p3 "
     "rw,seclabel,compress=zstd:1,ssd,discard=async,space_cache=v2,subvolid=5,subvol=/\n"
     "510 61 0:32 /home/me/vm /var/lib/libvirt/images rw,relatime shared:52 - btrfs /dev/nvme0n1p3 "
     "rw,seclabel,compress=zstd:1,ssd,discard=async,space_cache=v2,subvolid=256,subvol=/home\n",
     {},
     {"/", "/boot", "/boot/efi", "/home", "/mnt/pool"}},  // the folder of /home mounted elsewhere is walked in /home
    {"btrfs openSUSE: the root is a snapshot inside the subvolume mounted at /.snapshots",
     "64 1 0:31 /@/.snapshots/1/snapshot / rw,relatime shared:1 - btrfs /dev/vda2 "
     "rw,space_cache=v2,subvolid=268,subvol=/@/.snapshots/1/snapshot\n"
     "65 64 0:5 / /dev rw,nosuid shared:2 - devtmpfs devtmpfs rw,size=4096k,mode=755\n"
     "90 64 0:31 /@/.snapshots /.snapshots rw,relatime shared:58 - btrfs /dev/vda2 "
     "rw,space_cache=v2,subvolid=267,subvol=/@/.snapshots\n"
     "91 64 0:31 /@/boot/grub2/x86_64-efi /boot/grub2/x86_64-efi rw,relatime shared:60 - btrfs /dev/vda2 "
     "rw,space_cache=v2,subvolid=264,subvol=/@/boot/grub2/x86_64-efi\n"
     "92 64 0:31 /@/home /home rw,relatime shared:62 - btrfs /dev/vda2 rw,space_cache=v2,subvolid=263,subvol=/@/home\n"
     "93 64 0:31 /@/opt /opt rw,relatime shared:64 - btrfs /dev/vda2 rw,space_cache=v2,subvolid=262,subvol=/@/opt\n"
     "94 64 0:31 /@/root /root rw,relatime shared:66 - btrfs /dev/vda2 rw,space_cache=v2,subvolid=261,subvol=/@/root\n"
     "95 64 0:31 /@/srv /srv rw,relatime shared:68 - btrfs /dev/vda2 rw,space_cache=v2,subvolid=260,subvol=/@/srv\n"
     "96 64 0:31 /@/usr/local /usr/local rw,relatime shared:70 - btrfs /dev/vda2 "
     "rw,space_cache=v2,subvolid=259,subvol=/@/usr/local\n"
     "97 64 0:31 /@/var /var rw,relatime shared:72 - btrfs /dev/vda2 rw,space_cache=v2,subvolid=258,subvol=/@/var\n"
     "98 64 254:1 / /boot/efi rw,relatime shared:74 - vfat /dev/vda1 rw,fmask=0022,dmask=0022\n"
     "99 97 0:45 / /var/lib/nfs/rpc_pipefs rw,relatime shared:76 - rpc_pipefs sunrpc rw\n",
     {},
     {"/", "/.snapshots", "/boot/grub2/x86_64-efi", "/home", "/opt", "/root", "/srv", "/usr/local", "/var",
      "/boot/efi"}},
    {"btrfs Ubuntu while Timeshift has the top-level subvolume mounted",
     "28 1 8:2 /@ / rw,relatime shared:1 - btrfs /dev/sda2 rw,ssd,space_cache=v2,subvolid=256,subvol=/@\n"
     "31 28 8:2 /@home /home rw,relatime shared:30 - btrfs /dev/sda2 rw,ssd,space_cache=v2,subvolid=257,subvol=/@home\n"
     "32 28 8:1 / /boot/efi rw,relatime shared:32 - vfat /dev/sda1 rw,fmask=0077,dmask=0077\n"
     "26 28 0:25 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,size=1634300k,mode=755,inode64\n"
     "815 26 8:2 / /run/timeshift/4242/backup rw,relatime shared:420 - btrfs /dev/sda2 "
     "rw,ssd,space_cache=v2,subvolid=5,subvol=/\n"
     "816 26 8:2 /@ /run/timeshift/4242/root rw,relatime shared:421 - btrfs /dev/sda2 "
     "rw,ssd,space_cache=v2,subvolid=256,subvol=/@\n",
     {},
     {"/", "/home", "/boot/efi", "/run/timeshift/4242/backup"}},
    {"stacked mounts: the top one of each mount point, nothing from under a later mount",
     "27 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
     "40 27 8:17 / /data rw - ext4 /dev/sdb1 rw\n"
     "45 40 8:33 / /data rw - ext4 /dev/sdc1 rw\n"
     "46 45 8:33 / /data rw - ext4 /dev/sdc1 rw\n"  // the same disk mounted twice over itself
     "50 27 8:49 / /mnt/a/b rw - ext4 /dev/sdd1 rw\n"
     "51 27 8:65 / /mnt/a rw - ext4 /dev/sde1 rw\n"  // hides /mnt/a/b: that path now leads into sde1
     "60 27 0:50 / /efi rw,relatime - autofs systemd-1 rw,fd=41,pgrp=1,timeout=120,minproto=5,maxproto=5,direct\n"
     "61 60 259:1 / /efi rw,relatime - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
     "70 27 8:81 / /scratch rw - ext4 /dev/sdf1 rw\n"
     "71 70 0:60 / /scratch rw - tmpfs tmpfs rw,size=1g\n"  // a walk of /scratch would list the tmpfs
     "90 91 8:97 / /srv rw - ext4 /dev/sdg1 rw\n"           // listed before the mount it covers
     "91 27 8:113 / /srv rw - ext4 /dev/sdh1 rw\n"
     "92 90 8:129 / /srv/x rw - ext4 /dev/sdi1 rw\n"
     "93 91 8:145 / /srv/y rw - ext4 /dev/sdj1 rw\n",  // on the lower /srv, out of reach
     {},
     {"/", "/data", "/mnt/a", "/efi", "/srv", "/srv/x"}},
    {"Docker host: overlays, network name spaces and kubelet volumes",
     "29 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
     "30 29 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=8110112k,nr_inodes=2027528,mode=755\n"
     "40 29 8:17 / /var/lib/docker rw,relatime shared:20 - ext4 /dev/sdb1 rw\n"
     "1100 40 0:120 / /var/lib/docker/overlay2/9f1c0e/merged rw,relatime shared:600 - overlay overlay "
     "rw,lowerdir=/var/lib/docker/overlay2/l/ABC:/var/lib/docker/overlay2/l/DEF,"
     "upperdir=/var/lib/docker/overlay2/9f1c0e/diff,workdir=/var/lib/docker/overlay2/9f1c0e/work\n"
     "1140 40 0:121 / /var/lib/docker/containers/9f1c0e/mounts/shm rw,nosuid,nodev,noexec,relatime shared:620 - "
     "tmpfs shm rw,size=65536k,inode64\n"
     "1150 31 0:4 net:[4026532700] /run/docker/netns/6c1d2f rw shared:610 - nsfs nsfs rw\n"
     "1160 29 0:122 / /run/containerd/io.containerd.runtime.v2.task/k8s.io/77aa/rootfs rw,relatime shared:630 - "
     "overlay overlay rw,lowerdir=/var/lib/containerd/l/1,upperdir=/var/lib/containerd/s/9/fs,workdir=/w\n"
     "1170 29 8:1 /var/lib/kubelet/pods/5e/volumes/kubernetes.io~empty-dir/cache "
     "/var/lib/kubelet/pods/5e/volume-subpaths/cache/app/0 rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
     "1171 29 0:123 / /var/lib/kubelet/pods/5e/volumes/kubernetes.io~projected/kube-api-access-x rw,relatime "
     "shared:640 - tmpfs tmpfs rw,size=15928120k\n",
     {},
     {"/", "/var/lib/docker"}},
    {"dead NFS share, a disk mounted below it, and other network file systems",
     "27 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
     "33 27 0:40 / /mnt/nas rw,relatime shared:80 - nfs4 nas.lan:/export "
     "rw,vers=4.2,rsize=1048576,wsize=1048576,namlen=255,hard,proto=tcp,timeo=600,retrans=2,sec=sys\n"
     "34 33 8:17 / /mnt/nas/usb rw,relatime shared:81 - ext4 /dev/sdb1 rw\n"
     "35 27 0:41 / /home/me/share rw,relatime shared:82 - cifs //srv/share rw,vers=3.1.1,cache=strict\n"
     "36 35 8:33 / /home/me/share/stick rw,relatime shared:83 - vfat /dev/sdc1 rw\n"
     "37 27 0:42 / /mnt/remote rw,nosuid,nodev,relatime shared:84 - fuse.sshfs me@host:/ rw,user_id=1000\n"
     "38 27 0:43 / /net rw,relatime shared:85 - autofs /etc/auto.net rw,fd=7,pgrp=900,timeout=300,indirect\n"
     "39 38 0:44 / /net/fs1/export rw,relatime shared:86 - nfs fs1:/export rw,vers=3,hard\n"
     "41 27 8:49 / /media/backup rw,relatime shared:87 - ext4 /dev/sdd1 rw\n",
     {},
     {"/", "/media/backup"},
     {"/mnt/nas", "/home/me/share", "/mnt/remote", "/net/fs1"}},
};

}  // namespace

TEST(MountTable, EveryLocalFileSystemOnceInTableOrder) {
  for (const auto& s : kSamples) {
    const auto mounts = ParseMountInfo(s.Table);
    std::vector<std::string> probed;
    const auto isDir = [&](const std::string& p) {
      probed.push_back(p);
      return std::find(s.NotFolders.begin(), s.NotFolders.end(), p) == s.NotFolders.end();
    };
    EXPECT_EQ(DrivesFromMounts(mounts, isDir), s.Drives) << s.Name;
    for (const auto& p : probed)
      for (const auto& share : s.NeverProbed) EXPECT_FALSE(PathWithin(p, share)) << s.Name << ": " << p;
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

// A node of a cluster holds tens of thousands of bind mounts of one disk, and
// the table is not ours: a pass over it may not compare every mount with
// every other, nor follow parents by recursion.
TEST(MountTable, HugeTablesAndBrokenParentsAreReadInOnePass) {
  constexpr int kBinds = 25000, kStack = 25000;
  std::string table = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n";
  for (int i = 0; i < kBinds; ++i) {
    const std::string pod = "/var/lib/kubelet/pods/p" + std::to_string(i);
    table +=
        std::to_string(10 + i) + " 1 8:1 " + pod + "/volumes/v " + pod + "/volume-subpaths/v rw - ext4 /dev/sda1 rw\n";
  }
  for (int i = 0; i < kStack; ++i)  // each mounted over the one before
    table += std::to_string(100000 + i) + " " + std::to_string(i == 0 ? 1 : 100000 + i - 1) +
             " 8:17 / /stack rw - ext4 /dev/sdb1 rw\n";
  table += "7 8 8:33 / /c1 rw - ext4 /dev/sdc1 rw\n";  // parents in a ring: reachable from nowhere
  table += "8 7 8:49 / /c1/c2 rw - ext4 /dev/sdd1 rw\n";
  std::string deep;
  for (int i = 0; i < 2000; ++i) deep += "/d";
  table += "9 1 8:65 / " + deep + " rw - ext4 /dev/sde1 rw\n";
  const auto mounts = ParseMountInfo(table);
  ASSERT_EQ(mounts.size(), size_t(kBinds + kStack + 4));
  size_t probes = 0;
  const auto drives = DrivesFromMounts(mounts, [&](const std::string&) { return ++probes, true; });
  EXPECT_EQ(drives, (std::vector<std::string>{"/", "/stack", deep}));
  EXPECT_LE(probes, mounts.size());
}
