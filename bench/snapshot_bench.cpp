// Opening a scan file against scanning the same tree live: the export of the
// benchmark tree is read back (plain and zstd) and timed against the scanner,
// alternating, with the memory each result holds measured in a fresh process.
// With --synthetic N a tree of N entries made in memory is written (zstd) and
// opened again, and what the opened tree holds is set against the same tree
// made in memory: the window's memory after opening a file is then the one
// pipeline_bench --synthetic N measures.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "SyntheticTree.h"
#include "TreeGen.h"
#include "core/dump/ScanDump.h"
#include "core/scan/DiskScanner.h"

namespace {

std::unique_ptr<vd::TDirNode> Scan(const std::string& root) {
  vd::TScanContext ctx;
  vd::TDiskScanner scanner(&ctx);
  return scanner.Scan(root);
}

// Resident bytes that `make` adds, measured in a child so nothing freed before
// can be reused.
template <class F>
int64_t MemoryOf(F make) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int64_t before = vdbench::ResidentBytes();
    auto keep = make();
    const int64_t delta = vdbench::ResidentBytes() - before;
    (void)!::write(fds[1], &delta, sizeof delta);
    ::_exit(0);
  }
  int64_t delta = -1;
  (void)!::read(fds[0], &delta, sizeof delta);
  ::close(fds[0]);
  ::close(fds[1]);
  ::waitpid(pid, nullptr, 0);
  return delta;
}

int SyntheticRun(size_t n) {
  const std::string packed = "/tmp/vorndale-snapshot-synthetic.json.zst";
  int64_t entries = 0;
  double writeMs = 0;
  {
    auto tree = vdbench::MakeSyntheticTree(n);
    entries = tree->TotalFiles + tree->TotalDirs;
    const double t0 = vdbench::NowMs();
    vd::WriteScanFile(*tree, packed);
    writeMs = vdbench::NowMs() - t0;
  }
  const int64_t madeMem = MemoryOf([&] { return vdbench::MakeSyntheticTree(n); });
  double openMs = 0;
  const int64_t openMem = MemoryOf([&] {
    const double t0 = vdbench::NowMs();
    auto root = vd::ReadScanFile(packed).Root;
    openMs = vdbench::NowMs() - t0;
    if (root->TotalFiles + root->TotalDirs != entries) std::fprintf(stderr, "the opened file lost entries\n");
    std::printf("open %.0f ms; ", openMs);  // measured in the child
    std::fflush(stdout);
    return root;
  });
  std::printf("snapshot synthetic: %lld entries; write %.0f ms; memory made in memory %.0f B/entry, opened %.0f B/entry; "
              "ratio %.2f\n",
              (long long)entries, writeMs, double(madeMem) / double(entries), double(openMem) / double(entries),
              double(openMem) / double(madeMem));
  ::unlink(packed.c_str());
  return openMem > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--synthetic") return SyntheticRun(std::stoull(argv[2]));
  const std::string root = vdbench::TreeFolderFromArgs(argc, argv, "snapshot_bench");
  if (root.empty()) return 2;
  const std::string plain = "/tmp/vorndale-snapshot-bench.json", packed = plain + ".zst";

  // Warm the cache, and write the two files from one scan.
  int64_t files = 0, dirs = 0;
  double writeMs = 0, writeZstMs = 0;
  {
    auto tree = Scan(root);
    files = tree->TotalFiles;
    dirs = tree->TotalDirs;
    double t0 = vdbench::NowMs();
    vd::WriteScanFile(*tree, plain);
    writeMs = vdbench::NowMs() - t0;
    t0 = vdbench::NowMs();
    vd::WriteScanFile(*tree, packed);
    writeZstMs = vdbench::NowMs() - t0;
  }
  const int64_t scanMem = MemoryOf([&] { return Scan(root); });
  const int64_t openMem = MemoryOf([&] { return vd::ReadScanFile(plain).Root; });

  std::vector<double> scans, opens, openZst;
  for (int i = 0; i < 3; ++i) {
    double t0 = vdbench::NowMs();
    auto a = Scan(root);
    scans.push_back(vdbench::NowMs() - t0);
    a.reset();
    t0 = vdbench::NowMs();
    auto b = vd::ReadScanFile(plain).Root;
    opens.push_back(vdbench::NowMs() - t0);
    if (b->TotalFiles != files || b->TotalDirs != dirs) {
      std::fprintf(stderr, "the opened file does not hold the scanned tree\n");
      return 1;
    }
    b.reset();
    t0 = vdbench::NowMs();
    auto c = vd::ReadScanFile(packed).Root;
    openZst.push_back(vdbench::NowMs() - t0);
  }
  const double scanMs = vdbench::Median(scans), openMs = vdbench::Median(opens), zstMs = vdbench::Median(openZst);
  std::printf("snapshot: %lld files, %lld dirs; write %.0f ms (zstd %.0f ms); scan %.0f ms; open %.0f ms (zstd %.0f ms); "
              "ratio %.2f (target <= 0.5); memory scan %.1f MiB, open %.1f MiB\n",
              (long long)files, (long long)dirs, writeMs, writeZstMs, scanMs, openMs, zstMs, openMs / scanMs,
              double(scanMem) / 1048576.0, double(openMem) / 1048576.0);
  ::unlink(plain.c_str());
  ::unlink(packed.c_str());
  return 0;
}
