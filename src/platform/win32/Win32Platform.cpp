// Win32 implementation of the platform layer.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <new>

#include "../Platform.h"
#include "Win32Internal.h"
#include "WinStrings.h"

namespace vd::platform {

using win32::ToUtf8;
using win32::ToWide;

// ---- Paths --------------------------------------------------------------------

char PathSeparator() { return '\\'; }
std::string_view PathDelimiters() { return "\\:"; }
std::string PathKey(std::string_view path) { return ToUpperLocale(path); }

std::string RemoveTrailingSeparator(std::string_view path) {
  // "C:\" becomes the drive "C:"; a lone "\" is kept.
  if (path.size() > 1 && path.back() == '\\') path.remove_suffix(1);
  return std::string(path);
}

std::string JoinPath(std::string_view parent, std::string_view name) {
  std::string out;
  out.reserve(parent.size() + 1 + name.size());
  out.append(parent);
  if (out.empty() || out.back() != '\\') out.push_back('\\');
  out.append(name);
  return out;
}

// ---- Case mapping -------------------------------------------------------------

namespace {

// Maps one run of well-formed WTF-8 with the system's locale-aware casing.
void MapRun(std::string_view run, bool upper, std::string& out) {
  std::wstring w = ToWide(run);
  if (upper) {
    CharUpperBuffW(w.data(), DWORD(w.size()));
    win32::AppendWtf8(w.data(), w.size(), out);
    return;
  }
  const DWORD flags = LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING;
  const int need = LCMapStringW(LOCALE_USER_DEFAULT, flags, w.data(), int(w.size()), nullptr, 0);
  if (need > 0) {
    std::wstring lower(size_t(need), L'\0');
    const int got = LCMapStringW(LOCALE_USER_DEFAULT, flags, w.data(), int(w.size()), lower.data(), need);
    if (got > 0) {
      win32::AppendWtf8(lower.data(), size_t(got), out);
      return;
    }
  }
  CharLowerBuffW(w.data(), DWORD(w.size()));  // the locale call refused the text
  win32::AppendWtf8(w.data(), w.size(), out);
}

std::string MapCase(std::string_view s, bool upper) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    size_t j = i;
    for (size_t len; j < s.size() && (len = win32::Wtf8SequenceLength(s, j)) != 0;) j += len;
    if (j > i) MapRun(s.substr(i, j - i), upper, out);
    if (j < s.size()) out.push_back(s[j++]);  // not WTF-8: the byte stays as it is
    i = j;
  }
  return out;
}

}  // namespace

std::string ToLowerLocale(std::string_view s) { return MapCase(s, false); }
std::string ToUpperLocale(std::string_view s) { return MapCase(s, true); }

// ---- Time ---------------------------------------------------------------------

uint32_t GetTickCount() { return uint32_t(::GetTickCount()); }

bool FileTimeToLocalSystemTime(TFileTime ft, TSystemTime& out) {
  // The bias in force now applies, whatever the file's date.
  const FILETIME utc{ft.dwLowDateTime, ft.dwHighDateTime};
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return false;
  out.Year = st.wYear;
  out.Month = st.wMonth;
  out.Day = st.wDay;
  out.Hour = st.wHour;
  out.Minute = st.wMinute;
  out.Second = st.wSecond;
  out.Milliseconds = st.wMilliseconds;
  return true;
}

TFileTime CurrentFileTime() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return {ft.dwLowDateTime, ft.dwHighDateTime};
}

// ---- Folder listing -----------------------------------------------------------
// The reader keeps its state in FBuf: the find data of the current entry, that
// entry's name in UTF-8, then the folder's own path in UTF-16 (FEnd characters),
// from which a sub-folder's path is built. FPos is 1 while the entry that
// FindFirstFileExW returned has not been handed out yet.

namespace {
struct TListing {
  WIN32_FIND_DATAW Find;
  char Name[4 * MAX_PATH + 4];  // cFileName is at most MAX_PATH units, 3 bytes each
};
TListing& ListingOf(std::vector<char>& buf) { return *reinterpret_cast<TListing*>(buf.data()); }
wchar_t* FolderPathOf(std::vector<char>& buf) { return reinterpret_cast<wchar_t*>(buf.data() + sizeof(TListing)); }
const wchar_t* FolderPathOf(const std::vector<char>& buf) {
  return reinterpret_cast<const wchar_t*>(buf.data() + sizeof(TListing));
}
constexpr intptr_t kNoHandle = -1;  // INVALID_HANDLE_VALUE
}  // namespace

TDirReader::~TDirReader() { Close(); }

// Open while listing, and after FinishListing while the folder's path is kept
// for its sub-folders (FEnd > 0).
bool TDirReader::IsOpen() const { return FHandle != kNoHandle || FEnd > 0; }

void TDirReader::FinishListing() {
  if (FHandle != kNoHandle) FindClose(reinterpret_cast<HANDLE>(FHandle));
  FHandle = kNoHandle;
  FEof = true;
}

void TDirReader::Close() {
  FinishListing();
  FPos = FEnd = 0;
  FEof = false;
}

namespace {
// Opens the listing of `folder` (no trailing separator needed) into `r`'s buffer.
bool OpenListing(std::vector<char>& buf, const std::wstring& folder, intptr_t& handle, size_t& pathLen) {
  std::wstring pattern = folder;
  if (pattern.empty() || pattern.back() != L'\\') pattern.push_back(L'\\');
  pattern.push_back(L'*');
  pattern = win32::ToApiPath(std::move(pattern));
  const size_t need = sizeof(TListing) + (folder.size() + 1) * sizeof(wchar_t);
  if (buf.size() < need) buf.resize(need);
  std::memcpy(FolderPathOf(buf), folder.c_str(), (folder.size() + 1) * sizeof(wchar_t));
  HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &ListingOf(buf).Find, FindExSearchNameMatch, nullptr,
                              FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle = reinterpret_cast<intptr_t>(h);
  pathLen = folder.size();
  return true;
}
}  // namespace

namespace {
TReadError ReadErrorOf(DWORD err) {
  switch (err) {
    case ERROR_ACCESS_DENIED: return TReadError::Denied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY: return TReadError::Vanished;
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_READ_FAULT: return TReadError::IoError;
    default: return TReadError::Other;
  }
}

// The volume's allocation unit; 4 KiB where the volume does not say.
int64_t ClusterOf(const std::wstring& folder) {
  wchar_t volume[MAX_PATH + 1];
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (GetVolumePathNameW(folder.c_str(), volume, MAX_PATH + 1) &&
      GetDiskFreeSpaceW(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) && sectorsPerCluster &&
      bytesPerSector)
    return int64_t(sectorsPerCluster) * bytesPerSector;
  return 4096;
}
}  // namespace

bool TDirReader::OpenPath(const std::string& path) {
  Close();
  FError = TReadError::None;
  std::wstring folder = ToWide(path);
  if (folder.size() > 1 && folder.back() == L'\\') folder.pop_back();
  if (!OpenListing(FBuf, folder, FHandle, FEnd)) {
    FError = ReadErrorOf(GetLastError());
    return false;
  }
  FCluster = ClusterOf(folder.size() == 2 ? folder + L"\\" : folder);
  FOwnAllocated = 0;  // a folder's entries live in the volume's own tables
  FPos = 1;
  return true;
}

bool TDirReader::OpenChild(const TDirReader& parent, std::string_view name) {
  Close();
  if (!parent.IsOpen()) return false;
  std::wstring folder(FolderPathOf(parent.FBuf), parent.FEnd);
  if (folder.empty() || folder.back() != L'\\') folder.push_back(L'\\');
  folder.append(ToWide(name));  // WTF-8 gives back the name exactly as listed
  FError = TReadError::None;
  FCluster = parent.FCluster;
  if (!OpenListing(FBuf, folder, FHandle, FEnd)) {
    FError = ReadErrorOf(GetLastError());
    return false;
  }
  FPos = 1;
  return true;
}

bool TDirReader::Fill() {
  if (FEof || FHandle == kNoHandle) return false;
  if (FPos == 1) {
    FPos = 0;
    return true;
  }
  if (!FindNextFileW(reinterpret_cast<HANDLE>(FHandle), &ListingOf(FBuf).Find)) {
    FEof = true;
    return false;
  }
  return true;
}

bool TDirReader::Next(TDirEntry& out) {
  for (;;) {
    if (!Fill()) return false;
    if (ClassifyNext(out)) return true;
  }
}

// Fills `out` from the current find data; false for "." and "..".
bool TDirReader::ClassifyNext(TDirEntry& out) {
  TListing& l = ListingOf(FBuf);
  const WIN32_FIND_DATAW& fd = l.Find;
  const wchar_t* n = fd.cFileName;
  if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) return false;
  size_t len = 0;
  while (len < MAX_PATH && n[len]) ++len;
  std::string name;
  win32::AppendWtf8(n, len, name);
  std::memcpy(l.Name, name.c_str(), name.size() + 1);
  out.Name = l.Name;
  out.NameLen = uint32_t(name.size());
  out.Size = 0;
  out.LastWrite = {};
  out.Kind = win32::KindOfAttributes(fd.dwFileAttributes);
  out.Allocated = -1;
  out.Links = 1;
  if (out.Kind == TEntryKind::File) {
    out.Size = int64_t((uint64_t(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
    out.LastWrite = {fd.ftLastWriteTime.dwLowDateTime, fd.ftLastWriteTime.dwHighDateTime};
    // The basic find data has no allocation: whole clusters, except where the
    // file system keeps fewer bytes (sparse or compressed) and says how many.
    int64_t bytes = out.Size;
    if (fd.dwFileAttributes & (FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_COMPRESSED)) {
      std::wstring full(FolderPathOf(FBuf), FEnd);
      if (full.empty() || full.back() != L'\\') full.push_back(L'\\');
      full.append(n, len);
      DWORD high = 0;
      const DWORD low = GetCompressedFileSizeW(win32::ToApiPath(std::move(full)).c_str(), &high);
      if (low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) bytes = int64_t((uint64_t(high) << 32) | low);
    }
    const int64_t unit = FCluster > 0 ? FCluster : 4096;
    out.Allocated = (bytes + unit - 1) / unit * unit;
  } else if (out.Kind == TEntryKind::Folder) {
    out.Allocated = 0;
  }
  return true;
}

void ReleaseFreeMemory() {}

bool IsOnRotationalDisk(const std::string& path) {
  // The volume's "seek penalty", as the storage stack reports it.
  wchar_t volume[MAX_PATH + 1];
  if (!GetVolumePathNameW(ToWide(path).c_str(), volume, MAX_PATH + 1)) return false;
  std::wstring device = volume;
  if (!device.empty() && device.back() == L'\\') device.pop_back();
  if (device.size() != 2 || device[1] != L':') return false;  // a share or a mounted folder: unknown
  device = L"\\\\.\\" + device;
  HANDLE h = CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceSeekPenaltyProperty;
  query.QueryType = PropertyStandardQuery;
  DEVICE_SEEK_PENALTY_DESCRIPTOR seek{};
  DWORD got = 0;
  const bool ok = DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), &seek, sizeof(seek), &got,
                                  nullptr) && got >= sizeof(seek);
  CloseHandle(h);
  return ok && seek.IncursSeekPenalty;
}

namespace win32 {
TEntryKind KindOfAttributes(uint32_t attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return TEntryKind::Skipped;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TEntryKind::Folder : TEntryKind::File;
}
}  // namespace win32

// ---- Drives and disk space ----------------------------------------------------

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD a = GetFileAttributesW(win32::ToApiPath(ToWide(path)).c_str());
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (!(a & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  // A link to a folder counts when its target is there.
  HANDLE h = CreateFileW(win32::ToApiPath(ToWide(path)).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(h);
  return ok;
}

bool PathExists(const std::string& path) {
  if (path.empty()) return false;
  const std::wstring w = win32::ToApiPath(ToWide(path));
  const DWORD a = GetFileAttributesW(w.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  if (!(a & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  HANDLE h = CreateFileW(w.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;  // a dangling link
  CloseHandle(h);
  return true;
}

std::vector<std::string> GetDrives() {
  std::vector<std::string> drives;
  std::wstring buf(4096, L'\0');
  const DWORD n = GetLogicalDriveStringsW(4095, buf.data());
  if (n == 0 || n > 4095) return drives;
  for (const wchar_t* p = buf.c_str(); *p; p += wcslen(p) + 1) {
    const UINT type = GetDriveTypeW(p);
    if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) continue;
    const std::string root = ToUtf8(p);
    if (DirectoryExists(root)) drives.push_back(root);  // a removable drive without a medium fails here
  }
  return drives;
}

int64_t GetUsedBytes(const std::string& root) {
  std::wstring w = ToWide(root);
  if (w.empty()) return 0;
  if (w.back() != L'\\') w.push_back(L'\\');
  DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
  if (!GetDiskFreeSpaceW(w.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) return 0;
  const uint64_t unit = uint64_t(sectorsPerCluster) * bytesPerSector;
  const uint64_t total = uint64_t(totalClusters) * unit, freeBytes = uint64_t(freeClusters) * unit;
  return total > freeBytes ? int64_t(total - freeBytes) : 0;
}

std::string GetTempFolder() {
  wchar_t shortPath[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, shortPath);
  if (n == 0 || n > MAX_PATH) return {};
  std::wstring path(shortPath, n);
  const DWORD need = GetLongPathNameW(shortPath, nullptr, 0);
  if (need > 0) {
    std::wstring longPath(need, L'\0');
    const DWORD got = GetLongPathNameW(shortPath, longPath.data(), need);
    if (got > 0 && got < need) path.assign(longPath.data(), got);
  }
  return RemoveTrailingSeparator(ToUtf8(path));
}

void* AllocateArenaBlock(size_t size) {
  void* p = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!p) throw std::bad_alloc();
  return p;
}

void FreeArenaBlock(void* block, size_t) { VirtualFree(block, 0, MEM_RELEASE); }

// Windows has no per-process limit on open find handles to raise.
void RaiseOpenFileLimit() {}

}  // namespace vd::platform
