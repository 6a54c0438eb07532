#include "MountTable.h"

#include <algorithm>
#include <array>

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

std::vector<std::string_view> SplitSpaces(std::string_view line) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ') ++j;
    if (j > i) parts.push_back(line.substr(i, j - i));
    i = j;
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
    const auto parts = SplitSpaces(text.substr(pos, eol - pos));
    pos = eol + 1;
    // id parent major:minor root mountpoint options [optional...] - fstype source superopts
    if (parts.size() < 7) continue;
    auto dash = std::find(parts.begin() + 6, parts.end(), std::string_view("-"));
    if (dash == parts.end() || std::distance(dash, parts.end()) < 3) continue;
    TMountEntry m;
    m.MountPoint = Unescape(parts[4]);
    m.FsType = Unescape(*(dash + 1));
    m.Source = Unescape(*(dash + 2));
    result.push_back(std::move(m));
  }
  return result;
}

bool IsLocalDiskMount(const TMountEntry& m) {
  static const std::array<std::string_view, 12> kImageOrNetwork = {
      "squashfs", "iso9660", "udf", "nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "ceph", "afs", "fuse.sshfs"};
  if (std::find(kImageOrNetwork.begin(), kImageOrNetwork.end(), m.FsType) != kImageOrNetwork.end()) return false;
  if (m.FsType == "zfs") return true;  // pools are named, not device nodes
  if (!StartsWith(m.Source, "/dev/")) return false;  // proc, sysfs, tmpfs, overlay, cgroup ...
  if (StartsWith(m.Source, "/dev/loop")) return false;  // mounted image files
  if (StartsWith(m.Source, "/dev/ram") || StartsWith(m.Source, "/dev/zram")) return false;
  if (StartsWith(m.Source, "/dev/sr")) return false;  // optical drives
  return true;
}

std::vector<std::string> DrivesFromMounts(const std::vector<TMountEntry>& mounts,
                                          const std::function<bool(const std::string&)>& isDir) {
  // index of the chosen entry per device, in order of first appearance
  std::vector<std::pair<std::string, size_t>> chosen;
  for (size_t i = 0; i < mounts.size(); ++i) {
    const auto& m = mounts[i];
    if (!IsLocalDiskMount(m) || !isDir(m.MountPoint)) continue;
    auto it = std::find_if(chosen.begin(), chosen.end(), [&](const auto& c) { return c.first == m.Source; });
    if (it == chosen.end())
      chosen.emplace_back(m.Source, i);
    else if (m.MountPoint.size() < mounts[it->second].MountPoint.size())
      it->second = i;
  }
  std::sort(chosen.begin(), chosen.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  std::vector<std::string> result;
  for (const auto& c : chosen) result.push_back(mounts[c.second].MountPoint);
  return result;
}

}  // namespace vd::platform
