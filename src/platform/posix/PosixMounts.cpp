#include "PosixMounts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "../Platform.h"
#include "MountTable.h"

namespace vd::platform::posix {

std::function<std::vector<std::string>()>& KnownMountPoints() {
  static std::function<std::vector<std::string>()> source = [] {
    std::vector<std::string> out;
    for (auto& m : ReadMountTable()) out.push_back(std::move(m.MountPoint));
    return out;
  };
  return source;
}

bool SplitItemPath(const std::string& rawPath, std::string& parent, std::string& name) {
  const std::string path = RemoveTrailingSeparator(rawPath);
  if (path.empty() || path == "/") return false;
  const size_t slash = path.rfind('/');
  parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  return !name.empty() && name != "." && name != "..";
}

std::string PathOfFolder(int fd) {
  char buf[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
  if (n <= 0 || size_t(n) >= sizeof buf || buf[0] != '/') return {};
  return std::string(buf, size_t(n));
}

bool IdentityOf(int dirFd, const char* name, TIdentity& out) {
  const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (*name ? 0 : AT_EMPTY_PATH);
  // Some kernels and container filters refuse statx: after the first refusal
  // every call takes fstatat, which cannot tell a bind mount on the same
  // device; the mount table still can.
  static std::atomic<bool> noStatx{false};
  if (!noStatx.load(std::memory_order_relaxed)) {
    struct statx stx;
    if (::statx(dirFd, name, flags, STATX_TYPE | STATX_INO | STATX_MNT_ID, &stx) == 0) {
      out.Device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
      out.Inode = stx.stx_ino;
      out.Mode = stx.stx_mode;
      out.Mount = (stx.stx_mask & STATX_MNT_ID) ? stx.stx_mnt_id : 0;
      out.MountRoot = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
      return true;
    }
    if (errno != ENOSYS && errno != EPERM) return false;
    noStatx.store(true, std::memory_order_relaxed);
  }
  struct stat st;
  if (::fstatat(dirFd, name, &st, flags) != 0) return false;
  out = {st.st_dev, st.st_ino, st.st_mode, 0, false};
  return true;
}

bool ListFolder(int fd, const std::function<bool(const char* name, unsigned char type)>& each) {
  // A handle of its own, so the listing's position is not shared with `fd`.
  const int own = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (own < 0) return false;
  DIR* d = ::fdopendir(own);
  if (!d) {
    ::close(own);
    return false;
  }
  bool ok = true;
  errno = 0;
  while (dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
    if (!each(n, e->d_type)) {
      ok = false;
      break;
    }
    errno = 0;
  }
  if (ok && errno != 0) ok = false;  // the listing broke off
  ::closedir(d);
  return ok;
}

bool WalkFolders(int parentFd, const std::string& name,
                 const std::function<bool(int fd, std::vector<std::string>& subfolders)>& enter,
                 const std::function<bool(int parentFd, const std::string& name)>& leave) {
  TIdentity parent;
  if (!IdentityOf(parentFd, "", parent)) return false;
  struct TLevel {
    std::string Name;
    dev_t Device;
    ino_t Inode;
    std::vector<std::string> Todo;  // sub-folders not walked yet
  };
  std::vector<TLevel> levels;
  int fd = -1;  // the folder of levels.back()

  // Opens `n` in `from` and makes it the current folder, unless it is a link,
  // a mount or was swapped between the look and the open.
  auto descend = [&](int from, const std::string& n) {
    TIdentity seen, opened;
    if (!IdentityOf(from, n.c_str(), seen) || !S_ISDIR(seen.Mode) || seen.Device != parent.Device || seen.MountRoot)
      return false;
    const int child = ::openat(from, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) return false;
    if (!IdentityOf(child, "", opened) || opened.Device != seen.Device || opened.Inode != seen.Inode ||
        opened.MountRoot) {
      ::close(child);
      return false;
    }
    levels.push_back({n, opened.Device, opened.Inode, {}});
    if (fd >= 0) ::close(fd);
    fd = child;
    return enter(fd, levels.back().Todo);
  };

  bool ok = descend(parentFd, name);
  while (ok && !levels.empty()) {
    TLevel& top = levels.back();
    if (!top.Todo.empty()) {
      const std::string next = std::move(top.Todo.back());
      top.Todo.pop_back();
      ok = descend(fd, next);
      continue;
    }
    int up = parentFd;
    if (levels.size() > 1) {
      const TLevel& above = levels[levels.size() - 2];
      TIdentity id;
      up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (up < 0 || !IdentityOf(up, "", id) || id.Device != above.Device || id.Inode != above.Inode) {
        if (up >= 0) ::close(up);
        ok = false;  // moved while we were inside: where ".." leads is not where we came from
        break;
      }
    }
    ::close(fd);
    fd = up == parentFd ? -1 : up;
    const std::string done = std::move(top.Name);
    levels.pop_back();
    ok = leave(up, done);
  }
  if (fd >= 0) ::close(fd);
  return ok;
}

bool HoldsMountPoint(int parentFd, const std::string& name) {
  TIdentity parent, item;
  if (!IdentityOf(parentFd, "", parent) || !IdentityOf(parentFd, name.c_str(), item)) return true;
  if (item.Device != parent.Device || item.MountRoot) return true;
  const std::string folder = PathOfFolder(parentFd);
  if (!folder.empty()) {
    const std::string path = JoinPath(folder, name);
    for (const auto& mp : KnownMountPoints()())
      if (PathWithin(mp, path)) return true;
  }
  if (!S_ISDIR(item.Mode)) return false;
  // Every folder below is entered once; the walk itself refuses another device
  // or a mount root, so reaching the end means there is none.
  const bool walked = WalkFolders(
      parentFd, name,
      [](int fd, std::vector<std::string>& subfolders) {
        return ListFolder(fd, [&](const char* n, unsigned char type) {
          if (type == DT_DIR) {
            subfolders.emplace_back(n);
          } else if (type == DT_UNKNOWN) {
            TIdentity id;
            if (!IdentityOf(fd, n, id)) return errno == ENOENT;  // vanished meanwhile
            if (S_ISDIR(id.Mode)) subfolders.emplace_back(n);
          }
          return true;
        });
      },
      [](int, const std::string&) { return true; });
  return !walked;
}

}  // namespace vd::platform::posix
