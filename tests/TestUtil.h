// Temporary folders and files for tests that touch the real file system.
#pragma once

#include <fcntl.h>
#include <linux/capability.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace vdtest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      FPath = (base / ("vorndale-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++))).string();
      if (::mkdir(FPath.c_str(), 0755) == 0) break;
      if (errno != EEXIST) throw std::runtime_error("cannot create " + FPath);
    }
  }
  ~TempDir() {
    std::error_code ec;
    // Make everything removable again (tests may take permissions away).
    for (auto it = std::filesystem::recursive_directory_iterator(FPath, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0755);
    }
    ::chmod(FPath.c_str(), 0755);
    std::filesystem::remove_all(FPath, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& rel) const { return FPath + "/" + rel; }

  // Creates sub-folders as needed.
  std::string Dir(const std::string& rel) const {
    std::filesystem::create_directories(FPath + "/" + rel);
    return FPath + "/" + rel;
  }
  // A file of `size` bytes (sparse); `mtimeUnix` seconds and `nsec` set when given.
  std::string File(const std::string& rel, int64_t size = 0, int64_t mtimeUnix = -1, long nsec = 0) const {
    const std::string p = FPath + "/" + rel;
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + p);
    if (size > 0 && ::ftruncate(fd, size) != 0) throw std::runtime_error("cannot size " + p);
    ::close(fd);
    if (mtimeUnix >= 0) {
      timespec ts[2] = {{mtimeUnix, nsec}, {mtimeUnix, nsec}};
      ::utimensat(AT_FDCWD, p.c_str(), ts, 0);
    }
    return p;
  }

 private:
  std::string FPath;
};

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

}  // namespace vdtest
