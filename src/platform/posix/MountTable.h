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
// True for file systems whose folders live on another machine: looking one up
// may wait as long as the server is gone.
bool IsNetworkMount(const TMountEntry& m);

// True when `path` is `folder` or lies below it (both absolute, no trailing
// separator except the root "/").
bool PathWithin(std::string_view path, std::string_view folder);

// Mount points of local disks in table order, each once, keeping only those
// `isDir` accepts. Decided from the table alone, in time linear in its size:
// - Only a mount that its own path leads to counts: the top one of those
//   stacked on one mount point (the one no other mount there sits on), and
//   none that a later mount over a folder above it hides.
// - `isDir` is never asked about a path that leads through a network share,
//   so a dead server cannot stop the list, and such a disk is left out.
// - A mount is left out when the walk of another drive kept reaches the same
//   folders: the same file system (for btrfs the same subvolume, since a walk
//   never crosses into another one), a root containing this one's root, and no
//   mount on the kept drive covering the way there (the walk stops at mount
//   points). Subvolumes, and folders mounted over their own place, are drives
//   of their own.
std::vector<std::string> DrivesFromMounts(const std::vector<TMountEntry>& mounts,
                                          const std::function<bool(const std::string&)>& isDir);

}  // namespace vd::platform
