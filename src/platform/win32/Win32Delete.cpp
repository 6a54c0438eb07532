// Permanent deletion that removes links and junctions as themselves, never
// walks through them, and leaves mounted volumes alone.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "../Platform.h"
#include "Win32Internal.h"
#include "WinStrings.h"

namespace vd::platform {

namespace {

// Lists the folder's entries (not "." and ".."); false when it cannot be listed.
bool ListFolder(const std::wstring& folder, std::vector<std::pair<std::wstring, WIN32_FIND_DATAW>>& out) {
  const std::wstring pattern = win32::ToApiPath(folder + L"\\*");
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const wchar_t* n = fd.cFileName;
    if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) continue;
    out.emplace_back(folder + L"\\" + n, fd);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return true;
}

bool IsPlainFolder(uint32_t attrs) {
  return (attrs & FILE_ATTRIBUTE_DIRECTORY) && !(attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A folder that mounts a volume: a reparse point of the mount-point kind
// (junctions share it) that the system names a volume for.
bool IsVolumeMountPoint(const std::wstring& path, uint32_t attrs, uint32_t reparseTag) {
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY) || !(attrs & FILE_ATTRIBUTE_REPARSE_POINT) ||
      reparseTag != IO_REPARSE_TAG_MOUNT_POINT)
    return false;
  wchar_t volume[MAX_PATH];
  return GetVolumeNameForVolumeMountPointW(win32::ToApiPath(path + L"\\").c_str(), volume, MAX_PATH) != 0;
}

// Removes one entry that is empty or no folder: a file, a link, a junction.
bool RemoveOne(const std::wstring& path, uint32_t attrs) {
  const std::wstring api = win32::ToApiPath(path);
  // The user asked for it to go, read-only or not, as the shell would do.
  if (attrs & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(api.c_str(), attrs & ~DWORD(FILE_ATTRIBUTE_READONLY));
  return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(api.c_str()) != 0 : DeleteFileW(api.c_str()) != 0;
}

// "C:", "C:\", "\\server\share" and the like: never deleted as a whole.
bool IsRootLike(const std::wstring& p) {
  if (p.size() <= 3 && p.size() >= 2 && p[1] == L':') return true;
  if (p.size() > 2 && p[0] == L'\\' && p[1] == L'\\') {
    const size_t server = p.find(L'\\', 2);
    if (server == std::wstring::npos) return true;
    const size_t share = p.find(L'\\', server + 1);
    return share == std::wstring::npos || share + 1 == p.size();
  }
  return p == L"\\";
}

}  // namespace

bool PathExistsNoFollow(const std::string& path) {
  return !path.empty() && GetFileAttributesW(win32::ToApiPath(win32::ToWide(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DeleteTreeNoFollow(const std::string& rawPath) {
  const std::wstring path = win32::ToWide(RemoveTrailingSeparator(rawPath));
  if (path.empty() || IsRootLike(path)) return false;
  const size_t sep = path.find_last_of(L"\\/:");
  const std::wstring name = sep == std::wstring::npos ? path : path.substr(sep + 1);
  if (name.empty() || name == L"." || name == L"..") return false;
  const DWORD attrs = GetFileAttributesW(win32::ToApiPath(path).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return false;
  // A mounted volume, or a folder with one below it, is refused whole before
  // anything is removed.
  if (win32::HoldsMountPoint(path)) return false;
  return win32::RemoveListedEntry(path, attrs);
}

namespace win32 {

std::function<bool(const std::wstring&, uint32_t, uint32_t)>& MountPointTest() {
  static std::function<bool(const std::wstring&, uint32_t, uint32_t)> test = &IsVolumeMountPoint;
  return test;
}

bool HoldsMountPoint(const std::wstring& path) {
  WIN32_FIND_DATAW self;
  HANDLE h = FindFirstFileExW(ToApiPath(path).c_str(), FindExInfoBasic, &self, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return true;  // cannot tell: left alone
  FindClose(h);
  const auto& isMountPoint = MountPointTest();
  if (isMountPoint(path, self.dwFileAttributes, self.dwReserved0)) return true;
  if (!IsPlainFolder(self.dwFileAttributes)) return false;
  // Junctions and links are not entered: what they lead to is not removed.
  std::vector<std::wstring> todo{path};
  std::vector<std::pair<std::wstring, WIN32_FIND_DATAW>> entries;
  while (!todo.empty()) {
    const std::wstring folder = std::move(todo.back());
    todo.pop_back();
    entries.clear();
    if (!ListFolder(folder, entries)) return true;
    for (const auto& [p, fd] : entries) {
      if (isMountPoint(p, fd.dwFileAttributes, fd.dwReserved0)) return true;
      if (IsPlainFolder(fd.dwFileAttributes)) todo.push_back(p);
    }
  }
  return false;
}

bool RemoveListedEntry(const std::wstring& path, uint32_t attrs) {
  // A junction or a link to a folder is removed as the link, with its target left alone.
  if (!IsPlainFolder(attrs)) return RemoveOne(path, attrs);
  // Depth first with a stack of our own: no recursion, whatever the depth.
  struct TFolder {
    std::wstring Path;
    uint32_t Attrs;
    bool Emptied;  // its files and links are gone; its sub-folders are above it on the stack
  };
  std::vector<TFolder> stack{{path, attrs, false}};
  std::vector<std::pair<std::wstring, WIN32_FIND_DATAW>> entries;
  while (!stack.empty()) {
    if (stack.back().Emptied) {
      if (!RemoveOne(stack.back().Path, stack.back().Attrs)) return false;
      stack.pop_back();
      continue;
    }
    stack.back().Emptied = true;
    // Listed first and removed afterwards, so the listing never sees its own removals.
    entries.clear();
    if (!ListFolder(stack.back().Path, entries)) return false;
    for (const auto& [p, fd] : entries) {
      if (IsPlainFolder(fd.dwFileAttributes))
        stack.push_back({p, fd.dwFileAttributes, false});
      else if (!RemoveOne(p, fd.dwFileAttributes))
        return false;  // stop at the first refusal: remove nothing further
    }
  }
  return true;
}

}  // namespace win32

}  // namespace vd::platform
