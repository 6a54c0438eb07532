// Times the scanner against `du -s -b` on the same tree, alternating, and
// reports the memory the finished tree holds per entry.
#include <cstdio>
#include <memory>

#include "core/scan/DiskScanner.h"
#include "TreeGen.h"

int main(int argc, char** argv) {
  const std::string root = vdbench::TreeFolderFromArgs(argc, argv, "scan_bench");
  if (root.empty()) return 2;
  auto scanOnce = [&](std::unique_ptr<vd::TDirNode>& keep) {
    vd::TScanContext ctx;
    vd::TDiskScanner scanner(&ctx);
    const double t0 = vdbench::NowMs();
    keep = scanner.Scan(root);
    return vdbench::NowMs() - t0;
  };
  const std::vector<std::string> du = {"du", "-s", "-b", root};

  // The first scan in a fresh process measures the tree's memory (nothing freed
  // earlier can be reused) and warms the cache for both contenders.
  std::unique_ptr<vd::TDirNode> tree;
  const int64_t before = vdbench::ResidentBytes();
  scanOnce(tree);
  const int64_t after = vdbench::ResidentBytes();
  const int64_t files = tree->TotalFiles, dirs = tree->TotalDirs;
  tree.reset();
  vdbench::TimeCommandMs(du);

  std::vector<double> scans, dus;
  for (int i = 0; i < 5; ++i) {
    tree.reset();
    scans.push_back(scanOnce(tree));
    dus.push_back(vdbench::TimeCommandMs(du));
  }
  tree.reset();

  const int64_t entries = files + dirs;
  const double scanMs = vdbench::Median(scans), duMs = vdbench::Median(dus);
  std::printf("scan: %lld files, %lld dirs; scan %.0f ms; du %.0f ms; ratio %.2f; tree %.0f B/entry\n",
              (long long)files, (long long)dirs, scanMs, duMs, scanMs / duMs,
              entries ? double(after - before) / double(entries) : 0.0);
  return 0;
}
