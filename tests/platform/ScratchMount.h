// Real mounts for tests: a tmpfs or a bind mount, made in a mount namespace of
// the test process's own where it can have one, so nothing outlives the test.
// Mounting needs root (CI runs as root); elsewhere Mounted() is false and
// Why() says what refused it, for the caller's skip message.
#pragma once

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace vdtest {

class TScratchMount {
 public:
  // A small tmpfs at `at` (an existing folder).
  static TScratchMount Tmpfs(const std::string& at) { return TScratchMount(at, "tmpfs", "tmpfs", 0, "size=4m"); }
  // The folder `from` mounted again at `at`.
  static TScratchMount Bind(const std::string& from, const std::string& at) {
    return TScratchMount(at, from.c_str(), nullptr, MS_BIND, nullptr);
  }

  TScratchMount(TScratchMount&& o) noexcept : FAt(std::move(o.FAt)), FWhy(std::move(o.FWhy)), FOn(o.FOn) { o.FOn = false; }
  TScratchMount& operator=(TScratchMount&&) = delete;
  ~TScratchMount() {
    if (FOn) ::umount2(FAt.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return FOn; }
  const std::string& Why() const { return FWhy; }

 private:
  TScratchMount(const std::string& at, const char* source, const char* type, unsigned long flags, const char* data)
      : FAt(at) {
    PrivateNamespace();
    FOn = ::mount(source, at.c_str(), type, flags, data) == 0;
    if (!FOn) FWhy = std::string("mounting refused here: ") + std::strerror(errno);
  }

  // Once per process; when the namespace cannot be had the mounts go into the
  // shared one and the destructor takes them away.
  static void PrivateNamespace() {
    static const bool done = [] {
      return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    (void)done;
  }

  std::string FAt, FWhy;
  bool FOn = false;
};

}  // namespace vdtest
