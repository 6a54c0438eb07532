// Times the scanner on N threads and on one against `du -s -b` on the same tree,
// alternating, reports the memory the finished tree holds per entry, and how
// long a Stop takes to end the walk.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "core/scan/DiskScanner.h"
#include "TreeGen.h"

namespace {

// The threads to compare with one: VORNDALE_SCAN_THREADS, else every hardware
// thread (the product would also look at the disk's kind; a benchmark must not).
int ParallelThreads() {
  if (const char* env = std::getenv("VORNDALE_SCAN_THREADS"); env && std::atoi(env) > 0) return std::atoi(env);
  return std::max(1, int(std::thread::hardware_concurrency()));
}

std::string List(const std::vector<double>& v) {
  std::string s;
  for (double x : v) s += (s.empty() ? "" : " ") + std::to_string(int(x + 0.5));
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string root = vdbench::TreeFolderFromArgs(argc, argv, "scan_bench");
  if (root.empty()) return 2;
  const int threads = ParallelThreads();
  auto scanOnce = [&](int n, std::unique_ptr<vd::TDirNode>& keep) {
    vd::TScanContext ctx;
    ctx.ScanThreads = n;
    vd::TDiskScanner scanner(&ctx);
    const double t0 = vdbench::NowMs();
    keep = scanner.Scan(root);
    return vdbench::NowMs() - t0;
  };
  const std::vector<std::string> du = {"du", "-s", "-b", root};

  // The first scan in a fresh process measures the tree's memory (nothing freed
  // earlier can be reused) and warms the cache for every contender.
  std::unique_ptr<vd::TDirNode> tree;
  const int64_t before = vdbench::ResidentBytes();
  scanOnce(threads, tree);
  const int64_t after = vdbench::ResidentBytes();
  const int64_t files = tree->TotalFiles, dirs = tree->TotalDirs;
  tree.reset();
  vdbench::TimeCommandMs(du);

  std::vector<double> scans, singles, dus;
  for (int i = 0; i < 5; ++i) {
    scans.push_back(scanOnce(threads, tree));
    tree.reset();
    singles.push_back(scanOnce(1, tree));
    tree.reset();
    dus.push_back(vdbench::TimeCommandMs(du));
  }

  // Stop: cancel at a different point of each walk, time until Scan returns.
  std::vector<double> stops;
  for (int i = 1; i <= 5; ++i) {
    vd::TScanContext ctx;
    ctx.ScanThreads = threads;
    vd::TDiskScanner scanner(&ctx);
    double cancelledAt = 0;
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(vdbench::Median(scans) * i / 6));
      cancelledAt = vdbench::NowMs();
      ctx.Cancel();
    });
    tree = scanner.Scan(root);
    const double returned = vdbench::NowMs();
    stopper.join();
    stops.push_back(std::max(0.0, returned - cancelledAt));
    tree.reset();
  }

  const int64_t entries = files + dirs;
  const double scanMs = vdbench::Median(scans), singleMs = vdbench::Median(singles), duMs = vdbench::Median(dus);
  std::printf("runs (ms): %d threads %s; one thread %s; du %s; stop %s\n", threads, List(scans).c_str(),
              List(singles).c_str(), List(dus).c_str(), List(stops).c_str());
  std::printf("threads: one thread %.0f ms; %d threads %.0f ms; speed-up %.2f\n", singleMs, threads, scanMs,
              scanMs > 0 ? singleMs / scanMs : 0.0);
  std::printf(
      "scan: %lld files, %lld dirs; scan %.0f ms; du %.0f ms; ratio %.2f; tree %.0f B/entry; threads %d; "
      "one thread %.0f ms; stop %.0f ms\n",
      (long long)files, (long long)dirs, scanMs, duMs, scanMs / duMs,
      entries ? double(after - before) / double(entries) : 0.0, threads, singleMs,
      *std::max_element(stops.begin(), stops.end()));
  return 0;
}
