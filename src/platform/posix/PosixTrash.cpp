// The freedesktop trash, on raw bytes: what we trash is listed, restored and
// emptied by every desktop's file manager, whatever its name's encoding.
//
// Where an item goes: the home trash ($XDG_DATA_HOME/Trash) when it is on the
// file system of the home trash; otherwise the trash at the top of its own
// file system, $topdir/.Trash/$uid when $topdir/.Trash is a real folder with
// the sticky bit, else $topdir/.Trash-$uid. An item is only ever renamed into
// the trash, never copied: a trash on another file system is never used.
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include "../Platform.h"
#include "MountTable.h"
#include "PosixMounts.h"
#include "PosixTrash.h"

namespace vd::platform {

namespace posix {

std::string TrashPathEncode(std::string_view raw) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(raw.size());
  for (const char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.' || c == '~' || c == '/';
    if (plain) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::string TrashEntryName(std::string_view name, unsigned attempt) {
  // The number goes before the extension, as GLib does, so a trash view still
  // knows the file's type by its name.
  const size_t dot = name.rfind('.');
  const bool hasExt = dot != std::string_view::npos && dot > 0 && name.size() - dot <= 16;
  const std::string_view ext = hasExt ? name.substr(dot) : std::string_view();
  std::string_view stem = name.substr(0, name.size() - ext.size());
  const std::string number = attempt <= 1 ? std::string() : "." + std::to_string(attempt);
  // The info file adds ".trashinfo", and its name must fit the file system
  // too; the original name is kept whole in Path= anyway.
  const size_t room = NAME_MAX - ext.size() - number.size() - (sizeof ".trashinfo" - 1);
  if (stem.size() > room) {
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;  // not inside a UTF-8 sequence
    stem = stem.substr(0, cut);
  }
  return std::string(stem) + number + std::string(ext);
}

}  // namespace posix

namespace {

using posix::TIdentity;

class TFd {
 public:
  explicit TFd(int fd = -1) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  TFd& operator=(int fd) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
    return *this;
  }
  int Get() const { return FFd; }
  bool Ok() const { return FFd >= 0; }
  int Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }

 private:
  int FFd;
};

bool SameFileSystem(const TIdentity& a, const TIdentity& b) {
  if (a.Mount != 0 && b.Mount != 0) return a.Mount == b.Mount;
  return a.Device == b.Device;
}

std::string DataHome() {
  const char* x = std::getenv("XDG_DATA_HOME");
  if (x && x[0] == '/') return RemoveTrailingSeparator(x);  // a relative one is to be ignored
  std::string home;
  if (const char* h = std::getenv("HOME"); h && h[0] == '/') {
    home = h;
  } else {
    struct passwd pw, *found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir) home = found->pw_dir;
  }
  return home.empty() ? std::string() : JoinPath(RemoveTrailingSeparator(home), ".local/share");
}

// The file system a path would be created on: that of its nearest existing
// folder, links followed (the home trash may be a link the user made).
bool IdentityOfNearest(std::string path, TIdentity& out) {
  for (;;) {
    TFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Ok()) return posix::IdentityOf(fd.Get(), "", out);
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || path == "/") return false;
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
}

// Opens (creating with mode 0700 where missing) the folder `name` in `dirFd`.
// With `mustOwn`, a link, another owner, or write access for others are
// refused: a trash in a shared place must be ours alone.
int OpenOrMakeFolder(int dirFd, const char* name, bool mustOwn) {
  if (::mkdirat(dirFd, name, 0700) != 0 && errno != EEXIST) return -1;
  const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (mustOwn ? O_NOFOLLOW : 0));
  if (fd < 0 || !mustOwn) return fd;
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_uid != ::getuid() || (st.st_mode & 022) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Opens every folder of an absolute path, creating the missing ones (0700).
int OpenOrMakePath(const std::string& path) {
  TFd fd(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  size_t pos = 1;
  while (fd.Ok() && pos < path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(pos, end - pos);
    if (!part.empty()) fd = OpenOrMakeFolder(fd.Get(), part.c_str(), false);
    pos = end + 1;
  }
  return fd.Release();
}

// The top folder of the file system `item` is on, from the mount table.
std::string TopDirOf(const std::string& itemPath, const TIdentity& item) {
  std::string best;
  for (const auto& m : ReadMountTable()) {
    if (item.Mount != 0 && uint64_t(m.Id) == item.Mount) return m.MountPoint;
    if (PathWithin(itemPath, m.MountPoint) && m.MountPoint.size() >= best.size()) best = m.MountPoint;
  }
  return item.Mount != 0 ? std::string() : best;
}

// The trash folder for `item`, opened; `prefix` is what Path= is relative to
// ("" for the home trash, whose paths are absolute).
int OpenTrashFor(const std::string& itemPath, const TIdentity& item, std::string& prefix) {
  const std::string dataHome = DataHome();
  TIdentity home;
  if (!dataHome.empty() && IdentityOfNearest(dataHome + "/Trash", home) && SameFileSystem(home, item)) {
    prefix.clear();
    return OpenOrMakePath(dataHome + "/Trash");
  }
  const std::string top = TopDirOf(itemPath, item);
  if (top.empty()) return -1;
  TFd topFd(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  TIdentity topId;
  if (!topFd.Ok() || !posix::IdentityOf(topFd.Get(), "", topId) || !SameFileSystem(topId, item)) return -1;
  prefix = top == "/" ? "/" : top + "/";
  const std::string uid = std::to_string(::getuid());
  TIdentity shared;
  if (posix::IdentityOf(topFd.Get(), ".Trash", shared) && S_ISDIR(shared.Mode) && (shared.Mode & S_ISVTX)) {
    TFd sharedFd(::openat(topFd.Get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (sharedFd.Ok()) {
      const int fd = OpenOrMakeFolder(sharedFd.Get(), uid.c_str(), true);
      if (fd >= 0) return fd;
    }
  }
  return OpenOrMakeFolder(topFd.Get(), (".Trash-" + uid).c_str(), true);
}

std::string DeletionDateNow() {
  const time_t now = ::time(nullptr);
  struct tm tm;
  char buf[32];
  if (!::localtime_r(&now, &tm) || ::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm) == 0) return {};
  return buf;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// Renames without replacing anything already in the trash.
bool RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
  if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: the name was checked free just before.
  struct stat st;
  if (::fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::renameat(fromDir, from, toDir, to) == 0;
}

}  // namespace

bool MoveToTrash(const std::string& rawPath) {
  std::string parent, name;
  if (!posix::SplitItemPath(rawPath, parent, name)) return false;
  TFd parentFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  TIdentity item;
  if (!parentFd.Ok() || !posix::IdentityOf(parentFd.Get(), name.c_str(), item)) return false;
  // A mounted volume is not ours to move, and a folder holding one cannot be
  // renamed across it: both refused before anything is written.
  if (posix::HoldsMountPoint(parentFd.Get(), name)) return false;
  std::string folder = posix::PathOfFolder(parentFd.Get());
  if (folder.empty()) {
    char* real = ::realpath(parent.c_str(), nullptr);
    if (!real) return false;
    folder = real;
    std::free(real);
  }
  const std::string itemPath = JoinPath(folder, name);

  std::string prefix;
  TFd trash(OpenTrashFor(itemPath, item, prefix));
  if (!trash.Ok()) return false;
  TFd files(OpenOrMakeFolder(trash.Get(), "files", false));
  TFd info(OpenOrMakeFolder(trash.Get(), "info", false));
  if (!files.Ok() || !info.Ok()) return false;

  const std::string recorded = prefix.empty() ? itemPath : itemPath.substr(prefix.size());
  const std::string text =
      "[Trash Info]\nPath=" + posix::TrashPathEncode(recorded) + "\nDeletionDate=" + DeletionDateNow() + "\n";
  for (unsigned attempt = 1; attempt < 10000; ++attempt) {
    const std::string entry = posix::TrashEntryName(name, attempt);
    struct stat st;
    if (::fstatat(files.Get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) continue;  // left without its info
    // The info file first, created exclusively: two programs trashing the same
    // name at once each get their own.
    const std::string infoName = entry + ".trashinfo";
    TFd infoFd(::openat(info.Get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!infoFd.Ok()) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool written = WriteAll(infoFd.Get(), text);
    infoFd = -1;
    if (written && RenameNoReplace(parentFd.Get(), name.c_str(), files.Get(), entry.c_str())) return true;
    const int why = errno;
    ::unlinkat(info.Get(), infoName.c_str(), 0);
    if (!written || why != EEXIST) return false;  // anything but a name taken meanwhile: the item stays
  }
  return false;
}

}  // namespace vd::platform
