// What deleting and trashing must know about mounts: where they are, whether
// an item is one or holds one, and a walk of a folder tree that never leaves
// its file system.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vd::platform::posix {

// The mount points of the system, from its mount table. Tests replace it to
// make any folder count as a mount point.
std::function<std::vector<std::string>()>& KnownMountPoints();

// The folder that holds the item `path` and the item's name in it. False for
// what is never removed or moved as an item: "", "/", "." and "..".
bool SplitItemPath(const std::string& path, std::string& parent, std::string& name);

// The absolute path, links resolved, of an open folder; empty when unknown.
std::string PathOfFolder(int fd);

// Who a file system object is. `Mount` is the kernel's mount id (0 when the
// kernel does not say); `MountRoot` is true for the top folder of any mount,
// a bind mount on the same device included, where the kernel can tell.
struct TIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  mode_t Mode = 0;
  uint64_t Mount = 0;
  bool MountRoot = false;
};
// Of `name` in `dirFd` without following a link, or of `dirFd` itself when
// `name` is empty. False when it cannot be read.
bool IdentityOf(int dirFd, const char* name, TIdentity& out);

// Walks the folder `name` of the open folder `parentFd` depth-first, without
// recursion and with one folder open at a time, so any depth is fine. Every
// folder is entered without following links, and must be on the device of
// `parentFd` and no mount root: otherwise the walk stops with false.
// - enter(fd, subfolders): the folder is open; the callee lists it and puts
//   the names of the sub-folders to walk into `subfolders`. False stops.
// - leave(parentFd, name): all below the folder is done; its parent is open.
//   Called for the top folder too. False stops.
// Going back up goes through "..", checked against the folder the walk came
// from, so a tree moved while it is walked stops the walk.
bool WalkFolders(int parentFd, const std::string& name,
                 const std::function<bool(int fd, std::vector<std::string>& subfolders)>& enter,
                 const std::function<bool(int parentFd, const std::string& name)>& leave);

// Calls `each(name, type)` for every entry of the open folder `fd` but "." and
// "..", with the dirent type (DT_UNKNOWN where the file system does not say).
// False when the folder cannot be read or `each` returns false.
bool ListFolder(int fd, const std::function<bool(const char* name, unsigned char type)>& each);

// True when the item `name` of the open folder `parentFd` is a mount point or
// holds one anywhere below it: known to the mount table, on another device
// than its parent, or the root of a mount. Also true when that cannot be
// established (an unreadable folder): such an item is left alone.
bool HoldsMountPoint(int parentFd, const std::string& name);

}  // namespace vd::platform::posix
