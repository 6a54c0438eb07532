// Looking at one path without following it, and the machine's name.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "../Platform.h"

namespace vd::platform {

bool IsPlainAbsolutePath(std::string_view path) {
  if (path.empty() || path[0] != '/') return false;
  size_t start = 1;
  while (start < path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part == "." || part == "..") return false;
    if (part.empty()) return false;  // "//"
    start = end + 1;
  }
  return true;
}

TPathInfo InspectPathNoFollow(const std::string& path) {
  TPathInfo info;
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return info;
  info.Device = uint64_t(st.st_dev);
  if (S_ISREG(st.st_mode)) {
    info.Kind = TPathKind::File;
    info.Size = int64_t(st.st_size);
  } else if (S_ISDIR(st.st_mode)) {
    info.Kind = TPathKind::Folder;
  } else if (S_ISLNK(st.st_mode)) {
    info.Kind = TPathKind::Link;
  } else {
    info.Kind = TPathKind::Other;
  }
  return info;
}

bool IsMountPoint(const std::string& path) {
  const std::string p = RemoveTrailingSeparator(path);
  const size_t cut = p.rfind('/');
  if (p == "/" || cut == std::string::npos) return false;
  const TPathInfo self = InspectPathNoFollow(p);
  if (self.Kind != TPathKind::Folder) return false;
  struct stat parent;
  if (::lstat(cut == 0 ? "/" : p.substr(0, cut).c_str(), &parent) != 0) return false;
  return uint64_t(parent.st_dev) != self.Device;
}

std::string HostName() {
  char buf[HOST_NAME_MAX + 1] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0) return {};
  return buf;
}

}  // namespace vd::platform
