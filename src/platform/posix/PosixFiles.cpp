// Reading and writing whole files on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "../Platform.h"

namespace vd::platform {

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

std::string FolderOf(const std::string& path) {
  const size_t p = path.rfind('/');
  if (p == std::string::npos) return ".";
  return p == 0 ? "/" : path.substr(0, p);
}

}  // namespace

// ---- TInputFile ---------------------------------------------------------------

TInputFile::~TInputFile() { Close(); }

bool TInputFile::Open(const std::string& path, bool regularOnly) {
  Close();
  FError.clear();
  if (path == "-" && !regularOnly) {
    FHandle = STDIN_FILENO;
    FOwned = false;
    return true;
  }
  // Non-blocking open first: a FIFO in a file's place must not hang the caller.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (regularOnly ? O_NONBLOCK : 0));
  if (fd < 0) {
    FError = ErrnoText(errno);
    return false;
  }
  if (regularOnly) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      FError = "Not a regular file";
      ::close(fd);
      return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  FHandle = fd;
  FOwned = true;
  return true;
}

int64_t TInputFile::Read(void* buf, size_t n) {
  if (FHandle < 0) return -1;
  for (;;) {
    const ssize_t got = ::read(int(FHandle), buf, n);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    FError = ErrnoText(errno);
    return -1;
  }
}

bool TInputFile::Seek(int64_t offset) {
  if (FHandle < 0 || ::lseek(int(FHandle), off_t(offset), SEEK_SET) < 0) {
    FError = ErrnoText(errno);
    return false;
  }
  return true;
}

bool TInputFile::Id(TFileId& out) {
  struct stat st;
  if (FHandle < 0 || ::fstat(int(FHandle), &st) != 0) {
    FError = ErrnoText(errno);
    return false;
  }
  out = {uint64_t(st.st_dev), uint64_t(st.st_ino)};
  return true;
}

void TInputFile::Close() {
  if (FHandle >= 0 && FOwned) ::close(int(FHandle));
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
    FHandle = STDOUT_FILENO;
    return true;
  }
  // A hidden name in the same folder, so the rename stays on one file system.
  static std::atomic<unsigned> counter{0};
  const std::string folder = FolderOf(path);
  const std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  if (base.empty()) {
    FError = "Is a directory";
    return false;
  }
  // The file it replaces keeps its permission bits: the rename would
  // otherwise hand its readers whatever the umask allows.
  struct stat old;
  const bool replaced = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = (folder == "/" ? std::string() : folder) + "/." + base + "." + std::to_string(::getpid()) +
                       "-" + std::to_string(counter++) + ".tmp";
    if (path.find('/') == std::string::npos) temp = temp.substr(2);  // relative: stay relative
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replaced ? 0600 : 0666);
    if (fd >= 0) {
      FHandle = fd;
      FTemp = std::move(temp);
      if (replaced && ::fchmod(fd, old.st_mode & 07777) != 0) {
        FError = ErrnoText(errno);
        Abort();
        return false;
      }
      return true;
    }
    if (errno != EEXIST) {
      FError = ErrnoText(errno);
      return false;
    }
  }
  FError = ErrnoText(EEXIST);
  return false;
}

bool TOutputFile::Write(const void* data, size_t n) {
  if (FHandle < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t put = ::write(int(FHandle), p, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      FError = ErrnoText(errno);
      return false;
    }
    p += put;
    n -= size_t(put);
  }
  return true;
}

bool TOutputFile::Commit() {
  if (FHandle < 0) return false;
  if (FStdout) {
    FHandle = -1;
    FStdout = false;
    return FError.empty();
  }
  const int fd = int(FHandle);
  bool ok = ::fsync(fd) == 0;
  if (!ok) FError = ErrnoText(errno);
  if (::close(fd) != 0 && ok) {
    FError = ErrnoText(errno);
    ok = false;
  }
  FHandle = -1;
  if (ok && ::rename(FTemp.c_str(), FPath.c_str()) != 0) {
    FError = ErrnoText(errno);
    ok = false;
  }
  if (!ok) {
    ::unlink(FTemp.c_str());
    FTemp.clear();
    return false;
  }
  FTemp.clear();
  // The rename itself lasts only once the folder is on the disk too.
  const int dir = ::open(FolderOf(FPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void TOutputFile::Abort() {
  if (FStdout) {
    FStdout = false;
    FHandle = -1;
    return;
  }
  if (FHandle >= 0) ::close(int(FHandle));
  FHandle = -1;
  if (!FTemp.empty()) ::unlink(FTemp.c_str());
  FTemp.clear();
}

}  // namespace vd::platform
