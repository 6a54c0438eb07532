// Reading and writing whole files on Windows.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <string>

#include "../Platform.h"
#include "WinStrings.h"

namespace vd::platform {

using win32::ToApiPath;
using win32::ToWide;

namespace {

std::string LastErrorText(DWORD err = ::GetLastError()) {
  wchar_t* msg = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, err, 0, reinterpret_cast<wchar_t*>(&msg), 0, nullptr);
  std::string text = n ? win32::ToUtf8(std::wstring_view(msg, n)) : "error " + std::to_string(err);
  if (msg) ::LocalFree(msg);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return text;
}

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

// ---- TInputFile ---------------------------------------------------------------

TInputFile::~TInputFile() { Close(); }

bool TInputFile::Open(const std::string& path, bool regularOnly) {
  Close();
  FError.clear();
  if (path == "-" && !regularOnly) {
    FHandle = reinterpret_cast<intptr_t>(::GetStdHandle(STD_INPUT_HANDLE));
    FOwned = false;
    return true;
  }
  HANDLE h = ::CreateFileW(ToApiPath(ToWide(path)).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    FError = LastErrorText();
    return false;
  }
  if (regularOnly && ::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    FError = "Not a regular file";
    return false;
  }
  FHandle = reinterpret_cast<intptr_t>(h);
  FOwned = true;
  return true;
}

int64_t TInputFile::Read(void* buf, size_t n) {
  if (FHandle == -1) return -1;
  DWORD got = 0;
  const DWORD want = n > 0x40000000 ? 0x40000000 : DWORD(n);
  if (!::ReadFile(AsHandle(FHandle), buf, want, &got, nullptr)) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_BROKEN_PIPE || err == ERROR_HANDLE_EOF) return 0;
    FError = LastErrorText(err);
    return -1;
  }
  return got;
}

bool TInputFile::Seek(int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  if (FHandle == -1 || !::SetFilePointerEx(AsHandle(FHandle), to, nullptr, FILE_BEGIN)) {
    FError = LastErrorText();
    return false;
  }
  return true;
}

bool TInputFile::Id(TFileId& out) {
  BY_HANDLE_FILE_INFORMATION info;
  if (FHandle == -1 || !::GetFileInformationByHandle(AsHandle(FHandle), &info)) {
    FError = LastErrorText();
    return false;
  }
  out = {info.dwVolumeSerialNumber, (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return true;
}

void TInputFile::Close() {
  if (FHandle != -1 && FOwned) ::CloseHandle(AsHandle(FHandle));
  FHandle = -1;
  FOwned = false;
}

// ---- TOutputFile --------------------------------------------------------------

TOutputFile::~TOutputFile() { Abort(); }

bool TOutputFile::Open(const std::string& path) {
  Abort();
  FError.clear();
  FPath = path;
  if (path == "-") {
    FStdout = true;
    FHandle = reinterpret_cast<intptr_t>(::GetStdHandle(STD_OUTPUT_HANDLE));
    return true;
  }
  static std::atomic<unsigned> counter{0};
  const size_t slash = path.find_last_of("\\/:");
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) {
    FError = "Is a folder";
    return false;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = folder + base + "." + std::to_string(::GetCurrentProcessId()) + "-" +
                       std::to_string(counter++) + ".tmp";
    HANDLE h = ::CreateFileW(ToApiPath(ToWide(temp)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      FHandle = reinterpret_cast<intptr_t>(h);
      FTemp = std::move(temp);
      return true;
    }
    const DWORD err = ::GetLastError();
    if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) {
      FError = LastErrorText(err);
      return false;
    }
  }
  FError = LastErrorText(ERROR_FILE_EXISTS);
  return false;
}

bool TOutputFile::Write(const void* data, size_t n) {
  if (FHandle == -1) return false;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    DWORD put = 0;
    const DWORD chunk = n > 0x40000000 ? 0x40000000 : DWORD(n);
    if (!::WriteFile(AsHandle(FHandle), p, chunk, &put, nullptr)) {
      FError = LastErrorText();
      return false;
    }
    p += put;
    n -= put;
  }
  return true;
}

bool TOutputFile::Commit() {
  if (FHandle == -1) return false;
  if (FStdout) {
    FHandle = -1;
    FStdout = false;
    return FError.empty();
  }
  bool ok = ::FlushFileBuffers(AsHandle(FHandle)) != 0;
  if (!ok) FError = LastErrorText();
  ::CloseHandle(AsHandle(FHandle));
  FHandle = -1;
  if (ok && !::MoveFileExW(ToApiPath(ToWide(FTemp)).c_str(), ToApiPath(ToWide(FPath)).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    FError = LastErrorText();
    ok = false;
  }
  if (!ok) ::DeleteFileW(ToApiPath(ToWide(FTemp)).c_str());
  FTemp.clear();
  return ok;
}

void TOutputFile::Abort() {
  if (FStdout) {
    FStdout = false;
    FHandle = -1;
    return;
  }
  if (FHandle != -1) ::CloseHandle(AsHandle(FHandle));
  FHandle = -1;
  if (!FTemp.empty()) ::DeleteFileW(ToApiPath(ToWide(FTemp)).c_str());
  FTemp.clear();
}

}  // namespace vd::platform
