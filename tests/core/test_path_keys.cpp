// Path keys of hostile trees: a chain of folders with the longest names there
// are, and a chain hundreds of thousands deep. The hashes of every entry's key
// come out as those of the whole paths, at a cost that grows with the entries,
// not with the sum of the paths' lengths. Checked under a bound on the address
// space (in a child process) that a cost by path length breaks many times over.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "AddressSpace.h"
#include "core/layout/HierTreemap.h"
#include "core/layout/TreemapIndex.h"
#include "platform/Platform.h"

using namespace vd;

namespace {

struct TChain {
  std::unique_ptr<TDirNode> Root;
  std::vector<TTreeObj> Objs;  // every folder and file below the root, top down
};

// `depth` folders nested, each named `name` and holding one 1-byte file (or
// only the deepest one holding it).
TChain MakeChain(int depth, const std::string& name, bool filePerFolder) {
  TTreeBuilder b("/hostile");
  for (int i = 0; i < depth; ++i) {
    b.EnterDir(name);
    if (filePerFolder || i == depth - 1) b.AddFile("f", 1);
  }
  TChain c;
  c.Root = b.Finish();
  for (TDirNode* d = c.Root.get(); !d->Children.empty();) {
    d = d->Children[0];
    c.Objs.push_back({d, true});
    if (!d->Leaves.empty()) c.Objs.push_back({d->Leaves[0], false});
  }
  return c;
}

std::string PathOf(const TTreeObj& o) {
  return o.IsDir ? static_cast<const TDirNode*>(o.Obj)->FullPath() : static_cast<const TFileLeaf*>(o.Obj)->FullPath();
}

}  // namespace

TEST(PathKeys, LongNamesInAChainCostNoPathLengths) {
  if (vdtest::kSanitized) GTEST_SKIP() << "a sanitizer's shadow memory does not fit a bound on the address space";
  // 2000 folders of 65535-byte names: their paths together are 131 GB.
  const TChain c = MakeChain(2000, std::string(65535, 'n'), true);
  std::vector<uint32_t> hashes;
  ASSERT_TRUE(vdtest::WithinAddressSpace(size_t(512) << 20, [&] {
    hashes = PathKeyHashes(c.Objs.size(), [&](size_t i) { return c.Objs[i]; });
    TPathKeyMaker keys;
    for (const TTreeObj& o : c.Objs)
      if (!o.IsDir) keys.FileKeyHash(static_cast<const TFileLeaf*>(o.Obj));
    // A slot per folder, whatever the names' lengths.
    return keys.MemoryBytes() < 64 * 4096 + 2000 * 64;
  }));
  hashes = PathKeyHashes(c.Objs.size(), [&](size_t i) { return c.Objs[i]; });
  for (size_t i : {size_t(0), size_t(1), size_t(2), c.Objs.size() - 2, c.Objs.size() - 1})
    EXPECT_EQ(hashes[i], PathKeyHash(platform::PathKey(PathOf(c.Objs[i])))) << i;
}

TEST(PathKeys, DeepChainsCostNoDepthSquared) {
  if (vdtest::kSanitized) GTEST_SKIP() << "a sanitizer's shadow memory does not fit a bound on the address space";
  // 200 000 levels, the only file at the bottom: a path per entry would be
  // 40 GB together.
  const TChain c = MakeChain(200000, "d", false);
  ASSERT_TRUE(vdtest::WithinAddressSpace(size_t(512) << 20, [&] {
    const std::vector<uint32_t> hashes = PathKeyHashes(c.Objs.size(), [&](size_t i) { return c.Objs[i]; });
    // The nested treemap tiles every level it has room for and indexes each tile.
    THierTreemapLayout hier;
    hier.BuildFromRootSquarified(c.Root.get(), TRect{0, 0, 1920, 1080});
    return hashes.size() == c.Objs.size() && hier.Items().size() > 1000;
  }));
  const std::vector<uint32_t> hashes = PathKeyHashes(c.Objs.size(), [&](size_t i) { return c.Objs[i]; });
  for (size_t i : {size_t(0), size_t(1), size_t(777), c.Objs.size() - 2, c.Objs.size() - 1})
    EXPECT_EQ(hashes[i], PathKeyHash(platform::PathKey(PathOf(c.Objs[i])))) << i;
}

// The hash of a key made part by part equals the hash of the whole key for
// every shape of root and name the tree can hold.
TEST(PathKeys, HashesFollowTheWholeKey) {
  for (const char* rootPath : {"/", "/data/x", "/data/x/", "", "rel"}) {
    TTreeBuilder b(rootPath);
    TDirNode* a = b.AddDir(b.Root(), "A b");
    TDirNode* deeper = b.AddDir(a, "\xff\xfe odd");
    std::vector<TFileLeaf*> files{b.AddFile(b.Root(), "top", 1), b.AddFile(a, "x.txt", 2),
                                  b.AddFile(deeper, "y", 3)};
    auto root = b.Finish();
    const std::vector<TTreeObj> objs{{deeper, true}, {files[2], false}, {a, true},
                                     {files[0], false}, {files[1], false}, {root.get(), true}};
    const std::vector<uint32_t> hashes = PathKeyHashes(objs.size(), [&](size_t i) { return objs[i]; });
    for (size_t i = 0; i < objs.size(); ++i)
      EXPECT_EQ(hashes[i], PathKeyHash(platform::PathKey(PathOf(objs[i])))) << rootPath << " " << PathOf(objs[i]);
  }
}
