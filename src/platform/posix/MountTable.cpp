#include "MountTable.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>

namespace vd::platform {

namespace {

std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  auto isOct = [](char c) { return c >= '0' && c <= '7'; };
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && isOct(s[i + 1]) && isOct(s[i + 2]) && isOct(s[i + 3])) {
      out.push_back(char((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
      i += 3;
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

// The kernel separates fields by exactly one space and escapes spaces inside
// them, so two spaces in a row are an empty field (a mount without a source).
std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  for (;;) {
    const size_t j = line.find(' ', i);
    parts.push_back(line.substr(i, j == std::string_view::npos ? std::string_view::npos : j - i));
    if (j == std::string_view::npos) break;
    i = j + 1;
  }
  return parts;
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

}  // namespace

std::vector<TMountEntry> ParseMountInfo(std::string_view text) {
  std::vector<TMountEntry> result;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    const auto parts = SplitFields(text.substr(pos, eol - pos));
    pos = eol + 1;
    // id parent major:minor root mountpoint options [optional...] - fstype source superopts
    if (parts.size() < 7) continue;
    auto dash = std::find(parts.begin() + 6, parts.end(), std::string_view("-"));
    if (dash == parts.end() || std::distance(dash, parts.end()) < 3) continue;
    TMountEntry m;
    std::from_chars(parts[0].data(), parts[0].data() + parts[0].size(), m.Id);
    std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), m.ParentId);
    m.Device = std::string(parts[2]);
    m.Root = Unescape(parts[3]);
    m.MountPoint = Unescape(parts[4]);
    m.FsType = Unescape(*(dash + 1));
    m.Source = Unescape(*(dash + 2));
    if (std::distance(dash, parts.end()) > 3) m.SuperOptions = Unescape(*(dash + 3));
    result.push_back(std::move(m));
  }
  return result;
}

bool IsNetworkMount(const TMountEntry& m) {
  static const std::array<std::string_view, 18> kNetwork = {
      "nfs",    "nfs4",  "cifs",       "smb3",        "smbfs",     "9p",
      "ceph",   "afs",   "coda",       "ncpfs",       "glusterfs", "fuse.glusterfs",
      "lustre", "davfs", "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.gvfsd-fuse"};
  return std::find(kNetwork.begin(), kNetwork.end(), m.FsType) != kNetwork.end();
}

bool IsLocalDiskMount(const TMountEntry& m) {
  static const std::array<std::string_view, 3> kImage = {"squashfs", "iso9660", "udf"};
  if (std::find(kImage.begin(), kImage.end(), m.FsType) != kImage.end() || IsNetworkMount(m)) return false;
  if (m.FsType == "zfs") return true;  // pools are named, not device nodes
  if (!StartsWith(m.Source, "/dev/")) return false;  // proc, sysfs, tmpfs, overlay, cgroup ...
  if (StartsWith(m.Source, "/dev/loop")) return false;  // mounted image files
  if (StartsWith(m.Source, "/dev/ram") || StartsWith(m.Source, "/dev/zram")) return false;
  if (StartsWith(m.Source, "/dev/sr")) return false;  // optical drives
  return true;
}

std::vector<TMountEntry> ReadMountTable() {
  std::string text;
  const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buf[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      text.append(buf, size_t(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(fd);
  return ParseMountInfo(text);
}

bool PathWithin(std::string_view path, std::string_view folder) {
  if (folder == "/") return !path.empty() && path[0] == '/';
  return StartsWith(path, folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

}  // namespace vd::platform
