// The nested treemaps: folders only, folders and files, and duplicates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/layout/Canvas.h"
#include "core/layout/DupTreemap.h"
#include "core/layout/FolderTreemap.h"
#include "core/layout/HierTreemap.h"
#include "TreemapTestUtil.h"
#include "platform/Platform.h"

using namespace vd;
using vdtest::Pt;
using vdtest::Rgb;

namespace {

// A chain /r/a/b/c/d/e/f/g with one file at the bottom: every level holds
// exactly one folder, so each tile is its parent's inner area minus one pixel.
struct TChain {
  std::unique_ptr<TDirNode> Root;
  std::vector<TDirNode*> Dirs;  // a .. g
};

TChain MakeChain() {
  TTreeBuilder b("/r");
  TChain c;
  TDirNode* parent = b.Root();
  for (const char* name : {"a", "b", "c", "d", "e", "f", "g"}) c.Dirs.push_back(parent = b.AddDir(parent, name));
  b.AddFile(parent, "deep.bin", 1000);
  b.AddFile(b.Root(), "ignored.bin", 5000);  // the root's own files are not shown
  c.Root = b.Finish();
  return c;
}

}  // namespace

TEST(FolderTreemap, MarginsPerLevelAndHalfBrightness) {
  auto c = MakeChain();
  TFolderTreemapLayout l;
  l.BuildFromRoot(c.Root.get(), {0, 0, 200, 200});
  // Margins 12, 8, 6, 4, 2, 2 around the sub-folders of levels 2..7.
  const TRect expected[] = {{1, 1, 199, 199},     {14, 14, 186, 186}, {23, 23, 177, 177}, {30, 30, 170, 170},
                            {35, 35, 165, 165}, {38, 38, 162, 162}, {41, 41, 159, 159}};
  ASSERT_EQ(l.Items().size(), 7u);
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(l.Items()[i].Node, c.Dirs[i]);
    EXPECT_EQ(l.Items()[i].Depth, int32_t(i + 1));
    EXPECT_EQ(l.Items()[i].Rect, expected[i]) << i;
    EXPECT_EQ(l.Items()[i].BaseColor, TFolderTreemapLayout::FolderColor(c.Dirs[0]));
    EXPECT_EQ(l.ItemOfNode(c.Dirs[i]), &l.Items()[i]);
  }

  // The band of a top-level tile hits that folder; the gap outside it nothing.
  EXPECT_EQ(l.HitTest(Pt(5, 100)), c.Dirs[0]);
  EXPECT_EQ(l.HitTest(Pt(0, 100)), nullptr);
  EXPECT_EQ(l.HitTest(Pt(100, 100)), c.Dirs[6]);
  EXPECT_EQ(l.HitTest(Pt(26, 100)), c.Dirs[2]);

  const TColor base = l.Items()[0].BaseColor;
  TPixelCanvas canvas(200, 200, kWhite);
  l.SelectedNode = c.Dirs[1];
  l.Paint(canvas);
  EXPECT_EQ(canvas.Pixel(0, 100), kBlack);                // background
  EXPECT_EQ(canvas.Pixel(1, 100), kBlack);                // frame of a
  EXPECT_EQ(canvas.Pixel(5, 100), base);                  // a's band
  EXPECT_EQ(canvas.Pixel(18, 100), base);                 // depth 2: full colour
  EXPECT_EQ(canvas.Pixel(26, 100), HalfBrightness(base));  // depth 3: half
  for (int x : {13, 14, 15}) EXPECT_EQ(canvas.Pixel(x, 100), kWhite) << x;  // b is outlined
  EXPECT_EQ(canvas.Pixel(16, 100), base);
}

TEST(FolderTreemap, WhatGetsNoTiles) {
  {
    TTreeBuilder b("/r");
    b.AddFile(b.Root(), "only.bin", 10);
    auto root = b.Finish();
    TFolderTreemapLayout l;
    l.BuildFromRoot(root.get(), {0, 0, 100, 100});
    EXPECT_TRUE(l.Items().empty());
  }
  {
    TTreeBuilder b("/r");
    TDirNode* empty = b.AddDir(b.Root(), "empty");
    TDirNode* full = b.AddDir(b.Root(), "full");
    b.AddFile(full, "x", 10);
    auto root = b.Finish();
    TFolderTreemapLayout l;
    l.BuildFromRoot(root.get(), {0, 0, 100, 100});
    ASSERT_EQ(l.Items().size(), 1u);
    EXPECT_EQ(l.ItemOfNode(empty), nullptr);
    // A selected folder without a tile draws no outline.
    l.SelectedNode = empty;
    TPixelCanvas canvas(100, 100);
    l.Paint(canvas);
    for (TColor p : canvas.Pixels()) ASSERT_NE(p, kWhite);
  }
  {
    // Two adjacent top-level tiles: the 2-pixel gap between them hits nothing;
    // a 24-pixel tile has no room for its sub-folders.
    TTreeBuilder b("/r");
    TDirNode* left = b.AddDir(b.Root(), "left");
    TDirNode* right = b.AddDir(b.Root(), "right");
    b.AddFile(b.AddDir(left, "inner"), "x", 50);
    b.AddFile(right, "y", 50);
    auto root = b.Finish();
    TFolderTreemapLayout l;
    l.BuildFromRoot(root.get(), {0, 0, 200, 100});
    EXPECT_EQ(l.Items().size(), 3u);
    EXPECT_EQ(l.HitTest(Pt(99, 50)), nullptr);
    EXPECT_EQ(l.HitTest(Pt(100, 50)), nullptr);
    EXPECT_NE(l.HitTest(Pt(98, 50)), nullptr);
    l.BuildFromRoot(root.get(), {0, 0, 52, 26});  // each tile 24 x 24
    EXPECT_EQ(l.Items().size(), 2u);
  }
  {
    // Paths that differ only in case give one colour.
    TTreeBuilder b("/r");
    TDirNode* lower = b.AddDir(b.Root(), "photos");
    TDirNode* upper = b.AddDir(b.Root(), "PHOTOS");
    auto root = b.Finish();
    EXPECT_EQ(TFolderTreemapLayout::FolderColor(lower), TFolderTreemapLayout::FolderColor(upper));
  }
}

namespace {

// /r: d/{x.txt 600, y.jpg 300, zero 0}, top.txt 100, empty/
struct THierTree {
  std::unique_ptr<TDirNode> Root;
  TDirNode* D;
  TFileLeaf *X, *Y, *Zero, *Top;
};

THierTree MakeHierTree() {
  TTreeBuilder b("/r");
  THierTree t;
  t.D = b.AddDir(b.Root(), "d");
  t.X = b.AddFile(t.D, "x.txt", 600);
  t.Y = b.AddFile(t.D, "y.jpg", 300);
  t.Zero = b.AddFile(t.D, "zero", 0);
  t.Top = b.AddFile(b.Root(), "top.TXT", 100);
  b.AddDir(b.Root(), "empty");
  t.Root = b.Finish();
  return t;
}

}  // namespace

TEST(HierTreemap, PreOrderTilesAndHits) {
  auto t = MakeHierTree();
  THierTreemapLayout l;
  l.BuildFromRootSquarified(t.Root.get(), {0, 0, 100, 100});
  const auto& items = l.Items();
  ASSERT_EQ(items.size(), 4u);  // no tile for the zero-byte file or the empty folder
  EXPECT_EQ(items[0].Dir(), t.D);
  EXPECT_EQ(items[0].Depth(), 0);
  EXPECT_EQ(items[0].Rect, (TRect{1, 1, 89, 99}));
  EXPECT_EQ(items[1].FileLeaf(), t.X);
  EXPECT_EQ(items[1].Depth(), 1);
  EXPECT_EQ(items[1].Rect, (TRect{2, 2, 88, 65}));
  EXPECT_EQ(items[2].FileLeaf(), t.Y);
  EXPECT_EQ(items[2].Rect, (TRect{2, 67, 87, 98}));
  EXPECT_EQ(items[3].FileLeaf(), t.Top);  // the root's own file beside its folder
  EXPECT_EQ(items[3].Depth(), 0);
  EXPECT_EQ(items[3].Rect, (TRect{91, 1, 99, 99}));
  EXPECT_EQ(items[3].ExtLower(), ".txt");
  EXPECT_EQ(items[0].Size(), 900);

  EXPECT_EQ(l.HitTest(Pt(50, 66)), &items[0]);  // the gap between two files is their folder's
  EXPECT_EQ(l.HitTest(Pt(88, 80)), &items[0]);  // as is space its content left uncovered
  EXPECT_EQ(l.HitTest(Pt(50, 30)), &items[1]);
  EXPECT_EQ(l.HitTest(Pt(0, 0)), nullptr);
  // Paths in the system's own spelling, as the builder joins them.
  const std::string d = vd::platform::JoinPath("/r", "d");
  EXPECT_EQ(l.GetItemByPath(vd::platform::JoinPath(d, "y.jpg")), &items[2]);
  EXPECT_EQ(l.GetItemByPath(d), &items[0]);
  EXPECT_EQ(l.GetItemByPath(vd::platform::JoinPath(d, "zero")), nullptr);

  // Folders are only framed; files take their extension's colour; the
  // selection outline lies over everything.
  l.SetSingleSelected(&items[1]);
  TPixelCanvas canvas(100, 100, kWhite);
  l.Paint(canvas);
  EXPECT_EQ(canvas.Pixel(50, 66), kBlack);
  EXPECT_EQ(canvas.Pixel(50, 80), THierTreemapLayout::ExtColor(".jpg"));
  EXPECT_EQ(canvas.Pixel(95, 50), Rgb(0xE36268));
  EXPECT_EQ(canvas.Pixel(50, 30), Rgb(0xE36268));
  for (int x : {1, 2, 3}) EXPECT_EQ(canvas.Pixel(x, 30), kWhite) << x;
  EXPECT_EQ(canvas.Pixel(4, 30), Rgb(0xE36268));
}

TEST(HierTreemap, Selection) {
  auto t = MakeHierTree();
  THierTreemapLayout l;
  l.BuildFromRootSquarified(t.Root.get(), {0, 0, 100, 100});
  const THierItem* x = l.GetItemByPath(t.X->FullPath());
  const THierItem* top = l.GetItemByPath(t.Top->FullPath());
  ASSERT_TRUE(x && top);

  l.SetSelectedByExts({".txt", ".jpg"});
  EXPECT_EQ(l.SelectedCount(), 3u);
  EXPECT_EQ(l.Primary(), x);  // the first .txt tile in placement order
  l.SetSelectedByExts({""});  // only the zero-byte file has no extension, and it has no tile
  EXPECT_EQ(l.SelectedCount(), 0u);
  EXPECT_EQ(l.Primary(), nullptr);

  l.SetSingleSelected(x);
  l.ToggleSelected(top);
  EXPECT_EQ(l.Primary(), top);
  l.ToggleSelected(x);  // not the primary: the primary stays
  EXPECT_EQ(l.Primary(), top);
  l.ToggleSelected(top);
  EXPECT_EQ(l.Primary(), nullptr);
  EXPECT_EQ(l.SelectedCount(), 0u);

  // Paths without a tile stay selected; the first path with a tile is primary.
  l.SetSelectedByUpperPaths({t.Zero->FullPath(), "", t.Top->FullPath(), t.X->FullPath()});
  EXPECT_EQ(l.SelectedCount(), 3u);
  EXPECT_TRUE(l.IsPathSelected(t.Zero->FullPath()));
  EXPECT_EQ(l.Primary(), top);
  l.SetSingleSelected(nullptr);
  EXPECT_EQ(l.SelectedCount(), 0u);

  l.SetSingleSelected(x);
  l.BuildFromRootSquarified(t.Root.get(), {0, 0, 100, 100});
  EXPECT_EQ(l.SelectedCount(), 0u);
  EXPECT_EQ(l.Primary(), nullptr);
}

TEST(NestedTreemaps, RebuildingTheSameTreeFindsEveryTile) {
  // Files in the root only: a rebuild starts in the folder the last one ended in.
  TTreeBuilder b("/r");
  std::vector<TFileLeaf*> files;
  for (int i = 0; i < 5; ++i) files.push_back(b.AddFile(b.Root(), "f" + std::to_string(i), 10 + i));
  auto root = b.Finish();
  TDupColorMap colours;
  for (TFileLeaf* f : files) colours.Set(f, 0x112233);
  THierTreemapLayout h;
  TDupTreemapLayout d;
  for (int round = 0; round < 3; ++round) {
    h.BuildFromRootSquarified(root.get(), {0, 0, 100, 100});
    d.BuildFromRootDuplicates(root.get(), &colours, {0, 0, 100, 100});
    for (TFileLeaf* f : files) {
      EXPECT_TRUE(h.GetItemByPath(f->FullPath())) << round;
      EXPECT_TRUE(d.GetItemByPath(f->FullPath())) << round;
    }
  }
}

namespace {

// /r: A/{a1.bin 100 dup, big.bin 5000}, B/sub/b1.bin 100 dup, C/c.bin 9999,
// r.bin 50 dup, zero.bin 0 dup.
struct TDupTree {
  std::unique_ptr<TDirNode> Root;
  TDirNode *A, *B, *Sub, *C;
  TFileLeaf *A1, *Big, *B1, *R, *Zero;
  TDupColorMap Colours;
};

TDupTree MakeDupTree() {
  TTreeBuilder b("/r");
  TDupTree t;
  t.A = b.AddDir(b.Root(), "A");
  t.B = b.AddDir(b.Root(), "B");
  t.C = b.AddDir(b.Root(), "C");
  t.Sub = b.AddDir(t.B, "sub");
  t.A1 = b.AddFile(t.A, "a1.bin", 100);
  t.Big = b.AddFile(t.A, "big.bin", 5000);
  t.B1 = b.AddFile(t.Sub, "b1.bin", 100);
  b.AddFile(t.C, "c.bin", 9999);
  t.R = b.AddFile(b.Root(), "r.bin", 50);
  t.Zero = b.AddFile(b.Root(), "zero.bin", 0);
  t.Root = b.Finish();
  t.Colours.Set(t.A1, Rgb(0x3366CC));
  t.Colours.Set(t.B1, Rgb(0x3366CC));
  t.Colours.Set(t.R, Rgb(0xCC6633));
  t.Colours.Set(t.Zero, Rgb(0xCC6633));
  return t;
}

}  // namespace

TEST(DupTreemap, OnlyDuplicatesAndTheFoldersHoldingThem) {
  auto t = MakeDupTree();
  TDupTreemapLayout l;
  l.BuildFromRootDuplicates(t.Root.get(), &t.Colours, {0, 0, 200, 200});
  const auto& items = l.Items();
  auto find = [&](const void* obj) -> const TDupItem* {
    for (const TDupItem& it : items)
      if (it.Dir() == obj || it.FileLeaf() == obj) return &it;
    return nullptr;
  };
  ASSERT_EQ(items.size(), 6u);  // A, a1, B, sub, b1, r
  EXPECT_FALSE(find(t.C));
  EXPECT_FALSE(find(t.Big));
  EXPECT_FALSE(find(t.Zero));
  const TDupItem *a = find(t.A), *b = find(t.B), *sub = find(t.Sub), *b1 = find(t.B1), *a1 = find(t.A1),
                 *r = find(t.R);
  ASSERT_TRUE(a && b && sub && b1 && a1 && r);
  EXPECT_EQ(a->Size(), 100);  // its duplicate bytes, not its total
  EXPECT_EQ(a->Color(), kDupFolderColor);
  EXPECT_EQ(r->Depth(), 0);
  EXPECT_EQ(sub->Depth(), 1);
  EXPECT_EQ(b1->Depth(), 2);
  EXPECT_EQ(a1->Color(), b1->Color());
  EXPECT_EQ(r->Color(), Rgb(0xCC6633));
  // Pre-order: every tile lies inside the folder tile before it, and B holds
  // just sub, which holds just b1.
  EXPECT_EQ(sub, b + 1);
  EXPECT_EQ(b1, b + 2);
  EXPECT_EQ(a1, a + 1);
  EXPECT_EQ(sub->Rect, InsetRect(b->Rect, 1));
  EXPECT_EQ(l.HitTest(Pt(b1->Rect.Left + 2, b1->Rect.Top + 2)), b1);
  EXPECT_EQ(l.GetItemByPath(t.B1->FullPath()), b1);

  TPixelCanvas canvas(200, 200, kWhite);
  l.Paint(canvas);
  EXPECT_EQ(canvas.Pixel(a1->Rect.Left + 3, a1->Rect.Top + 3), Rgb(0x3366CC));
  EXPECT_EQ(canvas.Pixel(b1->Rect.Left + 3, b1->Rect.Top + 3), Rgb(0x3366CC));

  // Paths without tiles stay selected and leave no primary.
  l.SetSelectedByUpperPaths({t.Zero->FullPath(), t.Big->FullPath()});
  EXPECT_EQ(l.SelectedCount(), 2u);
  EXPECT_EQ(l.Primary(), nullptr);
  l.SetSingleSelected(a1);
  l.ToggleSelected(a1);
  EXPECT_EQ(l.Primary(), nullptr);
  EXPECT_EQ(l.SelectedCount(), 0u);
}

TEST(DupTreemap, NoMatchingFilesNoTiles) {
  auto t = MakeDupTree();
  auto other = MakeDupTree();  // the same paths, other files
  TDupTreemapLayout l;
  TDupColorMap none, elsewhere;
  elsewhere.Set(other.A1, 1);
  elsewhere.Set(other.B1, 2);
  const TDupColorMap* maps[] = {&none, &elsewhere, nullptr};
  for (const TDupColorMap* map : maps) {
    l.BuildFromRootDuplicates(t.Root.get(), map, {0, 0, 200, 200});
    EXPECT_TRUE(l.Items().empty());
  }
}
