// Rounding, squarified placement, cell-to-tile rule, drawing rules and colours.
#include <gtest/gtest.h>

#include <vector>

#include "core/layout/Canvas.h"
#include "core/layout/FilesTreemap.h"
#include "core/layout/TreemapBase.h"
#include "core/layout/TreemapIndex.h"
#include "TreemapTestUtil.h"
#include "platform/Platform.h"

using namespace vd;
using vdtest::Rgb;

namespace {

struct TTestEntry {
  double Area;
  int Id;
};

struct TCall {
  int Id;
  TRect Cell;
  int32_t Depth;
};

std::vector<TCall> RunSquarify(const std::vector<double>& areas, const TRect& r, int32_t depth = 7) {
  std::vector<TTestEntry> entries;
  for (size_t i = 0; i < areas.size(); ++i) entries.push_back({areas[i], int(i)});
  std::vector<TCall> calls;
  Squarify(entries, r, depth, [&](const TTestEntry& e, const TRect& cell, int32_t d) { calls.push_back({e.Id, cell, d}); });
  return calls;
}

std::vector<TCall> NonEmpty(const std::vector<TCall>& calls) {
  std::vector<TCall> out;
  for (const TCall& c : calls)
    if (!IsRectEmpty(c.Cell)) out.push_back(c);
  return out;
}

}  // namespace

TEST(TreemapRounding, HalvesGoToEvenNeighbour) {
  const struct {
    double In;
    int64_t Out;
  } cases[] = {{2.5, 2}, {3.5, 4}, {0.5, 0}, {1.5, 2}, {-0.5, 0}, {-1.5, -2}, {2.4999, 2}, {2.5001, 3}, {9.5, 10}, {8.5, 8}, {0, 0}};
  for (const auto& c : cases) EXPECT_EQ(Nearest(c.In), c.Out) << c.In;
}

TEST(TreemapRect, Conventions) {
  const TRect r{2, 3, 5, 7};
  EXPECT_EQ(r.Width(), 3);
  EXPECT_EQ(r.Height(), 4);
  EXPECT_TRUE(PtInRect(r, {2, 3}));
  EXPECT_FALSE(PtInRect(r, {5, 3}));  // right and bottom are exclusive
  EXPECT_FALSE(PtInRect(r, {2, 7}));
  EXPECT_TRUE(IsRectEmpty(TRect{0, 0, 0, 5}));
  EXPECT_TRUE(IsRectEmpty(InsetRect(TRect{0, 0, 2, 9}, 1)));
  EXPECT_EQ(RectArea(r), 12.0);
  EXPECT_EQ(RectArea(TRect{5, 5, 3, 3}), 0.0);  // two negative sides are still empty
}

TEST(TreemapSquarify, WorstRatio) {
  const std::vector<TTestEntry> row{{50, 0}, {50, 1}};
  EXPECT_EQ(WorstRatio(row.data(), 0, 10.0), 1e300);
  EXPECT_DOUBLE_EQ(WorstRatio(row.data(), 1, 10.0), 2.0);
  EXPECT_DOUBLE_EQ(WorstRatio(row.data(), 2, 10.0), 2.0);
  EXPECT_EQ(WorstRatio(row.data(), 2, 0.0), 1e300);
  const std::vector<TTestEntry> zero{{5, 0}, {0, 1}};
  EXPECT_EQ(WorstRatio(zero.data(), 2, 10.0), 1e300);
}

TEST(TreemapSquarify, Placements) {
  const struct {
    const char* Name;
    std::vector<double> Areas;
    TRect R;
    std::vector<std::pair<int, TRect>> Expected;  // non-empty cells in call order
  } cases[] = {
      // A tie keeps the second entry in the row: one strip holds both.
      {"tie stays in row", {50, 50}, {0, 0, 10, 10}, {{0, {0, 0, 10, 5}}, {1, {0, 5, 10, 10}}}},
      // A square is cut by a vertical strip at its left.
      {"square cut vertically", {60, 40}, {0, 0, 10, 10}, {{0, {0, 0, 6, 10}}, {1, {6, 0, 10, 10}}}},
      // Taller than wide by one pixel: a horizontal strip at the top.
      {"taller cut horizontally", {66, 44}, {0, 0, 10, 11}, {{0, {0, 0, 9, 7}}, {1, {0, 7, 10, 11}}}},
      // 8.5 rounds to 8: the strip is 8 wide, its cell clipped at the bottom;
      // 7.5 rounds to 8 as well, leaving two rows uncovered below the second.
      {"strip width rounds to even", {85, 15}, {0, 0, 10, 10}, {{0, {0, 0, 8, 10}}, {1, {8, 0, 10, 8}}}},
      // 9.5 rounds to 10: the first strip uses up the free rectangle.
      {"free rectangle used up", {95, 3, 2}, {0, 0, 10, 10}, {{0, {0, 0, 10, 10}}}},
      // A zero area ends the row before it and is never placed.
      {"zero area ends the row", {50, 0}, {0, 0, 10, 10}, {{0, {0, 0, 5, 10}}}},
      {"row of zero areas", {0, 0}, {0, 0, 10, 10}, {}},
      {"empty rectangle", {10}, {0, 0, 0, 10}, {}},
      {"offset rectangle", {100}, {20, 30, 30, 40}, {{0, {20, 30, 30, 40}}}},
  };
  for (const auto& c : cases) {
    const auto calls = NonEmpty(RunSquarify(c.Areas, c.R));
    ASSERT_EQ(calls.size(), c.Expected.size()) << c.Name;
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].Id, c.Expected[i].first) << c.Name << " #" << i;
      EXPECT_EQ(calls[i].Cell, c.Expected[i].second) << c.Name << " #" << i;
      EXPECT_EQ(calls[i].Depth, 7) << c.Name;
    }
  }
}

TEST(TreemapSquarify, UsedUpFreeRectangleStopsAllLaterEntries) {
  // After the first strip the free rectangle is empty: the pending row and
  // every later entry get no call at all.
  EXPECT_EQ(RunSquarify({95, 3, 2}, {0, 0, 10, 10}).size(), 1u);
}

TEST(TreemapSquarify, RowAdvancesUnclippedAndLeavesRoundingGaps) {
  // Three cells of 3.33 px round to 3 each: the strip keeps 1 px uncovered.
  std::vector<TTestEntry> row{{30, 0}, {30, 1}, {30, 2}};
  TRect free{0, 0, 10, 20};
  std::vector<TRect> cells;
  LayoutRow(row.data(), row.size(), free, true, 0, [&](const TTestEntry&, const TRect& c, int32_t) { cells.push_back(c); });
  EXPECT_EQ(free, (TRect{0, 9, 10, 20}));
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_EQ(cells[2], (TRect{6, 0, 9, 9}));

  // Every cell is at least 1 long; the position runs on past the strip's end
  // and cells starting there come out empty.
  std::vector<TTestEntry> tiny(15, TTestEntry{1, 0});
  free = {0, 0, 10, 20};
  cells.clear();
  LayoutRow(tiny.data(), tiny.size(), free, true, 0, [&](const TTestEntry&, const TRect& c, int32_t) { cells.push_back(c); });
  ASSERT_EQ(cells.size(), 15u);
  EXPECT_EQ(cells[9], (TRect{9, 0, 10, 2}));
  EXPECT_TRUE(IsRectEmpty(cells[10]));
  EXPECT_EQ(cells[11].Left, 11);

  // A row whose areas sum to 0 places nothing and leaves the free rectangle.
  std::vector<TTestEntry> zeros{{0, 0}};
  free = {0, 0, 10, 20};
  int n = 0;
  LayoutRow(zeros.data(), zeros.size(), free, false, 0, [&](const TTestEntry&, const TRect&, int32_t) { ++n; });
  EXPECT_EQ(n, 0);
  EXPECT_EQ(free, (TRect{0, 0, 10, 20}));
}

TEST(TreemapSquarify, CellToTile) {
  const struct {
    TRect Cell;
    bool Has;
    TRect Tile;
  } cases[] = {
      {{0, 0, 9, 30}, true, {0, 0, 9, 30}},   // 9 wide keeps its full size
      {{0, 0, 10, 10}, true, {1, 1, 9, 9}},   // 10 x 10 becomes 8 x 8
      {{5, 5, 6, 6}, true, {5, 5, 6, 6}},     // 1 x 1
      {{0, 0, 0, 10}, false, {}},
  };
  for (const auto& c : cases) {
    TRect t;
    EXPECT_EQ(TileRectOfCell(c.Cell, t), c.Has);
    if (c.Has) {
      EXPECT_EQ(t, c.Tile);
    }
  }
}

TEST(TreemapDrawing, FillFrameAndOutline) {
  const TColor red = Rgb(0xFF0000);
  struct {
    const char* Name;
    TRect R;
    int X, Y;
    TColor Expected;
  } cases[] = {
      {"5 wide: filled, no frame", {2, 2, 7, 20}, 2, 10, red},
      {"6 x 6: filled over its rectangle", {2, 2, 8, 8}, 3, 3, red},
      {"6 x 6: framed", {2, 2, 8, 8}, 2, 5, 0},
      {"6 x 6: framed at the far edge", {2, 2, 8, 8}, 7, 5, 0},
      {"10 x 10: fill inset by 1", {2, 2, 12, 12}, 3, 3, red},
      {"10 x 10: frame", {2, 2, 12, 12}, 2, 2, 0},
  };
  for (const auto& c : cases) {
    TPixelCanvas canvas(30, 30, Rgb(0x123456));
    PaintBackground(canvas);
    FillTile(canvas, c.R, red);
    FrameTile(canvas, c.R);
    EXPECT_EQ(canvas.Pixel(c.X, c.Y), c.Expected) << c.Name;
  }
  // The white 3-pixel outline lies centred on the border; brush and pen are
  // restored afterwards.
  TPixelCanvas canvas(30, 30);
  PaintBackground(canvas);
  FillTile(canvas, {5, 5, 20, 20}, red);
  OutlineSelected(canvas, {5, 5, 20, 20});
  for (int x : {4, 5, 6}) EXPECT_EQ(canvas.Pixel(x, 12), kWhite) << x;
  for (int x : {18, 19, 20}) EXPECT_EQ(canvas.Pixel(x, 12), kWhite) << x;
  EXPECT_EQ(canvas.Pixel(3, 12), 0u);
  EXPECT_EQ(canvas.Pixel(21, 12), 0u);
  EXPECT_EQ(canvas.Pixel(7, 12), red);
  EXPECT_EQ(canvas.Pixel(17, 12), red);
  EXPECT_EQ(canvas.Pen.Width, 1);
  EXPECT_EQ(canvas.Pen.Color, kBlack);
  EXPECT_EQ(canvas.Brush.Style, TBrushStyle::bsSolid);
}

TEST(TreemapDrawing, BackgroundFillsOnlyTheClipRectangle) {
  TPixelCanvas canvas(10, 10, kWhite);
  canvas.SetClipRect({2, 2, 5, 5});
  PaintBackground(canvas);
  EXPECT_EQ(canvas.Pixel(2, 2), kBlack);
  EXPECT_EQ(canvas.Pixel(5, 5), kWhite);
  EXPECT_EQ(canvas.Pixel(0, 0), kWhite);
}

TEST(TreemapColours, ExtensionAndHalfBrightness) {
  EXPECT_EQ(TTreemapLayout::ColorForExt(".txt"), Rgb(0xE36268));
  EXPECT_EQ(TTreemapLayout::ColorForExt(".TXT"), Rgb(0xE36268));
  EXPECT_EQ(TTreemapLayout::ColorForExt(""), Rgb(0x20AA65));
  EXPECT_EQ(TTreemapLayout::ColorForExt("(none)"), Rgb(0x20AA65));
  EXPECT_EQ(HashColor("abc"), Rgb(0x2BE967));
  EXPECT_EQ(HalfBrightness(Rgb(0xE36268)), Rgb(0x713134));
  EXPECT_EQ(ExtKeyOf(".JPG"), ".jpg");
  EXPECT_EQ(ExtKeyOf(""), "(none)");
}

TEST(TreemapIndex, CollidingHashesStayApart) {
  // Every key under one hash: the confirmation keeps them apart, and a later
  // entry with an equal key replaces the earlier one.
  const std::vector<std::string> keys{"a", "b", "c", "b"};
  TPathIndex idx;
  const bool replaced = idx.Build(
      std::vector<uint32_t>(keys.size(), 42), [](uint32_t) { return true; },
      [&](uint32_t a, uint32_t b) { return keys[a] == keys[b]; });
  EXPECT_TRUE(replaced);
  auto find = [&](const std::string& k) { return idx.Find(42, [&](uint32_t t) { return keys[t] == k; }); };
  EXPECT_EQ(find("a"), 0u);
  EXPECT_EQ(find("b"), 3u);
  EXPECT_EQ(find("c"), 2u);
  EXPECT_EQ(find("d"), TPathIndex::kNone);
}

TEST(TreemapIndex, FileKeysMatchFullPaths) {
  for (const char* rootPath : {"/", "/data/x"}) {
    TTreeBuilder b(rootPath);
    auto* d = b.AddDir(b.Root(), "Sub Dir");
    auto* dd = b.AddDir(d, "deeper");
    std::vector<TFileLeaf*> files{b.AddFile(b.Root(), "top.txt", 1), b.AddFile(d, "a", 2), b.AddFile(d, "B.Jpg", 3),
                                  b.AddFile(dd, "\xff odd", 4)};
    auto root = b.Finish();
    TPathKeyMaker keys;
    EXPECT_EQ(keys.DirKeyHash(dd), PathKeyHash(platform::PathKey(dd->FullPath())));
    EXPECT_EQ(keys.DirKeyHash(root.get()), PathKeyHash(platform::PathKey(root->FullPath())));
    // The hash taken from the folder's part equals the hash of the whole
    // key, whether the folder was seen before or not.
    for (TFileLeaf* f : files) EXPECT_EQ(keys.FileKeyHash(f), PathKeyHash(platform::PathKey(f->FullPath())));
    TPathKeyMaker fresh;
    for (TFileLeaf* f : files) EXPECT_EQ(fresh.FileKeyHash(f), PathKeyHash(platform::PathKey(f->FullPath())));
    // Worked out in memory order, handed back in the order asked.
    const std::vector<TTreeObj> objs{{files[3], false}, {dd, true}, {files[0], false}, {d, true}, {files[2], false}};
    const std::vector<uint32_t> hashes = PathKeyHashes(objs.size(), [&](size_t i) { return objs[i]; });
    for (size_t i = 0; i < objs.size(); ++i) {
      const std::string path = objs[i].IsDir ? static_cast<const TDirNode*>(objs[i].Obj)->FullPath()
                                             : static_cast<const TFileLeaf*>(objs[i].Obj)->FullPath();
      EXPECT_EQ(hashes[i], PathKeyHash(platform::PathKey(path))) << path;
    }
  }
}
