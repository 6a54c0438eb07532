// Generates the reproducible benchmark tree: by default 400 000 files in about
// 32 000 folders, depth up to 10, varied names and extensions, sparse sizes.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace vdbench {

struct Rng {
  uint64_t s;
  uint64_t Next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t n) { return Next() % n; }
};

inline bool IsMissingOrEmpty(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return true;
  bool empty = true;
  while (dirent* e = ::readdir(d)) {
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") {
      empty = false;
      break;
    }
  }
  ::closedir(d);
  return empty;
}

inline std::string RandomName(Rng& r, size_t minLen, size_t maxLen) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- ";
  const size_t len = minLen + r.Below(maxLen - minLen + 1);
  std::string s;
  for (size_t i = 0; i < len; ++i) {
    char c = kChars[r.Below(sizeof(kChars) - 1)];
    if (c == ' ' && (i == 0 || i + 1 == len)) c = 'x';
    s.push_back(c);
  }
  return s;
}

// Creates the tree under `root` (which must be missing or empty). Returns false on failure.
inline bool GenerateTree(const std::string& root, size_t files = 400000, size_t folders = 32000) {
  static const char* kExts[] = {".jpg", ".JPG", ".png", ".txt", ".log", ".cpp", ".h", ".mp4", ".mkv", ".pdf",
                                ".docx", ".xlsx", ".zip", ".tar.gz", ".so", ".dll", ".exe", ".json", ".xml",
                                ".html", ".css", ".js", ".py", ".rs", ".go", ".java", ".class", ".o", ".a",
                                ".iso", ".mp3", ".flac", ".wav", ".svg", ".gif", ".bmp", ".db", ".sqlite", "", ""};
  const size_t nExts = sizeof(kExts) / sizeof(kExts[0]);
  ::mkdir(root.c_str(), 0755);
  Rng r{20261209};
  std::vector<std::string> paths{root};
  std::vector<int> depth{0};
  for (size_t i = 1; i < folders; ++i) {
    size_t parent;
    do parent = r.Below(paths.size());
    while (depth[parent] >= 10);
    std::string p = paths[parent] + "/" + RandomName(r, 3, 20) + "_" + std::to_string(i);
    if (::mkdir(p.c_str(), 0755) != 0) return false;
    paths.push_back(p);
    depth.push_back(depth[parent] + 1);
  }
  for (size_t i = 0; i < files; ++i) {
    const std::string& dir = paths[r.Below(paths.size())];
    std::string p = dir + "/" + RandomName(r, 2, 28) + "_" + std::to_string(i) + kExts[r.Below(nExts)];
    const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) return false;
    // log-spread sizes from 0 bytes to ~256 MiB, sparse
    const int bits = int(r.Below(29));
    const off_t size = bits == 0 ? 0 : off_t(r.Below(uint64_t(1) << bits));
    if (size > 0 && ::ftruncate(fd, size) != 0) {
      ::close(fd);
      return false;
    }
    ::close(fd);
  }
  return true;
}

// Generates the tree when the folder is missing or empty; prints what it does.
inline bool EnsureTree(const std::string& root) {
  if (!IsMissingOrEmpty(root)) return true;
  std::fprintf(stderr, "generating the benchmark tree in %s ...\n", root.c_str());
  return GenerateTree(root);
}

// The benchmark tree's folder from the command line, generated when missing or
// empty. Empty on failure, after saying why.
inline std::string TreeFolderFromArgs(int argc, char** argv, const char* program) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", program);
    return {};
  }
  const std::string root = argv[1];
  if (!EnsureTree(root)) {
    std::fprintf(stderr, "cannot generate the tree in %s\n", root.c_str());
    return {};
  }
  return root;
}

inline double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Resident set size of this process in bytes.
inline int64_t ResidentBytes() {
  std::ifstream in("/proc/self/statm");
  long pages = 0, resident = 0;
  in >> pages >> resident;
  return int64_t(resident) * ::sysconf(_SC_PAGESIZE);
}

// Runs a command (argv) and returns its wall time in ms, its output discarded.
inline double TimeCommandMs(const std::vector<std::string>& argv) {
  const double t0 = NowMs();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 1);
    ::dup2(devnull, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return NowMs() - t0;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

}  // namespace vdbench
