// Temporary folders and files for tests that touch the real file system.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace vdtest {

#ifdef _WIN32
inline constexpr char kSep[] = "\\";
#else
inline constexpr char kSep[] = "/";
#endif

// A relative path written with "/" in the system's own spelling.
inline std::string Native(std::string rel) {
#ifdef _WIN32
  for (char& c : rel)
    if (c == '/') c = '\\';
#endif
  return rel;
}

#ifdef _WIN32
inline std::wstring Wide(const std::string& utf8) {
  std::wstring w(utf8.size(), L'\0');
  w.resize(size_t(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), int(w.size()))));
  return w;
}

// Removes a file or a folder tree by its \\?\ path, so that names the plain
// API would alter (a trailing dot) and paths beyond MAX_PATH go too.
inline void RemoveTreeW(const std::wstring& p) {
  const DWORD a = ::GetFileAttributesW(p.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return;
  if (a & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(p.c_str(), a & ~DWORD(FILE_ATTRIBUTE_READONLY));
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
    ::DeleteFileW(p.c_str());
    return;
  }
  if (!(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((p + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring n = fd.cFileName;
        if (n != L"." && n != L"..") names.push_back(n);
      } while (::FindNextFileW(h, &fd));
      ::FindClose(h);
    }
    for (const auto& n : names) RemoveTreeW(p + L"\\" + n);
  }
  ::RemoveDirectoryW(p.c_str());
}
#endif

inline int ProcessId() {
#ifdef _WIN32
  return ::_getpid();
#else
  return int(::getpid());
#endif
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      FPath = (base / ("vorndale-test-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++))).string();
#ifdef _WIN32
      if (!FPath.empty() && FPath.back() == '\\') FPath.pop_back();  // a trailing one, from the temp path
      if (::CreateDirectoryA(FPath.c_str(), nullptr)) break;
      if (::GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create " + FPath);
#else
      if (::mkdir(FPath.c_str(), 0755) == 0) break;
      if (errno != EEXIST) throw std::runtime_error("cannot create " + FPath);
#endif
    }
  }
  ~TempDir() {
    std::error_code ec;
#ifndef _WIN32
    // Make everything removable again (tests may take permissions away).
    for (auto it = std::filesystem::recursive_directory_iterator(FPath, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0755);
    }
    ::chmod(FPath.c_str(), 0755);
    std::filesystem::remove_all(FPath, ec);
#else
    RemoveTreeW(L"\\\\?\\" + Wide(FPath));
#endif
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& rel) const { return FPath + kSep + Native(rel); }

  // Creates sub-folders as needed.
  std::string Dir(const std::string& rel) const {
    const std::string p = *this / rel;
    std::filesystem::create_directories(p);
    return p;
  }
  // A file of `size` bytes (sparse); `mtimeUnix` seconds and `nsec` set when given.
  std::string File(const std::string& rel, int64_t size = 0, int64_t mtimeUnix = -1, long nsec = 0) const {
    const std::string p = *this / rel;
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
#ifdef _WIN32
    // Through \\?\ the name is taken as written, a trailing dot included.
    HANDLE h = ::CreateFileW((L"\\\\?\\" + Wide(p)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + p);
    LARGE_INTEGER end;
    end.QuadPart = size;
    const bool sized = size <= 0 || (::SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(h));
    if (mtimeUnix >= 0) {
      const uint64_t ticks = (uint64_t(mtimeUnix) + 11644473600ULL) * 10000000ULL + uint64_t(nsec) / 100;
      const FILETIME ft{DWORD(ticks), DWORD(ticks >> 32)};
      ::SetFileTime(h, nullptr, &ft, &ft);
    }
    ::CloseHandle(h);
    if (!sized) throw std::runtime_error("cannot size " + p);
#else
    const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + p);
    if (size > 0 && ::ftruncate(fd, size) != 0) throw std::runtime_error("cannot size " + p);
    ::close(fd);
    if (mtimeUnix >= 0) {
      timespec ts[2] = {{mtimeUnix, nsec}, {mtimeUnix, nsec}};
      ::utimensat(AT_FDCWD, p.c_str(), ts, 0);
    }
#endif
    return p;
  }

 private:
  std::string FPath;
};

#ifndef _WIN32
// Runs `fn` on a thread that has given up the capabilities letting root read any
// folder, so permission bits apply again. False when the system refuses.
inline bool RunWithoutDacOverride(const std::function<void()>& fn) {
  bool dropped = false;
  std::thread th([&] {
    __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &hdr, data) != 0) return;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) data[cap / 32].effective &= ~(1u << (cap % 32));
    if (::syscall(SYS_capset, &hdr, data) != 0) return;  // affects this thread only
    dropped = true;
    fn();
  });
  th.join();
  return dropped;
}

#endif

// Runs `fn` on a thread with a 256 KiB stack.
inline void RunOnSmallStack(const std::function<void()>& fn) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  pthread_t th;
  auto* copy = new std::function<void()>(fn);
  pthread_create(&th, &attr, [](void* p) -> void* {
    auto* f = static_cast<std::function<void()>*>(p);
    (*f)();
    delete f;
    return nullptr;
  }, copy);
  pthread_join(th, nullptr);
  pthread_attr_destroy(&attr);
}

#ifndef _WIN32
// A chain of `depth` folders named "d" below `root`, with one file at the bottom.
// Built through folder handles: the full path is far longer than PATH_MAX.
inline bool MakeDeepChain(const std::string& root, int depth, const char* fileName, off_t size) {
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < depth && fd >= 0; ++i) {
    if (::mkdirat(fd, "d", 0755) != 0) return false;
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  if (fd < 0) return false;
  const int f = ::openat(fd, fileName, O_CREAT | O_WRONLY, 0644);
  const bool ok = f >= 0 && ::ftruncate(f, size) == 0;
  if (f >= 0) ::close(f);
  ::close(fd);
  return ok;
}

// Removes what MakeDeepChain made, bottom up, through folder handles.
inline void RemoveDeepChain(const std::string& root, int depth) {
  std::vector<int> fds{::open(root.c_str(), O_RDONLY | O_DIRECTORY)};
  for (int i = 0; i < depth && fds.back() >= 0; ++i) fds.push_back(::openat(fds.back(), "d", O_RDONLY | O_DIRECTORY));
  if (fds.back() >= 0) {
    // the bottom folder's files
    std::filesystem::path self = "/proc/self/fd/" + std::to_string(fds.back());
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(self, ec)) ::unlinkat(fds.back(), e.path().filename().c_str(), 0);
  }
  for (size_t i = fds.size(); i-- > 1;) {
    ::close(fds[i]);
    ::unlinkat(fds[i - 1], "d", AT_REMOVEDIR);
  }
  ::close(fds[0]);
}
#endif

}  // namespace vdtest
