// Permanent deletion that never leaves the file system of what is deleted.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "../Platform.h"
#include "PosixMounts.h"

namespace vd::platform {

namespace {

// Empties the open folder `fd` of everything but its sub-folders, whose names
// go to `subfolders`. Names are listed first and removed afterwards, so the
// listing never sees its own removals.
bool RemoveAllButFolders(int fd, std::vector<std::string>& subfolders) {
  std::vector<std::string> others;
  const bool listed = posix::ListFolder(fd, [&](const char* n, unsigned char type) {
    if (type == DT_UNKNOWN) {
      posix::TIdentity id;
      if (!posix::IdentityOf(fd, n, id)) return errno == ENOENT;
      type = S_ISDIR(id.Mode) ? DT_DIR : DT_REG;
    }
    (type == DT_DIR ? subfolders : others).emplace_back(n);
    return true;
  });
  if (!listed) return false;
  for (const auto& n : others)
    if (::unlinkat(fd, n.c_str(), 0) != 0 && errno != ENOENT) return false;  // stop at the first refusal
  return true;
}

}  // namespace

bool PathExistsNoFollow(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool DeleteTreeNoFollow(const std::string& rawPath) {
  std::string parent, name;
  if (!posix::SplitItemPath(rawPath, parent, name)) return false;
  const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parentFd < 0) return false;
  bool ok = false;
  posix::TIdentity item;
  // A mount point, or a folder with one anywhere below it, is refused whole
  // before anything is removed: emptying it would empty the mounted volume.
  if (posix::IdentityOf(parentFd, name.c_str(), item) && !posix::HoldsMountPoint(parentFd, name)) {
    if (!S_ISDIR(item.Mode))
      ok = ::unlinkat(parentFd, name.c_str(), 0) == 0;
    else
      ok = posix::WalkFolders(parentFd, name, &RemoveAllButFolders, [](int dirFd, const std::string& n) {
        return ::unlinkat(dirFd, n.c_str(), AT_REMOVEDIR) == 0;
      });
  }
  ::close(parentFd);
  return ok;
}

}  // namespace vd::platform
