// POSIX implementation of the platform layer (Linux first; statx and getdents64).
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <wctype.h>

#include <atomic>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ctime>

#include "platform/Utf8.h"
#include "../Platform.h"
#include "DiskKind.h"
#include "MountTable.h"

namespace vd::platform {

// ---- Paths --------------------------------------------------------------------

char PathSeparator() { return '/'; }
std::string_view PathDelimiters() { return "/"; }
std::string PathKey(std::string_view path) { return std::string(path); }

std::string RemoveTrailingSeparator(std::string_view path) {
  if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

std::string JoinPath(std::string_view parent, std::string_view name) {
  std::string out;
  out.reserve(parent.size() + 1 + name.size());
  out.append(parent);
  if (out.empty() || out.back() != '/') out.push_back('/');
  out.append(name);
  return out;
}

// ---- Case mapping -------------------------------------------------------------

namespace {

locale_t Utf8Locale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (!l) l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", locale_t(0));
    return l;
  }();
  return loc;
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when invalid.
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  size_t len;
  char32_t min;
  if (b0 < 0x80) { cp = b0; return 1; }
  if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
  else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
  else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
  else return 0;
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}


template <bool Upper>
std::string MapCase(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (Upper)
        out.push_back((c >= 'a' && c <= 'z') ? char(c - 32) : char(c));
      else
        out.push_back((c >= 'A' && c <= 'Z') ? char(c + 32) : char(c));
      ++i;
      continue;
    }
    char32_t cp;
    const size_t len = DecodeUtf8(s, i, cp);
    if (len == 0) {  // not UTF-8: keep the byte as it is
      out.push_back(s[i]);
      ++i;
      continue;
    }
    locale_t loc = Utf8Locale();
    char32_t mapped = cp;
    if (loc) mapped = char32_t(Upper ? towupper_l(wint_t(cp), loc) : towlower_l(wint_t(cp), loc));
    if (mapped == cp)
      out.append(s.substr(i, len));
    else
      AppendUtf8(mapped, out);
    i += len;
  }
  return out;
}

}  // namespace

std::string ToLowerLocale(std::string_view s) { return MapCase<false>(s); }
std::string ToUpperLocale(std::string_view s) { return MapCase<true>(s); }

// ---- Time ---------------------------------------------------------------------

namespace {
constexpr int64_t kUnixEpochInFileTimeSeconds = 11644473600LL;

TFileTime FileTimeFromSeconds(int64_t unixSeconds, int64_t nsec) {
  const int64_t secs = unixSeconds + kUnixEpochInFileTimeSeconds;
  if (secs < 0) return {};  // before 1601: no time
  return TFileTime::FromTicks(uint64_t(secs) * 10000000ULL + uint64_t(nsec) / 100);
}
}  // namespace

uint32_t GetTickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return uint32_t(uint64_t(ts.tv_sec) * 1000ULL + uint64_t(ts.tv_nsec) / 1000000ULL);
}

bool FileTimeToLocalSystemTime(TFileTime ft, TSystemTime& out) {
  const uint64_t ticks = ft.Ticks();
  const int64_t secs = int64_t(ticks / 10000000ULL) - kUnixEpochInFileTimeSeconds;
  const time_t t = time_t(secs);
  struct tm tm;
  if (!localtime_r(&t, &tm)) return false;
  out.Year = tm.tm_year + 1900;
  out.Month = tm.tm_mon + 1;
  out.Day = tm.tm_mday;
  out.Hour = tm.tm_hour;
  out.Minute = tm.tm_min;
  out.Second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
  out.Milliseconds = int((ticks % 10000000ULL) / 10000ULL);
  return true;
}

TFileTime CurrentFileTime() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return FileTimeFromSeconds(ts.tv_sec, ts.tv_nsec);
}

// ---- Folder listing -----------------------------------------------------------

namespace {
constexpr size_t kDirBufSize = 32 * 1024;
constexpr unsigned kStatxMask = STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BLOCKS | STATX_NLINK | STATX_INO;

TReadError ReadErrorOf(int err) {
  switch (err) {
    case EACCES:
    case EPERM: return TReadError::Denied;
    case ENOENT:
    case ENOTDIR: return TReadError::Vanished;
    case EIO: return TReadError::IoError;
    default: return TReadError::Other;
  }
}

struct LinuxDirent64 {
  ino64_t d_ino;
  off64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[];
};

// A listing buffer a thread reuses from one folder to the next.
thread_local std::vector<char> tSpareBuf;

// statx may be missing (ENOSYS on old kernels) or refused (EPERM under some
// container seccomp filters). Then folders are told by fstatat for the rest of
// the run; only a bind mount on the same device goes unnoticed that way.
std::atomic<bool> gStatxMissing{false};
std::atomic<TStatxHook> gStatxHook{nullptr};

int CallStatx(int dirFd, const char* name, int flags, unsigned mask, struct statx* out) {
  if (TStatxHook hook = gStatxHook.load(std::memory_order_relaxed)) return hook(dirFd, name, flags, mask, out);
  return ::statx(dirFd, name, flags, mask, out);
}

void FillFile(TDirEntry& out, int64_t size, int64_t sec, int64_t nsec) {
  out.Kind = TEntryKind::File;
  out.Size = size;
  out.LastWrite = FileTimeFromSeconds(sec, nsec);
}

void FillDisk(TDirEntry& out, uint64_t blocks, uint64_t links, uint64_t dev, uint64_t ino) {
  out.Allocated = int64_t(blocks) * 512;
  out.Links = uint32_t(std::min<uint64_t>(links, UINT32_MAX));
  out.Device = dev;
  out.Inode = ino;
}
}  // namespace

void SetStatxHookForTest(TStatxHook hook) {
  gStatxHook.store(hook);
  gStatxMissing.store(false);
}

TDirReader::~TDirReader() { Close(); }

bool TDirReader::IsOpen() const { return FHandle >= 0; }

void TDirReader::Close() {
  FinishListing();
  if (FHandle >= 0) ::close(int(FHandle));
  FHandle = -1;
  FEof = false;
  FOwnAllocated = -1;
}

void TDirReader::FinishListing() {
  FEof = true;
  FPos = FEnd = 0;
  if (!FBuf.empty() && tSpareBuf.empty()) tSpareBuf.swap(FBuf);
  FBuf.clear();
  FBuf.shrink_to_fit();
}

bool TDirReader::OpenPath(const std::string& path) {
  Close();
  FError = TReadError::None;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    FError = ReadErrorOf(errno);
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    FError = ReadErrorOf(errno);
    ::close(fd);
    return false;
  }
  FHandle = fd;
  FDevice = st.st_dev;
  FOwnAllocated = int64_t(st.st_blocks) * 512;
  return true;
}

bool TDirReader::OpenChild(const TDirReader& parent, std::string_view name) {
  Close();
  if (parent.FHandle < 0) return false;
  char shortName[256];
  std::string longName;
  const char* n = shortName;
  if (name.size() < sizeof(shortName)) {
    std::memcpy(shortName, name.data(), name.size());
    shortName[name.size()] = 0;
  } else {
    n = (longName = std::string(name)).c_str();
  }
  FError = TReadError::None;
  const int fd = ::openat(int(parent.FHandle), n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    // A link in the folder's place (ELOOP) was never a folder of this walk.
    FError = errno == ELOOP ? TReadError::Vanished : ReadErrorOf(errno);
    return false;
  }
  FHandle = fd;
  FDevice = parent.FDevice;  // a different device was already skipped as a mount point
  return true;
}

bool TDirReader::Fill() {
  if (FEof || FHandle < 0) return false;
  if (FBuf.empty()) FBuf.swap(tSpareBuf);
  if (FBuf.size() < kDirBufSize) FBuf.resize(kDirBufSize);
  const ssize_t n = ::getdents64(int(FHandle), FBuf.data(), FBuf.size());
  if (n <= 0) {  // end of the listing, or a folder that vanished under us
    if (n < 0 && errno != EINTR) FError = ReadErrorOf(errno);
    FEof = true;
    return false;
  }
  FPos = 0;
  FEnd = size_t(n);
  return true;
}

bool TDirReader::Next(TDirEntry& out) {
  for (;;) {
    if (FPos >= FEnd && !Fill()) return false;
    if (ClassifyNext(out)) return true;
  }
}

// Takes the entry at FPos, advances past it and fills `out`; false for "." and "..".
bool TDirReader::ClassifyNext(TDirEntry& out) {
  auto* d = reinterpret_cast<LinuxDirent64*>(FBuf.data() + FPos);
  FPos += d->d_reclen;
  const char* name = d->d_name;
  if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) return false;
  out.Name = name;
  out.NameLen = uint32_t(std::strlen(name));
  out.Kind = TEntryKind::Skipped;
  out.Size = 0;
  out.LastWrite = {};
  out.Allocated = -1;
  out.Links = 1;
  const int fd = int(FHandle);
  constexpr int kFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
  switch (d->d_type) {
    case DT_REG:
    case DT_DIR:
    case DT_UNKNOWN:
      break;
    case DT_LNK: {
      // Not followed, but a long target takes a block in the folder's room on disk.
      struct stat st;
      if (::fstatat(fd, name, &st, kFlags) == 0) out.Allocated = int64_t(st.st_blocks) * 512;
      return true;
    }
    default:  // devices, sockets, FIFOs are not files here and hold no blocks
      return true;
  }
  // Files, the bulk of a walk, take the cheaper fstatat; folders take statx,
  // which also tells a mount root on the same device (a bind mount).
  if (d->d_type == DT_REG) {
    struct stat st;
    if (::fstatat(fd, name, &st, kFlags) != 0) return true;  // vanished
    if (S_ISREG(st.st_mode)) {
      FillFile(out, int64_t(st.st_size), st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
      FillDisk(out, uint64_t(st.st_blocks), uint64_t(st.st_nlink), uint64_t(st.st_dev), uint64_t(st.st_ino));
      return true;
    }
    if (!S_ISDIR(st.st_mode)) {
      out.Allocated = int64_t(st.st_blocks) * 512;
      return true;
    }
    // replaced by a folder since it was listed: classify it as one below
  }
  if (!gStatxMissing.load(std::memory_order_relaxed)) {
    struct statx stx;
    if (CallStatx(fd, name, kFlags, kStatxMask, &stx) == 0) {
      const uint64_t dev = makedev(stx.stx_dev_major, stx.stx_dev_minor);
      if (S_ISREG(stx.stx_mode)) {
        FillFile(out, int64_t(stx.stx_size), stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
        FillDisk(out, stx.stx_blocks, stx.stx_nlink, dev, stx.stx_ino);
      } else if (S_ISDIR(stx.stx_mode)) {
        const bool mountRoot = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                               (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
        if (dev == FDevice && !mountRoot) {
          out.Kind = TEntryKind::Folder;
          out.Allocated = int64_t(stx.stx_blocks) * 512;
        }
      } else {
        out.Allocated = int64_t(stx.stx_blocks) * 512;
      }
      return true;
    }
    if (errno != ENOSYS && errno != EPERM) return true;  // vanished between listing and stat
    gStatxMissing.store(true, std::memory_order_relaxed);
  }
  struct stat st;
  if (::fstatat(fd, name, &st, kFlags) != 0) return true;
  if (S_ISREG(st.st_mode)) {
    FillFile(out, int64_t(st.st_size), st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    FillDisk(out, uint64_t(st.st_blocks), uint64_t(st.st_nlink), uint64_t(st.st_dev), uint64_t(st.st_ino));
  } else if (S_ISDIR(st.st_mode)) {
    if (uint64_t(st.st_dev) == FDevice) {
      out.Kind = TEntryKind::Folder;
      out.Allocated = int64_t(st.st_blocks) * 512;
    }
  } else {
    out.Allocated = int64_t(st.st_blocks) * 512;
  }
  return true;
}

void ReleaseFreeMemory() {
#ifdef __GLIBC__
  ::malloc_trim(0);
#endif
}

bool IsOnRotationalDisk(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  return DeviceIsRotational("/sys/dev/block", major(st.st_dev), minor(st.st_dev));
}

// ---- Drives and disk space ----------------------------------------------------

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> GetDrives() {
  return DrivesFromMounts(ReadMountTable(), [](const std::string& p) { return DirectoryExists(p); });
}

int64_t GetUsedBytes(const std::string& root) {
  struct statvfs sv;
  if (::statvfs(root.c_str(), &sv) != 0) return 0;
  const uint64_t total = uint64_t(sv.f_blocks) * sv.f_frsize;
  const uint64_t freeBytes = uint64_t(sv.f_bfree) * sv.f_frsize;
  return total > freeBytes ? int64_t(total - freeBytes) : 0;
}

std::string GetTempFolder() {
  const char* t = std::getenv("TMPDIR");
  std::string p = (t && *t) ? t : "/tmp";
  return RemoveTrailingSeparator(p);
}

void* AllocateArenaBlock(size_t size) {
  void* p = nullptr;
  if (::posix_memalign(&p, kArenaBlockSize, size) != 0) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  ::madvise(p, size, MADV_HUGEPAGE);
#endif
  return p;
}

void FreeArenaBlock(void* block, size_t) { std::free(block); }

void RaiseOpenFileLimit() {
  struct rlimit rl;
  if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
    rl.rlim_cur = rl.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &rl);
  }
}

}  // namespace vd::platform
