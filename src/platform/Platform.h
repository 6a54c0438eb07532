// The operating-system calls the core and the GUI rely on. One implementation per
// platform (posix/, win32/) is chosen by the build; nothing here is virtual.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "PlatformTypes.h"

namespace vd::platform {

// ---- Paths --------------------------------------------------------------------
// The separator used when joining paths, and every character that ends a folder
// part of a path (POSIX "/", Windows "\\:").
char PathSeparator();
std::string_view PathDelimiters();
// Identity key of a path for maps and selections. On a case-sensitive file
// system the path itself; on Windows the upper-cased path.
std::string PathKey(std::string_view path);
// Whether PathKey returns its argument unchanged, so hot loops may hash the
// path itself instead of building a copy.
#ifdef _WIN32
inline constexpr bool kPathIsItsKey = false;
#else
inline constexpr bool kPathIsItsKey = true;
#endif
// Removes one trailing separator, but never turns a root ("/") into "".
std::string RemoveTrailingSeparator(std::string_view path);
// Parent folder + separator + name, without doubling a separator that ends the
// parent (the root "/").
std::string JoinPath(std::string_view parent, std::string_view name);

// ---- Case mapping (locale-aware, simple Unicode mapping, ASCII fast path) -----
// Bytes that are not valid UTF-8 pass through unchanged.
std::string ToLowerLocale(std::string_view s);
std::string ToUpperLocale(std::string_view s);

// ---- Time ---------------------------------------------------------------------
// Milliseconds of a monotonic clock, wrapping at 2^32.
uint32_t GetTickCount();
// UTC file time to local calendar fields; false when it cannot be converted.
bool FileTimeToLocalSystemTime(TFileTime ft, TSystemTime& out);
// The current time as a file time (UTC).
TFileTime CurrentFileTime();

// ---- Folder listing -----------------------------------------------------------
enum class TEntryKind : uint8_t {
  File,     // a regular file: Size and LastWrite are valid
  Folder,   // a sub-folder that may be entered
  Skipped,  // links, mount points, devices, sockets, FIFOs, vanished entries
};

struct TDirEntry {
  const char* Name = nullptr;  // NUL-terminated, valid until the next Next()
  uint32_t NameLen = 0;
  TEntryKind Kind = TEntryKind::Skipped;
  int64_t Size = 0;
  TFileTime LastWrite;
};

// One open folder. Entries come in the file system's order; "." and ".." are
// never returned. The handle is released by Close() or the destructor.
//
// Threads: one thread lists a folder (Next, FinishListing). Once the listing is
// finished, any number of threads may open its sub-folders (OpenChild) at the
// same time, until one of them closes it.
class TDirReader {
 public:
  TDirReader() = default;
  ~TDirReader();
  TDirReader(const TDirReader&) = delete;
  TDirReader& operator=(const TDirReader&) = delete;

  // Opens a folder by its path (the root of a scan).
  bool OpenPath(const std::string& path);
  // Opens the sub-folder `name` of `parent` (listing or finished, not closed)
  // relative to the parent's handle, so deep trees need no long paths. A
  // folder swapped for a link since it was listed is not entered.
  bool OpenChild(const TDirReader& parent, std::string_view name);
  bool Next(TDirEntry& out);
  // Ends the listing but keeps the folder open for OpenChild; what the listing
  // needed (its buffer, the system's search handle) is given back.
  void FinishListing();
  void Close();
  bool IsOpen() const;

 private:
  bool Fill();
  bool ClassifyNext(TDirEntry& out);

  intptr_t FHandle = -1;
  uint64_t FDevice = 0;
  std::vector<char> FBuf;
  size_t FPos = 0, FEnd = 0;
  bool FEof = false;
};

// Whether `path` lies on a spinning disk, where a walk on several threads
// would make the heads seek back and forth. False when it cannot be told.
bool IsOnRotationalDisk(const std::string& path);

#ifndef _WIN32
// Test seam: the folder reader calls `hook` instead of the system's statx (null
// puts the system's back), and forgets that statx was found missing.
using TStatxHook = int (*)(int dirFd, const char* name, int flags, unsigned mask, void* statxBuf);
void SetStatxHookForTest(TStatxHook hook);
#endif

// ---- Drives and disk space ----------------------------------------------------
// Roots of the fixed and removable drives, in the system's order.
std::vector<std::string> GetDrives();
// Used bytes of the volume holding `root`; 0 on failure.
int64_t GetUsedBytes(const std::string& root);
bool DirectoryExists(const std::string& path);
bool PathExists(const std::string& path);  // follows symbolic links
std::string GetTempFolder();

// Deletes a file, or a folder with everything in it, permanently. Symbolic
// links inside are removed as links, never followed, and another file system
// mounted inside is not entered (the removal fails there). False on failure,
// after removing what could be removed up to that point.
bool DeleteTreeNoFollow(const std::string& path);
// True when `path` names something, a dangling link included (not followed).
bool PathExistsNoFollow(const std::string& path);

// Memory for the scan arena in large blocks; where the system offers huge
// pages they are asked for, which saves one page fault per 4 KiB of tree.
void* AllocateArenaBlock(size_t size);
void FreeArenaBlock(void* block, size_t size);
constexpr size_t kArenaBlockSize = size_t(2) << 20;

// Sets the soft limit of open handles to the hard limit, so a deep walk can
// keep one listing open per level. Harmless where there is no such limit.
void RaiseOpenFileLimit();

}  // namespace vd::platform
