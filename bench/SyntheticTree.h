// Scan trees made in memory, without a disk: the shape of a real one (depth,
// fan-out, extension mix, sizes, names that repeat) from a fixed seed, so any
// number of entries can be built in seconds and every run gets the same tree.
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "TreeGen.h"
#include "core/scan/ScanModel.h"
#include "platform/PlatformTypes.h"

namespace vdbench {

namespace synthetic_detail {

// Children lists of the folder shape, folder 0 the root.
struct TShape {
  std::vector<uint32_t> FirstChild, NextSibling, Files;
};

inline TShape MakeShape(Rng& r, size_t folders, size_t files) {
  TShape s;
  s.FirstChild.assign(folders, UINT32_MAX);
  s.NextSibling.assign(folders, UINT32_MAX);
  s.Files.assign(folders, 0);
  std::vector<uint8_t> depth(folders, 0);
  std::vector<uint32_t> lastChild(folders, UINT32_MAX);
  for (uint32_t i = 1; i < folders; ++i) {
    // Newer folders are likelier parents, so some branches grow deep and
    // wide while others stay shallow; at most 14 levels.
    uint32_t parent;
    do parent = r.Below(4) == 0 ? uint32_t(r.Below(i)) : uint32_t(i - 1 - r.Below(std::min<uint64_t>(i, 64)));
    while (depth[parent] >= 14);
    depth[i] = uint8_t(depth[parent] + 1);
    if (lastChild[parent] == UINT32_MAX)
      s.FirstChild[parent] = i;
    else
      s.NextSibling[lastChild[parent]] = i;
    lastChild[parent] = i;
  }
  // Files gather in few folders: a skewed draw of the folder for each.
  for (size_t k = 0; k < files; ++k) {
    const uint64_t a = r.Below(folders), b = r.Below(folders);
    s.Files[std::min(a, b)] += 1;
  }
  return s;
}

}  // namespace synthetic_detail

// About `entries` files and folders (one folder in fourteen) under the
// made-up root "/synthetic". About a fifth of the files take a name from a
// pool shared by the whole tree, half of those with the size that name always
// has: the duplicates a real disk holds (libraries, icons, build outputs).
inline std::unique_ptr<vd::TDirNode> MakeSyntheticTree(size_t entries, uint64_t seed = 20261210) {
  static const char* kExts[] = {".jpg", ".JPG", ".png", ".txt", ".log", ".cpp", ".h", ".mp4", ".mkv", ".pdf",
                                ".docx", ".xlsx", ".zip", ".tar.gz", ".so", ".dll", ".exe", ".json", ".xml",
                                ".html", ".css", ".js", ".py", ".rs", ".go", ".java", ".class", ".o", ".a",
                                ".iso", ".mp3", ".flac", ".wav", ".svg", ".gif", ".bmp", ".db", ".sqlite", "", ""};
  constexpr size_t nExts = sizeof(kExts) / sizeof(kExts[0]);
  Rng r{seed};
  const size_t folders = std::max<size_t>(1, entries / 14);
  const size_t files = entries - folders;
  const synthetic_detail::TShape shape = synthetic_detail::MakeShape(r, folders, files);
  std::vector<std::string> pool;
  std::vector<int64_t> poolSize;
  const size_t poolN = std::max<size_t>(16, files / 200);
  for (size_t i = 0; i < poolN; ++i) {
    pool.push_back(RandomName(r, 3, 14) + kExts[r.Below(nExts)]);
    poolSize.push_back(int64_t(r.Below(uint64_t(1) << (4 + r.Below(20)))));
  }
  auto size = [&] {
    // Mostly small, a long tail of large ones.
    const unsigned bits = unsigned(r.Below(100) < 90 ? r.Below(18) : 18 + r.Below(13));
    return int64_t(r.Below(uint64_t(1) << bits) + 1);
  };
  vd::TTreeBuilder b("/synthetic");
  std::string name;
  // Depth first, on an explicit stack of (folder, next child to enter).
  std::vector<std::pair<uint32_t, uint32_t>> stack{{0, shape.FirstChild[0]}};
  // A folder never holds one name twice, as on a real disk (and a scan file
  // of the tree must open again): a name drawn twice gets a number.
  std::unordered_set<std::string> taken;
  auto addFiles = [&](uint32_t dir) {
    taken.clear();
    for (uint32_t k = 0; k < shape.Files[dir]; ++k) {
      const uint64_t t = 0x01D0000000000000ULL + r.Below(uint64_t(1) << 52);
      int64_t bytes;
      if (r.Below(5) == 0) {
        const size_t p = size_t(r.Below(poolN));
        name = pool[p];
        bytes = r.Below(2) ? poolSize[p] : size();
      } else {
        name = RandomName(r, 4, 24);
        name += kExts[r.Below(nExts)];
        bytes = size();
      }
      while (!taken.insert(name).second) name += "_" + std::to_string(k);
      b.AddFile(name, bytes, vd::TFileTime::FromTicks(t));
    }
  };
  addFiles(0);
  while (!stack.empty()) {
    auto& [dir, next] = stack.back();
    if (next == UINT32_MAX) {
      stack.pop_back();
      if (!stack.empty()) b.LeaveDir();
      continue;
    }
    const uint32_t child = next;
    next = shape.NextSibling[child];
    b.EnterDir(RandomName(r, 3, 16) + "_" + std::to_string(child));
    addFiles(child);
    stack.push_back({child, shape.FirstChild[child]});
  }
  return b.Finish();
}

// The worst case for duplicates: `names` names, each in `copies` folders with
// one size per name, so every file is a member of a group.
inline std::unique_ptr<vd::TDirNode> MakeDuplicateTree(size_t names, size_t copies) {
  vd::TTreeBuilder b("/duplicates");
  for (size_t c = 0; c < copies; ++c) {
    b.EnterDir("copy_" + std::to_string(c));
    for (size_t n = 0; n < names; ++n) b.AddFile("file_" + std::to_string(n) + ".dat", int64_t(1000 + n * 7));
    b.LeaveDir();
  }
  return b.Finish();
}

}  // namespace vdbench
