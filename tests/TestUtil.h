// Temporary folders and files for tests that touch the real file system.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

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

}  // namespace vdtest
