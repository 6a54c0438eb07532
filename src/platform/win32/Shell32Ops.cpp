#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "Shell32Ops.h"

#include "../DeleteRequest.h"
#include "../Platform.h"
#include "Win32Internal.h"
#include "WinStrings.h"

namespace vd::platform::win32 {

namespace {
std::wstring Quoted(const std::string& path) { return L"\"" + ToWide(path) + L"\""; }

void ShellExecuteOpen(const wchar_t* verb, const std::wstring& file, const std::wstring& params) {
  ShellExecuteW(nullptr, verb, file.c_str(), params.empty() ? nullptr : params.c_str(), nullptr, SW_SHOWNORMAL);
}

// COM for the calling thread for the duration of one shell call, unless the
// thread already has it (the GUI thread has, through its toolkit).
class TComScope {
 public:
  TComScope() : FHr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~TComScope() {
    if (SUCCEEDED(FHr)) CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  HRESULT FHr;
};

bool IsSafeShellPath(const std::string& path) {
  if (path.find_first_of("*?") != std::string::npos) return false;
  const std::string p = RemoveTrailingSeparator(path);
  const bool drive = p.size() > 3 && p[1] == ':' && p[2] == '\\';
  const bool share = p.size() > 2 && p[0] == '\\' && p[1] == '\\' && p[2] != '?' && p[2] != '.' &&
                     [&] {
                       const size_t server = p.find('\\', 2);
                       return server != std::string::npos && p.find('\\', server + 1) != std::string::npos;
                     }();
  return drive || share;
}
}  // namespace

void ShellOpen(const std::string& path) { ShellExecuteOpen(L"open", ToWide(path), {}); }

void ShellStart(const std::string& path) {
  ShellExecuteW(nullptr, nullptr, ToWide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void ExplorerSelect(const std::string& path) { ShellExecuteOpen(L"open", L"explorer.exe", L"/select," + Quoted(path)); }

void ExplorerOpenFolder(const std::string& path) { ShellExecuteOpen(L"open", L"explorer.exe", Quoted(path)); }

void ShowProperties(void* ownerWindow, const std::string& path) {
  const std::wstring file = ToWide(path);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_INVOKEIDLIST;
  info.hwnd = static_cast<HWND>(ownerWindow);
  info.lpVerb = L"properties";
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&info);
}

bool OpenFolderAndSelect(const std::string& path) {
  if (path.empty()) return false;
  TComScope com;
  PIDLIST_ABSOLUTE full = nullptr;
  if (FAILED(SHParseDisplayName(ToWide(path).c_str(), nullptr, &full, 0, nullptr)) || !full) return false;
  PIDLIST_ABSOLUTE parent = ILClone(full);
  bool ok = false;
  if (parent) {
    ILRemoveLastID(parent);
    PCUITEMID_CHILD child = ILFindLastID(full);
    ok = SUCCEEDED(SHOpenFolderAndSelectItems(parent, 1, &child, 0));
  }
  CoTaskMemFree(parent);
  CoTaskMemFree(full);
  return ok;
}

std::wstring BuildDoubleNulList(const std::vector<std::string>& paths) {
  std::wstring buf;
  for (const auto& p : paths) {
    if (p.empty()) continue;
    buf += ToWide(p);
    buf.push_back(L'\0');
  }
  buf.push_back(L'\0');
  return buf;
}

unsigned ShellDeleteFlags(bool toRecycleBin) {
  unsigned flags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;  // 0x0414
  if (toRecycleBin) flags |= FOF_ALLOWUNDO;                          // 0x0454
  return flags;
}

bool ShellDeleteOnce(const std::vector<std::string>& paths, bool toRecycleBin) {
  const std::wstring from = BuildDoubleNulList(paths);
  if (from.size() < 2) return false;  // nothing in it
  SHFILEOPSTRUCTW op{};
  op.hwnd = nullptr;
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FILEOP_FLAGS(ShellDeleteFlags(toRecycleBin));
  const int result = SHFileOperationW(&op);
  return result == 0 && !op.fAnyOperationsAborted;
}

bool AreSafeShellPaths(const std::vector<std::string>& paths) {
  for (const auto& p : paths)
    if (!p.empty() && !IsSafeShellPath(p)) return false;
  return true;
}

bool ShellDeletePaths(const std::vector<std::string>& paths, bool toRecycleBin) {
  if (!AreSafeShellPaths(paths)) return false;
  return RunDeleteRequest(
      paths,
      [toRecycleBin](const std::string& p) {
        // The shell would walk into a mounted volume: refused before it is asked.
        return !HoldsMountPoint(ToWide(RemoveTrailingSeparator(p))) && ShellDeleteOnce({p}, toRecycleBin);
      },
      [](const std::string& p) { return PathExistsNoFollow(p); });
}

}  // namespace vd::platform::win32

namespace vd::platform {

bool MoveToTrash(const std::string& path) {
  const std::string p = RemoveTrailingSeparator(path);
  if (p.empty() || !win32::AreSafeShellPaths({p}) || !PathExistsNoFollow(p)) return false;
  if (win32::HoldsMountPoint(win32::ToWide(p))) return false;
  return win32::ShellDeleteOnce({p}, true);
}

}  // namespace vd::platform
