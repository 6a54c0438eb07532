// Scan trees checked node by node: two trees equal, or one tree adding up.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "core/scan/ScanModel.h"

namespace vdtest {

inline std::vector<vd::TExtStatPair> SortedExtStats(const vd::TDirNode* root) {
  auto v = root->ExtStats().ToSortedArrayByBytesDesc();
  std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return a.Ext < b.Ext; });
  return v;
}

// Same names, order, totals and files (name, size, time, extension) everywhere.
inline void ExpectSameTree(const vd::TDirNode* a, const vd::TDirNode* b) {
  std::vector<std::pair<const vd::TDirNode*, const vd::TDirNode*>> stack{{a, b}};
  while (!stack.empty()) {
    const auto [x, y] = stack.back();
    stack.pop_back();
    ASSERT_EQ(x->Name(), y->Name()) << x->FullPath();
    ASSERT_EQ(x->TotalSize, y->TotalSize) << x->FullPath();
    ASSERT_EQ(x->TotalFiles, y->TotalFiles) << x->FullPath();
    ASSERT_EQ(x->TotalDirs, y->TotalDirs) << x->FullPath();
    ASSERT_EQ(x->Leaves.size(), y->Leaves.size()) << x->FullPath();
    auto fy = y->Leaves.begin();
    for (const vd::TFileLeaf* f : x->Leaves) {
      const vd::TFileLeaf* g = *fy++;
      ASSERT_EQ(f->Name(), g->Name()) << x->FullPath();
      ASSERT_EQ(f->ApparentSize(), g->ApparentSize()) << f->FullPath();
      ASSERT_EQ(f->AllocatedSize(), g->AllocatedSize()) << f->FullPath();
      ASSERT_EQ(f->HasLinks(), g->HasLinks()) << f->FullPath();
      ASSERT_EQ(f->ModifiedFT.Ticks(), g->ModifiedFT.Ticks()) << f->FullPath();
      ASSERT_EQ(f->ExtKey(), g->ExtKey()) << f->FullPath();
      ASSERT_EQ(f->Parent(), x);
      ASSERT_EQ(g->Parent(), y);
    }
    ASSERT_EQ(x->Children.size(), y->Children.size()) << x->FullPath();
    for (size_t i = 0; i < x->Children.size(); ++i) {
      ASSERT_EQ(x->Children[i]->Parent, x);
      ASSERT_EQ(y->Children[i]->Parent, y);
      stack.push_back({x->Children[i], y->Children[i]});
    }
  }
  const auto sa = SortedExtStats(a), sb = SortedExtStats(b);
  ASSERT_EQ(sa.size(), sb.size());
  for (size_t i = 0; i < sa.size(); ++i) {
    EXPECT_EQ(sa[i].Ext, sb[i].Ext);
    EXPECT_EQ(sa[i].Bytes, sb[i].Bytes) << sa[i].Ext;
    EXPECT_EQ(sa[i].Files, sb[i].Files) << sa[i].Ext;
  }
}

// Every folder's totals are the sum of what it holds, and the root's extension
// totals add up to its own. Returns the number of folders.
inline int64_t ExpectConsistent(const vd::TDirNode* root) {
  int64_t folders = 0;
  std::vector<const vd::TDirNode*> stack{root};
  while (!stack.empty()) {
    const vd::TDirNode* n = stack.back();
    stack.pop_back();
    ++folders;
    int64_t size = 0, files = 0, dirs = 1;
    for (const vd::TFileLeaf* f : n->Leaves) {
      size += f->Size();
      ++files;
      EXPECT_EQ(f->Parent(), n);
    }
    for (const vd::TDirNode* c : n->Children) {
      EXPECT_EQ(c->Parent, n);
      size += c->TotalSize;
      files += c->TotalFiles;
      dirs += c->TotalDirs;
      stack.push_back(c);
    }
    EXPECT_EQ(n->TotalSize, size) << n->FullPath();
    EXPECT_EQ(n->TotalFiles, files) << n->FullPath();
    EXPECT_EQ(n->TotalDirs, dirs) << n->FullPath();
  }
  int64_t extBytes = 0, extFiles = 0;
  for (const auto& p : root->ExtStats().ToSortedArrayByBytesDesc()) {
    extBytes += p.Bytes;
    extFiles += p.Files;
  }
  EXPECT_EQ(extBytes, root->TotalSize);
  EXPECT_EQ(extFiles, root->TotalFiles);
  return folders;
}

}  // namespace vdtest
