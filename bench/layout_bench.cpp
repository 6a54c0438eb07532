// Times building and painting the four treemap layouts for a full-HD surface
// against scanning the same tree, alternating, and reports what the layouts
// hold per tile.
#include <time.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/layout/Canvas.h"
#include "core/scan/DiskScanner.h"
#include "core/layout/DupTreemap.h"
#include "core/results/FileList.h"
#include "core/layout/FilesTreemap.h"
#include "core/layout/FolderTreemap.h"
#include "core/layout/HierTreemap.h"
#include "TreeGen.h"
#include "platform/Platform.h"

namespace {

constexpr int kLayouts = 4;

// CPU time of this process: on a loaded machine it moves far less than the
// wall clock, so it is printed beside the wall-clock figures.
double CpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}
const char* const kNames[kLayouts] = {"files", "folders", "hierarchical", "duplicates"};

struct TLayouts {
  vd::TTreemapLayout Files;
  vd::TFolderTreemapLayout Folders;
  vd::THierTreemapLayout Hier;
  vd::TDupTreemapLayout Dup;

  void Clear() {
    Files.Clear();
    Folders.Clear();
    Hier.Clear();
    Dup.Clear();
  }
  size_t Tiles(int i) const {
    switch (i) {
      case 0: return Files.Items().size();
      case 1: return Folders.Items().size();
      case 2: return Hier.Items().size();
      default: return Dup.Items().size();
    }
  }
  size_t Memory(int i) const {
    switch (i) {
      case 0: return Files.MemoryBytes();
      case 1: return Folders.MemoryBytes();
      case 2: return Hier.MemoryBytes();
      default: return Dup.MemoryBytes();
    }
  }
};

// What the main window has at hand before it lays anything out: the flat file
// list (shared with the file list view) and the duplicates' colour map.
struct TInputs {
  std::vector<vd::TFileLeaf*> Files;
  vd::TDupColorMap Colours;
};

TInputs MakeInputs(const vd::TDirNode* root) {
  TInputs in;
  int64_t total = 0;
  in.Files = vd::FlattenAllFiles(root, total);
  // Every tenth file is a duplicate; groups of about ten share a colour.
  for (size_t i = 0; i < in.Files.size(); i += 10)
    in.Colours.Set(in.Files[i], vd::HashColor(std::to_string(i / 100)));
  return in;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string root = vdbench::TreeFolderFromArgs(argc, argv, "layout_bench");
  if (root.empty()) return 2;
  const vd::TRect target{0, 0, 1920, 1080};
  vd::TPixelCanvas canvas(target.Right, target.Bottom);
  TLayouts layouts;

  auto scanOnce = [&](std::unique_ptr<vd::TDirNode>& keep) {
    vd::TScanContext ctx;
    vd::TDiskScanner scanner(&ctx);
    const double t0 = vdbench::NowMs();
    keep = scanner.Scan(root);
    return vdbench::NowMs() - t0;
  };
  // Builds all four layouts; per-layout times go to `each`.
  auto buildAll = [&](vd::TDirNode* tree, const TInputs& in, double* each) {
    double t = vdbench::NowMs(), t0 = t;
    layouts.Files.BuildFromFiles(in.Files, target);
    each[0] = vdbench::NowMs() - t, t = vdbench::NowMs();
    layouts.Folders.BuildFromRoot(tree, target);
    each[1] = vdbench::NowMs() - t, t = vdbench::NowMs();
    layouts.Hier.BuildFromRootSquarified(tree, target);
    each[2] = vdbench::NowMs() - t, t = vdbench::NowMs();
    layouts.Dup.BuildFromRootDuplicates(tree, &in.Colours, target);
    each[3] = vdbench::NowMs() - t;
    return vdbench::NowMs() - t0;
  };
  auto paintAll = [&](double* each) {
    double t = vdbench::NowMs(), t0 = t;
    layouts.Files.Paint(canvas);
    each[0] = vdbench::NowMs() - t, t = vdbench::NowMs();
    layouts.Folders.Paint(canvas);
    each[1] = vdbench::NowMs() - t, t = vdbench::NowMs();
    layouts.Hier.Paint(canvas);
    each[2] = vdbench::NowMs() - t, t = vdbench::NowMs();
    layouts.Dup.Paint(canvas);
    each[3] = vdbench::NowMs() - t;
    return vdbench::NowMs() - t0;
  };

  // Warm-up: caches, allocator, and the tile and memory figures.
  std::unique_ptr<vd::TDirNode> tree;
  scanOnce(tree);
  double each[kLayouts];
  {
    const TInputs in = MakeInputs(tree.get());
    buildAll(tree.get(), in, each);
    paintAll(each);
  }
  size_t tiles = 0, memory = 0;
  for (int i = 0; i < kLayouts; ++i) {
    tiles += layouts.Tiles(i);
    memory += layouts.Memory(i);
  }
  std::printf("tree: %lld files, %lld dirs\n", (long long)tree->TotalFiles, (long long)tree->TotalDirs);
  for (int i = 0; i < kLayouts; ++i)
    std::printf("  %-12s %8zu tiles, %6.1f B/tile\n", kNames[i], layouts.Tiles(i),
                layouts.Tiles(i) ? double(layouts.Memory(i)) / double(layouts.Tiles(i)) : 0.0);
  layouts.Clear();
  tree.reset();

  std::vector<double> scans, builds, paints, inputs, cpuScans, cpuBuilds, cpuPaints;
  std::vector<double> buildEach[kLayouts], paintEach[kLayouts];
  for (int run = 0; run < 5; ++run) {
    layouts.Clear();  // the tiles point into the tree about to go
    tree.reset();
    double c0 = CpuMs();
    scans.push_back(scanOnce(tree));
    cpuScans.push_back(CpuMs() - c0);
    const double t0 = vdbench::NowMs();
    const TInputs in = MakeInputs(tree.get());
    inputs.push_back(vdbench::NowMs() - t0);
    c0 = CpuMs();
    builds.push_back(buildAll(tree.get(), in, each));
    cpuBuilds.push_back(CpuMs() - c0);
    for (int i = 0; i < kLayouts; ++i) buildEach[i].push_back(each[i]);
    c0 = CpuMs();
    paints.push_back(paintAll(each));
    cpuPaints.push_back(CpuMs() - c0);
    for (int i = 0; i < kLayouts; ++i) paintEach[i].push_back(each[i]);
  }
  layouts.Clear();
  tree.reset();

  for (int i = 0; i < kLayouts; ++i)
    std::printf("  %-12s build %7.1f ms, paint %6.1f ms\n", kNames[i], vdbench::Median(buildEach[i]),
                vdbench::Median(paintEach[i]));
  std::printf("  inputs (flat file list, colour map; not counted) %.1f ms\n", vdbench::Median(inputs));
  const double cpuBuild = vdbench::Median(cpuBuilds), cpuPaint = vdbench::Median(cpuPaints),
               cpuScan = vdbench::Median(cpuScans);
  std::printf("  cpu time: build %.0f ms; paint %.0f ms; scan %.0f ms; ratio %.2f\n", cpuBuild, cpuPaint, cpuScan,
              (cpuBuild + cpuPaint) / cpuScan);
  const double buildMs = vdbench::Median(builds), paintMs = vdbench::Median(paints), scanMs = vdbench::Median(scans);
  std::printf("layouts: build %.0f ms; paint %.0f ms; scan %.0f ms; ratio %.2f; tiles %.0f B/tile\n", buildMs, paintMs,
              scanMs, (buildMs + paintMs) / scanMs, tiles ? double(memory) / double(tiles) : 0.0);
  return 0;
}
