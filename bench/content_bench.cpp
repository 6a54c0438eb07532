// The content check of duplicates against `cat` of the same files, alternating,
// with the bytes the check read against the bytes the groups hold.
//
// The generated benchmark tree has unique file names, so no duplicate groups;
// when the folder given holds fewer than 100 groups, a duplicates set is made
// once beside it (<folder>-dups): groups of 2 or 3 files of one name and size,
// most of them copies, some with the same start and another end, some
// different from the first byte.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "TreeGen.h"
#include "core/results/ContentCheck.h"
#include "core/results/FileList.h"
#include "core/scan/DiskScanner.h"

namespace {

bool WriteBytes(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
  ::close(fd);
  return ok;
}

bool MakeDuplicatesSet(const std::string& root) {
  vdbench::Rng r{777};
  ::mkdir(root.c_str(), 0755);
  for (const char* sub : {"/a", "/b", "/c"})
    if (::mkdir((root + sub).c_str(), 0755) != 0 && errno != EEXIST) return false;
  auto randomBytes = [&](size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i += 8) {
      const uint64_t v = r.Next();
      std::memcpy(s.data() + i, &v, std::min<size_t>(8, n - i));
    }
    return s;
  };
  // 3000 small groups (up to 64 KiB) and 150 large ones (64 KiB to 4 MiB).
  for (int g = 0; g < 3150; ++g) {
    const bool large = g >= 3000;
    const int bits = large ? 16 + int(r.Below(7)) : int(r.Below(17));
    const size_t size = size_t(r.Below(uint64_t(1) << bits)) + (large ? 65536 : 0);
    const std::string name = "/file" + std::to_string(g) + ".dat";
    const std::string base = randomBytes(size);
    const int members = 2 + int(r.Below(2));
    const uint64_t kind = r.Below(10);  // 0-5 copies, 6-7 other end, 8-9 other start
    for (int m = 0; m < members; ++m) {
      std::string bytes = base;
      if (m > 0 && size > 0 && kind >= 6) bytes[kind >= 8 ? 0 : size - 1] ^= char(m);
      if (!WriteBytes(root + "/" + "abc"[m] + name, bytes)) return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string given = vdbench::TreeFolderFromArgs(argc, argv, "content_bench");
  if (given.empty()) return 2;
  auto scanGroups = [](const std::string& root, std::unique_ptr<vd::TDirNode>& tree) {
    vd::TScanContext ctx;
    vd::TDiskScanner scanner(&ctx);
    tree = scanner.Scan(root);
    int64_t total = 0;
    return vd::FindDuplicates(vd::FlattenAllFiles(tree.get(), total)).Groups;
  };
  std::unique_ptr<vd::TDirNode> tree;
  std::string root = given;
  vd::TDupGroups groups = scanGroups(root, tree);
  if (groups.size() < 100) {
    std::printf("content: %s has %zu duplicate groups; using %s-dups\n", given.c_str(), groups.size(), given.c_str());
    root = given + "-dups";
    if (vdbench::IsMissingOrEmpty(root)) {
      std::fprintf(stderr, "making the duplicates set in %s ...\n", root.c_str());
      if (!MakeDuplicatesSet(root)) {
        std::fprintf(stderr, "cannot make %s\n", root.c_str());
        return 2;
      }
    }
    groups = scanGroups(root, tree);
  }

  std::vector<std::string> cat{"cat"};
  int64_t groupBytes = 0, files = 0;
  for (const auto& g : groups) {
    groupBytes += g->TotalBytes();
    files += int64_t(g->Files.size());
    for (const vd::TFileLeaf* f : g->Files) cat.push_back(f->FullPath());
  }
  vdbench::TimeCommandMs(cat);  // warm the cache for both

  std::vector<double> checks, cats;
  vd::TContentCheckResult r;
  for (int i = 0; i < 3; ++i) {
    const double t0 = vdbench::NowMs();
    r = vd::CheckContents(groups);
    checks.push_back(vdbench::NowMs() - t0);
    cats.push_back(vdbench::TimeCommandMs(cat));
  }
  int64_t identical = 0, unique = 0, unreadable = 0;
  for (const auto& g : r.Groups)
    for (const auto& v : g) {
      identical += v.Verdict == vd::TContentVerdict::Identical;
      unique += v.Verdict == vd::TContentVerdict::Unique;
      unreadable += v.Verdict == vd::TContentVerdict::Unreadable;
    }
  const double checkMs = vdbench::Median(checks), catMs = vdbench::Median(cats);
  std::printf("content: %zu groups, %lld files, %.1f MiB; identical %lld, unique %lld, unreadable %lld; read %.1f MiB "
              "(%s); check %.0f ms; cat %.0f ms; ratio %.2f (target <= 2)\n",
              groups.size(), (long long)files, double(groupBytes) / 1048576.0, (long long)identical, (long long)unique,
              (long long)unreadable, double(r.BytesRead) / 1048576.0,
              r.BytesRead <= groupBytes ? "each byte at most once" : "MORE THAN THE FILES HOLD", checkMs, catMs,
              checkMs / catMs);
  return r.BytesRead <= groupBytes ? 0 : 1;
}
