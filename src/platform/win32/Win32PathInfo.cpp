// Looking at one path without following it, and the machine's name.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cctype>

#include "../Platform.h"
#include "WinStrings.h"

namespace vd::platform {

bool IsPlainAbsolutePath(std::string_view path) {
  auto isSep = [](char c) { return c == '\\' || c == '/'; };
  const bool drive = path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
  if (drive && path.size() == 2) return true;  // a drive as the drive list names it
  size_t start;
  if (drive && path.size() >= 3 && isSep(path[2])) {
    start = 3;
  } else if (path.size() >= 2 && isSep(path[0]) && isSep(path[1])) {
    start = 2;  // a share: server and share name must follow
    const size_t server = path.find_first_of("\\/", start);
    if (server == std::string_view::npos || server == start) return false;
    const size_t share = std::min(path.find_first_of("\\/", server + 1), path.size());
    if (share == server + 1) return false;
    start = share + 1;
  } else {
    return false;
  }
  while (start < path.size()) {
    const size_t end = std::min(path.find_first_of("\\/", start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == ".." || part.find(':') != std::string_view::npos) return false;
    start = end + 1;
  }
  return true;
}

TPathInfo InspectPathNoFollow(const std::string& path) {
  TPathInfo info;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() ||
      !GetFileAttributesExW(win32::ToApiPath(win32::ToWide(path)).c_str(), GetFileExInfoStandard, &data))
    return info;
  // Junctions, links and volume mount points are all reparse points: none is
  // the plain folder or file a scan walked.
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    info.Kind = TPathKind::Link;
  } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    info.Kind = TPathKind::Folder;
  } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) {
    info.Kind = TPathKind::Other;
  } else {
    info.Kind = TPathKind::File;
    info.Size = int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  }
  return info;
}

bool IsMountPoint(const std::string& path) {
  // A volume mounted on a folder is a reparse point there; a drive's root has
  // no parent to differ from.
  const DWORD a = GetFileAttributesW(win32::ToApiPath(win32::ToWide(path)).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string HostName() {
  wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(buf, &n)) return {};
  return win32::ToUtf8(std::wstring(buf, n));
}

}  // namespace vd::platform
