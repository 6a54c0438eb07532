// Work run under a bound on the address space, in a child process: what would
// grow with the sum of paths' lengths, or with depth times entries, breaks the
// bound many times over, while the work itself fits with room to spare. Not a
// timing limit: a slow machine passes as well as a fast one.
#pragma once

#include <cstddef>
#include <functional>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#endif

namespace vdtest {

// A sanitizer maps terabytes of shadow memory: no bound on the address space
// fits it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// Runs `work` in a child process that may map at most `bytes` more than this
// one has now; true when it returned true there (an exception is a false).
inline bool WithinAddressSpace(size_t bytes, const std::function<bool()>& work) {
#ifdef _WIN32
  (void)bytes;
  return work();
#else
  unsigned long long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const pid_t child = fork();
  if (child == 0) {
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + bytes;
    bool ok = false;
    try {
      ok = setrlimit(RLIMIT_AS, &limit) == 0 && work();
    } catch (...) {
    }
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

}  // namespace vdtest
