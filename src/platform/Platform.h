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

// Whether `path` names one place from the top of the file system: absolute
// (POSIX "/...", Windows "C:\..." or "\\server\share\..."), without "." or
// ".." parts and without a doubled separator. A trailing separator is allowed.
bool IsPlainAbsolutePath(std::string_view path);

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
  // Bytes allocated to it, -1 where unknown. A skipped entry has them where it
  // takes room in its folder (a link, a device); not a mount point.
  int64_t Allocated = -1;
  uint32_t Links = 1;  // hard links to a file; with Device and Inode when above 1
  uint64_t Device = 0;
  uint64_t Inode = 0;
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
  // Why the last open failed, or why the listing ended early.
  TReadError Error() const { return FError; }
  // Bytes allocated to the folder itself, as OpenPath found them (-1 unknown).
  int64_t OwnAllocated() const { return FOwnAllocated; }

 private:
  bool Fill();
  bool ClassifyNext(TDirEntry& out);

  intptr_t FHandle = -1;
  uint64_t FDevice = 0;
  int64_t FOwnAllocated = -1;
  int64_t FCluster = 0;  // where the listing gives no allocation: the unit sizes round up to
  TReadError FError = TReadError::None;
  std::vector<char> FBuf;
  size_t FPos = 0, FEnd = 0;
  bool FEof = false;
};

// Whether `path` lies on a spinning disk, where a walk on several threads
// would make the heads seek back and forth. False when it cannot be told.
bool IsOnRotationalDisk(const std::string& path);

// Gives the memory the process has freed back to the system where the
// allocator keeps it (the pools of helper threads). Nothing where it cannot.
void ReleaseFreeMemory();

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
// links inside are removed as links, never followed. A mount point, or a
// folder with one anywhere below it, is refused whole before anything is
// removed. Any depth is fine. False on failure, after removing what could be
// removed up to that point.
bool DeleteTreeNoFollow(const std::string& path);
// True when `path` names something, a dangling link included (not followed).
bool PathExistsNoFollow(const std::string& path);

// What a path names now, a link not followed: what an action checks against
// what a scan recorded before it touches the item.
enum class TPathKind : uint8_t {
  Missing,  // nothing there, or it cannot be looked at
  File,     // a regular file
  Folder,   // a folder (not a link to one)
  Link,     // a symbolic link, a junction or another reparse point
  Other,    // a device, socket, FIFO...
};
struct TPathInfo {
  TPathKind Kind = TPathKind::Missing;
  int64_t Size = 0;     // of a file
  uint64_t Device = 0;  // the volume it lies on (0 where the system does not say)
};
TPathInfo InspectPathNoFollow(const std::string& path);
// Whether the folder `path` is the top of another volume than its parent's
// (a mount point); false for what is not a folder or has no parent.
bool IsMountPoint(const std::string& path);
// This machine's name, as scan files record it; empty when it cannot be had.
std::string HostName();

// Memory for the scan arena in large blocks; where the system offers huge
// pages they are asked for, which saves one page fault per 4 KiB of tree.
void* AllocateArenaBlock(size_t size);
void FreeArenaBlock(void* block, size_t size);
constexpr size_t kArenaBlockSize = size_t(2) << 20;

// Sets the soft limit of open handles to the hard limit, so a deep walk can
// keep one listing open per level. Harmless where there is no such limit.
void RaiseOpenFileLimit();

// ---- Trash --------------------------------------------------------------------
// Moves a file, a folder or a link (the link itself) to the desktop's trash:
// on POSIX the freedesktop trash of the item's own file system, so it is only
// ever renamed, never copied between file systems; on Windows the recycle
// bin. A mount point, or a folder with one anywhere below it, is refused.
// True when the item went; on false nothing was moved.
bool MoveToTrash(const std::string& path);

}  // namespace vd::platform

// ---- Whole files: reading start to end, writing all or nothing ---------------
namespace vd::platform {

// Which file an open handle reads: two paths with the same id are one file
// (hard links, or one folder mounted in two places).
struct TFileId {
  uint64_t Device = 0;
  uint64_t Index = 0;
  bool operator==(const TFileId&) const = default;
};

// A file read from its start to its end in large blocks. "-" reads standard input.
class TInputFile {
 public:
  TInputFile() = default;
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  // `regularOnly` refuses anything but a regular file (without blocking on a
  // pipe or device that took a file's place); otherwise pipes are read too.
  bool Open(const std::string& path, bool regularOnly = false);
  // Up to `n` bytes; 0 at the end; -1 on a read error (see Error()).
  int64_t Read(void* buf, size_t n);
  // Moves to `offset` bytes from the start.
  bool Seek(int64_t offset);
  bool Id(TFileId& out);
  void Close();
  // What went wrong, for a message: "Permission denied" and the like.
  const std::string& Error() const { return FError; }

 private:
  intptr_t FHandle = -1;
  bool FOwned = false;
  std::string FError;
};

// A file written under a temporary name beside its final one and renamed over it
// by Commit(), so the final name only ever holds a complete file: a run that
// fails or stops leaves the old file, or none. "-" writes to standard output
// (Commit then only reports whether every write went through). Destroyed without
// Commit, the temporary file is removed.
class TOutputFile {
 public:
  TOutputFile() = default;
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  bool Open(const std::string& path);
  bool Write(const void* data, size_t n);
  // Flushes to the disk, renames to the final name and flushes the folder.
  bool Commit();
  // Removes the temporary file; the final name is left as it was.
  void Abort();
  const std::string& Error() const { return FError; }
  // The temporary name while open (empty for standard output).
  const std::string& TempPath() const { return FTemp; }

 private:
  intptr_t FHandle = -1;
  bool FStdout = false;
  std::string FPath, FTemp, FError;
};

}  // namespace vd::platform
