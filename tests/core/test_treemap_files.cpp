// The treemap of single files: rows, tiles, look-ups, selection and painting.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/layout/Canvas.h"
#include "core/layout/FilesTreemap.h"
#include "TreemapTestUtil.h"
#include "platform/Platform.h"
#include "TestUtil.h"

using namespace vd;
using vdtest::Pt;
using vdtest::Rgb;

namespace {

struct TFiles {
  std::unique_ptr<TDirNode> Root;
  std::vector<TFileLeaf*> Files;
};

// Files named f<i><ext> in one folder, with the given sizes.
TFiles MakeFiles(const std::vector<int64_t>& sizes, const std::vector<std::string>& exts = {}) {
  TTreeBuilder b(vdtest::Native("/r"));
  auto* d = b.AddDir(b.Root(), "d");
  TFiles out;
  for (size_t i = 0; i < sizes.size(); ++i)
    out.Files.push_back(b.AddFile(d, "f" + std::to_string(i) + (i < exts.size() ? exts[i] : ".bin"), sizes[i]));
  out.Root = b.Finish();
  return out;
}

size_t TilesInFirstRow(const TTreemapLayout& l) {
  size_t n = 0;
  for (const auto& it : l.Items()) n += it.Rect.Top == l.Items()[0].Rect.Top;
  return n;
}

}  // namespace

TEST(FilesTreemap, FilesPerRow) {
  const struct {
    size_t Files;
    size_t PerRow;
  } cases[] = {{1, 1}, {72, 8}, {73, 9}, {100, 10}, {2256, 47}, {2257, 48}, {10000, 48}};
  for (const auto& c : cases) {
    auto t = MakeFiles(std::vector<int64_t>(c.Files, 1));
    TTreemapLayout l;
    l.BuildFromFiles(t.Files, {0, 0, 1000, 100000});
    ASSERT_EQ(l.Items().size(), c.Files);
    EXPECT_EQ(TilesInFirstRow(l), c.PerRow) << c.Files << " files";
  }
}

TEST(FilesTreemap, OneFileFillsTheRectangle) {
  auto t = MakeFiles({7});
  TTreemapLayout l;
  l.BuildFromFiles(t.Files, {10, 20, 110, 70});
  ASSERT_EQ(l.Items().size(), 1u);
  EXPECT_EQ(l.Items()[0].Rect, (TRect{10, 20, 110, 70}));
}

TEST(FilesTreemap, RowsLargestFirstAndZeroByteFiles) {
  // Seven files of 100 bytes and one of 0 in one row: the empty file still
  // gets a 1-pixel tile at the end (100/700 x 800 = 114.3 -> 114 each).
  auto t = MakeFiles({0, 100, 100, 100, 100, 100, 100, 100});
  TTreemapLayout l;
  l.BuildFromFiles(t.Files, {0, 0, 800, 50});
  ASSERT_EQ(l.Items().size(), 8u);
  EXPECT_EQ(l.Items()[0].Rect, (TRect{0, 0, 114, 50}));
  EXPECT_EQ(l.Items()[7].Size(), 0);
  EXPECT_EQ(l.Items()[7].Rect, (TRect{798, 0, 799, 50}));

  // A row made only of zero-byte files gets no tiles, and takes no height.
  auto t2 = MakeFiles({100, 100, 100, 100, 100, 100, 100, 100, 0});
  l.BuildFromFiles(t2.Files, {0, 0, 800, 50});
  EXPECT_EQ(l.Items().size(), 8u);

  auto t3 = MakeFiles({0, 0, 0});
  l.BuildFromFiles(t3.Files, {0, 0, 800, 50});
  EXPECT_TRUE(l.Items().empty());
}

TEST(FilesTreemap, TilesBeyondTheSurfaceAreIndexedButNeverHit) {
  // 100 files in a 10-pixel-high surface: rows are at least 1 pixel high, so
  // the last rows lie below the bottom edge with empty rectangles.
  std::vector<int64_t> sizes(100, 1);
  sizes[0] = 1000000;
  auto t = MakeFiles(sizes);
  TTreemapLayout l;
  l.BuildFromFiles(t.Files, {0, 0, 100, 10});
  ASSERT_EQ(l.Items().size(), 100u);
  const TTreemapItem& last = l.Items().back();
  EXPECT_TRUE(IsRectEmpty(last.Rect));
  EXPECT_EQ(l.GetItemByPath(last.FullPath()), &last);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 100; ++x)
      if (const TTreemapItem* hit = l.HitTest(Pt(x, y))) {
        EXPECT_FALSE(IsRectEmpty(hit->Rect));
      }
  EXPECT_EQ(l.HitTest(Pt(0, 0)), &l.Items()[0]);
  EXPECT_EQ(l.HitTest(Pt(100, 0)), nullptr);
}

TEST(FilesTreemap, NothingToLayOut) {
  auto t = MakeFiles({5, 6});
  TTreemapLayout l;
  l.BuildFromFiles(t.Files, {0, 0, 100, 100});
  l.SetSingleSelected(&l.Items()[0]);
  l.BuildFromFiles(t.Files, {0, 0, 0, 100});
  EXPECT_TRUE(l.Items().empty());
  EXPECT_FALSE(l.HasSelection());
  EXPECT_EQ(l.Primary(), nullptr);
  l.BuildFromFiles({}, {0, 0, 100, 100});
  EXPECT_TRUE(l.Items().empty());
}

TEST(FilesTreemap, ItemsReferToTheirFiles) {
  auto t = MakeFiles({5}, {".TxT"});
  TTreemapLayout l;
  l.BuildFromFiles(t.Files, {0, 0, 10, 10});
  const TTreemapItem& it = l.Items()[0];
  EXPECT_EQ(it.DisplayText(), "f0.TxT");
  EXPECT_EQ(it.FullPath(), vdtest::Native("/r/d/f0.TxT"));
  EXPECT_EQ(it.Ext(), ".txt");
  EXPECT_EQ(it.Size(), 5);
  EXPECT_EQ(it.UpperPath(), platform::PathKey(vdtest::Native("/r/d/f0.TxT")));
  EXPECT_LE(sizeof(TTreemapItem), 24u);
}

TEST(FilesTreemap, LookUps) {
  auto t = MakeFiles({50, 40, 30, 20, 10}, {"", ".txt", ".TXT", "", ".jpg"});
  TTreemapLayout l;
  l.BuildFromFiles(t.Files, {0, 0, 100, 100});
  EXPECT_EQ(l.GetItemByPath(vdtest::Native("/r/d/f1.txt"))->Size(), 40);
  EXPECT_EQ(l.GetItemByPath(vdtest::Native("/r/d/missing")), nullptr);
  // The largest file of an extension, however the extension is spelt.
  EXPECT_EQ(l.GetLargestItemByExt(".TXT")->Size(), 40);
  EXPECT_EQ(l.GetLargestItemByExt("")->Size(), 50);
  EXPECT_EQ(l.GetLargestItemByExt(""), l.GetLargestItemByExt("(none)"));
  EXPECT_EQ(l.GetLargestItemByExt(".png"), nullptr);

  // Every one of many tiles is found again by its path.
  std::vector<int64_t> sizes(5000);
  for (size_t i = 0; i < sizes.size(); ++i) sizes[i] = int64_t(i % 97);
  auto many = MakeFiles(sizes);
  l.BuildFromFiles(many.Files, {0, 0, 1920, 1080});
  for (const TTreemapItem& it : l.Items()) ASSERT_EQ(l.GetItemByPath(it.FullPath()), &it);
}

TEST(FilesTreemap, Selection) {
  auto t = MakeFiles({50, 40, 30});
  TTreemapLayout l;
  l.BuildFromFiles(t.Files, {0, 0, 100, 100});
  const TTreemapItem* a = l.GetItemByPath(vdtest::Native("/r/d/f0.bin"));
  const TTreemapItem* b = l.GetItemByPath(vdtest::Native("/r/d/f1.bin"));

  l.SetSingleSelected(a);
  EXPECT_TRUE(l.IsSelected(a));
  EXPECT_EQ(l.Primary(), a);
  l.ToggleSelected(b);  // added, becomes the primary
  EXPECT_EQ(l.Primary(), b);
  EXPECT_EQ(l.SelectedCount(), 2u);
  l.ToggleSelected(a);  // another selected tile: the primary stays
  EXPECT_EQ(l.Primary(), b);
  EXPECT_FALSE(l.IsSelected(a));
  l.ToggleSelected(b);  // the primary itself: no primary is left
  EXPECT_EQ(l.Primary(), nullptr);
  EXPECT_FALSE(l.HasSelection());
  l.ToggleSelected(nullptr);
  EXPECT_FALSE(l.HasSelection());

  // Only the third path has a tile: it becomes the primary, all three stay selected.
  l.SetSelectedByPaths({vdtest::Native("/r/x/none1"), "", vdtest::Native("/r/x/none2"), vdtest::Native("/r/d/f2.bin"),
                        vdtest::Native("/r/d/f0.bin")});
  EXPECT_EQ(l.SelectedCount(), 4u);
  EXPECT_EQ(l.Primary(), l.GetItemByPath(vdtest::Native("/r/d/f2.bin")));
  EXPECT_TRUE(l.IsPathSelected(vdtest::Native("/r/x/none1")));

  l.SetSingleSelected(nullptr);
  EXPECT_FALSE(l.HasSelection());
  l.SetSingleSelected(a);
  l.BuildFromFiles(t.Files, {0, 0, 100, 100});  // a rebuild starts unselected
  EXPECT_FALSE(l.HasSelection());
  EXPECT_EQ(l.Primary(), nullptr);
}

TEST(FilesTreemap, Painting) {
  // Two equal files side by side: (0,0,20,20) and (20,0,40,20).
  auto t = MakeFiles({1000, 1000}, {".txt", ""});
  TTreemapLayout l;
  l.BuildFromFiles(t.Files, {0, 0, 40, 20});
  ASSERT_EQ(l.Items()[0].Rect, (TRect{0, 0, 20, 20}));
  const TTreemapItem* first = l.GetItemByPath(vdtest::Native("/r/d/f0.txt"));
  l.SetSingleSelected(first);
  TPixelCanvas c(44, 24, kWhite);
  l.Paint(c);
  const TColor txt = Rgb(0xE36268), none = Rgb(0x20AA65);
  const bool firstLeft = first->Rect.Left == 0;
  const int fx = firstLeft ? 0 : 20, ox = firstLeft ? 20 : 0;
  EXPECT_EQ(c.Pixel(43, 23), kBlack);         // background over the whole clip rectangle
  EXPECT_EQ(c.Pixel(fx + 10, 10), txt);       // fill
  EXPECT_EQ(c.Pixel(ox + 10, 10), none);
  EXPECT_EQ(c.Pixel(ox + 10, 0), kBlack);     // frame of an unselected tile
  EXPECT_EQ(c.Pixel(fx + 10, 1), kWhite);     // selection outline, inner band
  EXPECT_EQ(c.Pixel(fx + 10, 3), txt);
  if (firstLeft) {
    // Outlines are drawn tile by tile: the next tile's frame covers the outer
    // band of the first one's outline.
    EXPECT_EQ(c.Pixel(19, 10), kWhite);
    EXPECT_EQ(c.Pixel(20, 10), kBlack);
  }
}
