// The POSIX platform layer: paths, case mapping, time, mount table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "TestUtil.h"
#include "platform/Platform.h"
#include "platform/posix/MountTable.h"

using namespace vd::platform;

TEST(Paths, JoinAndTrailingSeparator) {
  EXPECT_EQ(RemoveTrailingSeparator("/"), "/");
  EXPECT_EQ(RemoveTrailingSeparator("/home/"), "/home");
  EXPECT_EQ(RemoveTrailingSeparator("/home//"), "/home/");  // one separator only
  EXPECT_EQ(RemoveTrailingSeparator(""), "");
  EXPECT_EQ(JoinPath("/", "usr"), "/usr");
  EXPECT_EQ(JoinPath("/usr", "lib"), "/usr/lib");
  EXPECT_EQ(PathKey("/Home/A.txt"), "/Home/A.txt");  // case-sensitive file system
}

TEST(CaseMapping, UnicodeSimpleMappingAndRawBytes) {
  const struct {
    std::string in, upper, lower;
  } cases[] = {
      {"abc.TXT", "ABC.TXT", "abc.txt"},
      {"straße", "STRAßE", "straße"},  // simple mapping: ß has no single upper case
      {"éàü", "ÉÀÜ", "éàü"},
      {"ΑΒΓ", "ΑΒΓ", "αβγ"},
      {"Жук", "ЖУК", "жук"},
      {std::string("a\xff\xfe") + "b", std::string("A\xff\xfe") + "B", std::string("a\xff\xfe") + "b"},
      {std::string("\xc3"), std::string("\xc3"), std::string("\xc3")},  // truncated sequence stays
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUpperLocale(c.in), c.upper) << c.in;
    EXPECT_EQ(ToLowerLocale(c.in), c.lower) << c.in;
  }
}

TEST(Time, TickCountMovesForward) {
  const uint32_t a = GetTickCount();
  const timespec ts{0, 30 * 1000 * 1000};
  nanosleep(&ts, nullptr);
  const uint32_t b = GetTickCount();
  EXPECT_GE(uint32_t(b - a), 20u);
  EXPECT_LT(uint32_t(b - a), 5000u);
}

TEST(Time, FileTimeToLocalFields) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "UTC0", 1);
  tzset();
  vd::TSystemTime st;
  // 2000-01-01 00:00:00.250 UTC
  const uint64_t ticks = (946684800ULL + 11644473600ULL) * 10000000ULL + 2500000ULL;
  ASSERT_TRUE(FileTimeToLocalSystemTime(vd::TFileTime::FromTicks(ticks), st));
  EXPECT_EQ(st.Year, 2000);
  EXPECT_EQ(st.Month, 1);
  EXPECT_EQ(st.Day, 1);
  EXPECT_EQ(st.Hour, 0);
  EXPECT_EQ(st.Milliseconds, 250);
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);  // summer time follows the file's date
  tzset();
  ASSERT_TRUE(FileTimeToLocalSystemTime(vd::TFileTime::FromTicks(ticks), st));
  EXPECT_EQ(st.Hour, 1);
  const uint64_t july = (962409600ULL + 11644473600ULL) * 10000000ULL;  // 2000-07-01 00:00 UTC
  ASSERT_TRUE(FileTimeToLocalSystemTime(vd::TFileTime::FromTicks(july), st));
  EXPECT_EQ(st.Hour, 2);
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(Listing, EntriesAndKinds) {
  vdtest::TempDir t;
  t.File("f", 12, 1600000000, 500);
  t.Dir("d");
  TDirReader r;
  ASSERT_TRUE(r.OpenPath(t.Path()));
  TDirEntry e;
  int files = 0, dirs = 0;
  while (r.Next(e)) {
    if (e.Kind == TEntryKind::File) {
      ++files;
      EXPECT_EQ(std::string(e.Name), "f");
      EXPECT_EQ(e.Size, 12);
      EXPECT_EQ(e.LastWrite.Ticks(), (1600000000ULL + 11644473600ULL) * 10000000ULL + 5);
    } else if (e.Kind == TEntryKind::Folder) {
      ++dirs;
      TDirReader child;
      EXPECT_TRUE(child.OpenChild(r, e.Name));
    }
  }
  EXPECT_EQ(files, 1);
  EXPECT_EQ(dirs, 1);
  TDirReader missing;
  EXPECT_FALSE(missing.OpenPath(t.Path() + "/nope"));
  EXPECT_FALSE(missing.Next(e));
}

TEST(Drives, DiskSpaceAndFolders) {
  EXPECT_GT(GetUsedBytes("/"), 0);
  EXPECT_EQ(GetUsedBytes("/nonexistent/vorndale"), 0);
  EXPECT_TRUE(DirectoryExists("/"));
  EXPECT_FALSE(DirectoryExists("/etc/passwd"));
  EXPECT_FALSE(DirectoryExists(""));
  EXPECT_FALSE(GetTempFolder().empty());
}

TEST(MountTable, LocalDisksOnlyOnePerDevice) {
  const char* table =
      "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
      "23 27 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
      "27 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
      "28 27 0:6 / /dev rw - devtmpfs devtmpfs rw\n"
      "29 27 0:30 / /run rw - tmpfs tmpfs rw\n"
      "30 27 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
      "31 27 8:2 /home /home rw - ext4 /dev/sda2 rw\n"
      "32 27 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
      "33 27 0:40 / /mnt/nas rw - nfs4 server:/export rw\n"
      "34 27 8:17 / /media/usb\\040stick rw - exfat /dev/sdb1 rw\n"
      "35 27 0:41 / /var/lib/docker/overlay rw - overlay overlay rw\n"
      "36 27 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
      "37 27 0:42 / /pool rw - zfs tank/data rw\n"
      "38 27 8:3 / /gone rw - ext4 /dev/sda3 rw\n"
      "39 27 0:33 / /data rw - btrfs /dev/nvme0n1p3 rw\n"
      "40 27 0:33 / /data/snap rw - btrfs /dev/nvme0n1p3 rw\n";
  const auto mounts = ParseMountInfo(table);
  ASSERT_EQ(mounts.size(), 16u);
  EXPECT_EQ(mounts[9].MountPoint, "/media/usb stick");
  const auto drives = DrivesFromMounts(mounts, [](const std::string& p) { return p != "/gone"; });
  // /home mounts a folder of / over its own place: a walk of / stops there, so it is a drive of its own.
  EXPECT_EQ(drives, (std::vector<std::string>{"/", "/boot/efi", "/home", "/media/usb stick", "/pool", "/data"}));
}

TEST(MountTable, ThisMachineHasADrive) {
  const auto drives = GetDrives();
  ASSERT_FALSE(drives.empty());
  for (const auto& d : drives) EXPECT_TRUE(DirectoryExists(d)) << d;
}
