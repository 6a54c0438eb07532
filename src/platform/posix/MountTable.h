// Parsing of the kernel's mount table into the list of local drives.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vd::platform {

struct TMountEntry {
  std::string MountPoint;
  std::string FsType;
  std::string Source;
};

// Parses /proc/self/mountinfo text (octal escapes such as \040 decoded).
std::vector<TMountEntry> ParseMountInfo(std::string_view text);

// True for file systems that live on a local disk or stick (not pseudo, network
// or loop-mounted image file systems).
bool IsLocalDiskMount(const TMountEntry& m);

// Mount points of local disks in table order, one per device (its shortest
// mount path), keeping only those `isDir` accepts.
std::vector<std::string> DrivesFromMounts(const std::vector<TMountEntry>& mounts,
                                          const std::function<bool(const std::string&)>& isDir);

}  // namespace vd::platform
