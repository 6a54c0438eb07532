// The walk on several threads builds the very tree one thread builds, stops when
// asked, and stays consistent while the tree changes under it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "core/scan/DiskScanner.h"
#include "SameTree.h"
#include "TestUtil.h"

using namespace vd;
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr int kFiles = 600;  // wine creates files slowly; the walk is the same
#else
constexpr int kFiles = 3000;
#endif

// Folders of varied depth and width, names of every length and extension,
// sizes and dates, empty folders, and on POSIX links and a FIFO to skip.
void MakeVariedTree(const vdtest::TempDir& t, int files, unsigned seed) {
  std::mt19937 rng(seed);
  static const char* kExts[] = {".jpg", ".JPG", ".txt", "", ".tar.gz", ".", ".Ä", ".log", ".h"};
  std::vector<std::string> dirs{""};
  for (int i = 0; i < files / 10; ++i) {
    const std::string& parent = dirs[rng() % dirs.size()];
    dirs.push_back(parent + "d" + std::to_string(i) + std::string(rng() % 12, 'x') + "/");
    t.Dir(dirs.back());
  }
  for (int i = 0; i < files; ++i) {
    const std::string name = dirs[rng() % dirs.size()] + "f" + std::to_string(i) + std::string(rng() % 30, 'n') +
                             kExts[rng() % (sizeof(kExts) / sizeof(kExts[0]))];
    t.File(name, int64_t(rng() % 100000), 1500000000 + int64_t(rng() % 100000000), long(rng() % 1000000000));
  }
#ifndef _WIN32
  fs::create_directory_symlink(t.Path(), t / "loop");
  fs::create_symlink(t / "nowhere", t / "dangling");
  ::mkfifo((t / "fifo").c_str(), 0644);
#endif
}

std::unique_ptr<TScanContext> Context(int threads, bool filtered) {
  auto c = std::make_unique<TScanContext>();
  c->ScanThreads = threads;
  if (filtered) {
    c->ExcludeLessThan = true;
    c->LessThanBytes = 500;
    c->ExcludePattern = true;
    c->PatternMasks = {"*.JPG", std::string("*") + vdtest::kSep + "d1*" + vdtest::kSep + "*"};
  }
  return c;
}

struct TScanned {
  std::unique_ptr<TDirNode> Root;
  int64_t Files, Dirs, Bytes;
};

TScanned ScanOn(int threads, const std::string& path, bool filtered = false) {
  const auto ctx = Context(threads, filtered);
  TDiskScanner s(ctx.get());
  auto root = s.Scan(path);
  return {std::move(root), s.FFiles, s.FDirs, s.FBytes};
}

// One thread's tree against four threads' (more than this machine has cores,
// so that the workers interleave in many ways), with and without filters.
void ExpectParallelEqualsOneThread(const std::string& path, int64_t files, int64_t dirs) {
  for (bool filtered : {false, true}) {
    const TScanned a = ScanOn(1, path, filtered), b = ScanOn(4, path, filtered);
    ASSERT_TRUE(a.Root && b.Root);
    if (!filtered) {
      EXPECT_EQ(a.Root->TotalFiles, files);
      EXPECT_EQ(a.Root->TotalDirs, dirs);
    }
    vdtest::ExpectSameTree(a.Root.get(), b.Root.get());
    if (::testing::Test::HasFatalFailure()) return;
    vdtest::ExpectConsistent(b.Root.get());
    EXPECT_EQ(a.Files, b.Files);
    EXPECT_EQ(a.Dirs, b.Dirs);
    EXPECT_EQ(a.Bytes, b.Bytes);
  }
}

void SetEnvVar(const char* name, const char* value) {
#ifdef _WIN32
  ::_putenv_s(name, value ? value : "");
#else
  if (value)
    ::setenv(name, value, 1);
  else
    ::unsetenv(name);
#endif
}

}  // namespace

TEST(ParallelScan, VariedTreeEqualsOneThreadNodeByNode) {
  vdtest::TempDir t;
  MakeVariedTree(t, kFiles, 17);
  ExpectParallelEqualsOneThread(t.Path(), kFiles, kFiles / 10 + 1);
}

TEST(ParallelScan, FolderOfTwoHundredThousandFilesEqualsOneThread) {
#ifdef _WIN32
  vdtest::TempDir t;
  const int n = 2000;  // wine creates files slowly; the walk is the same
  for (int i = 0; i < n; ++i) t.File("many/" + std::to_string(i) + (i % 3 ? ".dat" : ""), i % 1000);
  t.File("after.txt", 1);
  ExpectParallelEqualsOneThread(t.Path(), n + 1, 2);
#else
  // In memory where the system has it: on a disk, creating the files takes
  // most of a minute; the walk is the same.
  std::error_code ec;
  const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
  const fs::path root = base / ("vorndale-test-flat-" + std::to_string(::getpid()));
  struct TRemove {
    fs::path P;
    ~TRemove() {
      std::error_code e;
      fs::remove_all(P, e);
    }
  } remove{root};
  fs::create_directories(root / "many");
  const int n = 200000;
  const int dfd = ::open((root / "many").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dfd, 0);
  for (int i = 0; i < n; ++i) {
    const int fd = ::openat(dfd, (std::to_string(i) + (i % 3 ? ".dat" : "")).c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, i % 1000), 0);
    ::close(fd);
  }
  ::close(dfd);
  ::close(::open((root / "after.txt").c_str(), O_CREAT | O_WRONLY, 0644));
  ExpectParallelEqualsOneThread(root.string(), n + 1, 2);
#endif
}

TEST(ParallelScan, FiveThousandLevelsEqualOneThread) {
#ifdef _WIN32
  GTEST_SKIP() << "wine maps paths to Unix paths, which end at PATH_MAX";
#else
  vdtest::TempDir t;
  ASSERT_TRUE(vdtest::MakeDeepChain(t.Path(), 5000, "file.bin", 42));
  t.File("top.txt", 5);
  ExpectParallelEqualsOneThread(t.Path(), 2, 5001);
  vdtest::RemoveDeepChain(t.Path(), 5000);
#endif
}

TEST(ParallelScan, TreeChangingUnderTheScanStillAddsUp) {
  vdtest::TempDir t;
  MakeVariedTree(t, kFiles, 5);
  std::atomic<bool> stop{false};
  std::thread mutator([&] {
    std::mt19937 rng(9);
    for (int i = 0; !stop; ++i) {
      std::error_code ec;
      const std::string d = "churn" + std::to_string(i % 7);
      if (rng() % 2)
        t.File(d + "/sub" + std::to_string(i % 5) + "/f" + std::to_string(i), i % 777);
      else
        fs::remove_all(t / d, ec);  // whole folders vanish while they are listed
      fs::rename(t / ("churn" + std::to_string(rng() % 7)), t / ("churn" + std::to_string(rng() % 7)), ec);  // and move
    }
  });
  for (int round = 0; round < 25; ++round) {
    const TScanned s = ScanOn(4, t.Path());
    ASSERT_TRUE(s.Root);
    vdtest::ExpectConsistent(s.Root.get());
    EXPECT_EQ(s.Files, s.Root->TotalFiles);
    EXPECT_EQ(s.Dirs, s.Root->TotalDirs);
  }
  stop = true;
  mutator.join();
}

TEST(ParallelScan, StopLeavesAPartialTreeThatAddsUp) {
  vdtest::TempDir t;
  MakeVariedTree(t, kFiles, 23);
  for (int threads : {1, 4}) {
    const auto ctx = Context(threads, false);
    TDiskScanner s(ctx.get());
    std::atomic<uint32_t> tick{0};
    s.FTickSource = [&tick] { return tick += 100; };  // every entry may report
    int64_t shown = -1;
    s.OnProgress = [&](const std::string&, int64_t files, int64_t) {
      if (files >= kFiles / 10 && shown < 0) {
        shown = files;
        ctx->Cancel();
      }
    };
    auto root = s.Scan(t.Path());
    ASSERT_TRUE(root);
    // Each worker stops before its next entry; it may not yet have shown the
    // progress its last few hundred. Folders met but not opened stay empty.
    EXPECT_LE(root->TotalFiles, shown + 300 * threads) << threads;
    EXPECT_EQ(s.FFiles, root->TotalFiles);
    EXPECT_EQ(s.FDirs, root->TotalDirs);
    vdtest::ExpectConsistent(root.get());
  }
}

TEST(ParallelScan, ThreadCountFromSettingThenEnvironment) {
  TScanContext ctx;
  TDiskScanner s(&ctx);
  const char* saved = std::getenv("VORNDALE_SCAN_THREADS");
  const std::string keep = saved ? saved : "";
  SetEnvVar("VORNDALE_SCAN_THREADS", nullptr);
  const int automatic = s.ThreadsFor(".");
  EXPECT_GE(automatic, 1);
  const struct {
    int setting;
    const char* env;
    int want;  // 0: the automatic choice
  } cases[] = {{3, "5", 3}, {0, "5", 5}, {0, "zero", 0}, {0, "-2", 0}, {0, nullptr, 0}};
  for (const auto& c : cases) {
    ctx.ScanThreads = c.setting;
    SetEnvVar("VORNDALE_SCAN_THREADS", c.env);
    EXPECT_EQ(s.ThreadsFor("."), c.want ? c.want : automatic) << c.setting << " " << (c.env ? c.env : "-");
  }
  SetEnvVar("VORNDALE_SCAN_THREADS", saved ? keep.c_str() : nullptr);
}
