// Parsing of the kernel's mount table into the list of local drives.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vd::platform {

struct TMountEntry {
  int Id = 0;          // the kernel's mount id (statx reports the same number)
  int ParentId = 0;    // the mount this one sits on: the one below at the same point when stacked
  std::string Device;  // "major:minor" of the file system (one for all subvolumes of a btrfs)
  std::string Root;    // the folder of the file system that is mounted ("/" for all of it)
  std::string MountPoint;
  std::string FsType;
  std::string Source;        // may be empty
  std::string SuperOptions;  // of the file system, as it shows them for this mount (btrfs: its subvolume)
};

// Parses /proc/self/mountinfo text (octal escapes such as \040 decoded), in
// one pass: lines that do not have the fields are left out.
std::vector<TMountEntry> ParseMountInfo(std::string_view text);
// The mount table of this process; empty when it cannot be read.
std::vector<TMountEntry> ReadMountTable();

// True for file systems that live on a local disk or stick (not pseudo, network
// or loop-mounted image file systems).
bool IsLocalDiskMount(const TMountEntry& m);

// True when `path` is `folder` or lies below it (both absolute, no trailing
// separator except the root "/").
bool PathWithin(std::string_view path, std::string_view folder);

// Mount points of local disks in table order, keeping only those `isDir`
// accepts. A mount is left out only when a walk of a drive already chosen
// reaches the same folders: the same device, a root containing this one's
// root, and the place where that folder shows up under the chosen drive not
// hidden by another mount. Subvolumes (btrfs), with roots side by side, are
// separate drives.
std::vector<std::string> DrivesFromMounts(const std::vector<TMountEntry>& mounts,
                                          const std::function<bool(const std::string&)>& isDir);

}  // namespace vd::platform
