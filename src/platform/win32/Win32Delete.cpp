// Permanent deletion that removes links and junctions as themselves and never
// walks through them.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "../Platform.h"
#include "Win32Internal.h"
#include "WinStrings.h"

namespace vd::platform {

namespace {

bool RemoveFolderContents(const std::wstring& folder) {
  const std::wstring pattern = win32::ToApiPath(folder + L"\\*");
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  // Listed first and removed afterwards, so the listing never sees its own removals.
  std::vector<std::pair<std::wstring, DWORD>> entries;
  do {
    const wchar_t* n = fd.cFileName;
    if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) continue;
    entries.emplace_back(folder + L"\\" + n, fd.dwFileAttributes);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  for (const auto& [p, a] : entries)
    if (!win32::RemoveListedEntry(p, a)) return false;  // stop at the first refusal: remove nothing further
  return true;
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
  return win32::RemoveListedEntry(path, attrs);
}

namespace win32 {
bool RemoveListedEntry(const std::wstring& path, uint32_t attrs) {
  const std::wstring api = win32::ToApiPath(path);
  if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
    // A junction or a link to a folder is removed as the link, with its target left alone.
    if (!(attrs & FILE_ATTRIBUTE_REPARSE_POINT) && !RemoveFolderContents(path)) return false;
    if (attrs & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(api.c_str(), attrs & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return RemoveDirectoryW(api.c_str()) != 0;
  }
  // The user asked for this file to go, read-only or not, as the shell would do.
  if (attrs & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(api.c_str(), attrs & ~DWORD(FILE_ATTRIBUTE_READONLY));
  return DeleteFileW(api.c_str()) != 0;
}

}  // namespace win32

}  // namespace vd::platform
