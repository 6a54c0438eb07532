// Permanent deletion that never leaves the folder being removed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../Platform.h"

namespace vd::platform {

namespace {

// Removes `name` inside the folder `dirFd`. Folders are opened with O_NOFOLLOW
// relative to their parent's handle, so a link swapped in cannot redirect us.
bool RemoveAt(int dirFd, const char* name, dev_t device) {
  struct stat st;
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return ::unlinkat(dirFd, name, 0) == 0;
  if (st.st_dev != device) return false;  // a mount point: not ours to empty
  const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return false;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  bool ok = true;
  for (const auto& n : names)
    if (!RemoveAt(fd, n.c_str(), device)) {
      ok = false;
      break;  // stop at the first refusal: remove nothing further
    }
  ::closedir(d);
  return ok && ::unlinkat(dirFd, name, AT_REMOVEDIR) == 0;
}

}  // namespace

bool PathExistsNoFollow(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool DeleteTreeNoFollow(const std::string& rawPath) {
  const std::string path = RemoveTrailingSeparator(rawPath);
  if (path.empty() || path == "/") return false;
  const size_t slash = path.rfind('/');
  const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return false;
  const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parentFd < 0) return false;
  struct stat st;
  bool ok = false;
  if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) ok = RemoveAt(parentFd, name.c_str(), st.st_dev);
  ::close(parentFd);
  return ok;
}

}  // namespace vd::platform
