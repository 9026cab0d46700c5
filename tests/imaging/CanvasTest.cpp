#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/Bitmap.h"
#include "imaging/Canvas.h"
#include "imaging/ImageList.h"

namespace {

// A one-row or small raster whose pixels are the letters of `rows` (a..z -> red 10 * (c - 'a')).
TBitmap Letters(const std::vector<std::string>& rows) {
  TBitmap bitmap(PixelLayout::Bgr24, static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) bitmap.ScanLine(y)[3 * x + 2] = static_cast<std::uint8_t>(10 * (rows[y][x] - 'a' + 1));
  return bitmap;
}

// The canvas back as letters; '.' for black.
std::vector<std::string> Read(const Canvas& canvas) {
  std::vector<std::string> rows;
  for (int y = 0; y < canvas.Height(); ++y) {
    std::string row;
    for (int x = 0; x < canvas.Width(); ++x) {
      const Color c = canvas.Pixel(x, y);
      row += c.red == 0 ? '.' : static_cast<char>('a' + c.red / 10 - 1);
    }
    rows.push_back(row);
  }
  return rows;
}

struct StretchCase {
  std::vector<std::string> source;
  int canvasWidth, canvasHeight;
  Rect rect;
  std::vector<std::string> expected;
};

}  // namespace

class NearestNeighbour : public ::testing::TestWithParam<StretchCase> {};

TEST_P(NearestNeighbour, TakesTheSourcePixelAtTheFloorOfTheScaledPosition) {
  const StretchCase& c = GetParam();
  TBitmap source = Letters(c.source);
  Canvas canvas(c.canvasWidth, c.canvasHeight);
  source.DrawStretched(canvas, c.rect);
  EXPECT_EQ(Read(canvas), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    SmallCases, NearestNeighbour,
    ::testing::Values(
        StretchCase{{"ab", "cd"}, 4, 4, {0, 0, 4, 4}, {"aabb", "aabb", "ccdd", "ccdd"}},
        StretchCase{{"abc"}, 2, 1, {0, 0, 2, 1}, {"ab"}},
        StretchCase{{"abcd"}, 3, 1, {0, 0, 3, 1}, {"abc"}},
        StretchCase{{"abcd"}, 2, 1, {0, 0, 2, 1}, {"ac"}},
        StretchCase{{"abc"}, 5, 1, {0, 0, 5, 1}, {"aabbc"}},
        StretchCase{{"a", "b", "c"}, 1, 2, {0, 0, 1, 2}, {"a", "b"}},
        StretchCase{{"ab"}, 5, 2, {1, 1, 4, 2}, {".....", ".aab."}},
        // Partly off the canvas: the visible part is drawn as if the whole were.
        StretchCase{{"abcdef"}, 4, 1, {-1, 0, 5, 1}, {"bcde"}},
        StretchCase{{"ab"}, 3, 1, {-4, 0, 4, 1}, {"bbb"}},
        // Empty, inverted or wholly outside rectangles draw nothing.
        StretchCase{{"ab"}, 2, 1, {2, 0, 0, 1}, {".."}},
        StretchCase{{"ab"}, 2, 1, {0, 0, 0, 1}, {".."}},
        StretchCase{{"ab"}, 2, 1, {5, 5, 9, 9}, {".."}}));

TEST(Canvas, IndexedRastersDrawThroughTheirPalette) {
  TBitmap bitmap(PixelLayout::Indexed4, 2, 1);
  bitmap.SetPalette(std::vector<Color>{{0, 0, 0}, {1, 2, 3}, {7, 8, 9}});
  bitmap.ScanLine(0)[0] = 0x21;
  Canvas canvas(4, 1);
  bitmap.DrawStretched(canvas, {0, 0, 4, 1});
  EXPECT_EQ(canvas.Pixel(0, 0), (Color{7, 8, 9}));
  EXPECT_EQ(canvas.Pixel(1, 0), (Color{7, 8, 9}));
  EXPECT_EQ(canvas.Pixel(3, 0), (Color{1, 2, 3}));
}

TEST(Canvas, TransparentRastersLeaveTheirKeyColourUnpainted) {
  TBitmap bitmap = Letters({"abab"});
  bitmap.SetTransparent(true);
  bitmap.SetTransparentColor({20, 0, 0});  // 'b'
  Canvas canvas(4, 1);
  canvas.FillRect({0, 0, 4, 1}, {250, 0, 0});
  bitmap.DrawStretched(canvas, {0, 0, 4, 1});
  EXPECT_EQ(Read(canvas), (std::vector<std::string>{"ayay"}));
}

TEST(Canvas, FillRectIsClippedToTheCanvas) {
  Canvas canvas(3, 2);
  canvas.FillRect({-5, 1, 2, 10}, {10, 0, 0});
  EXPECT_EQ(Read(canvas), (std::vector<std::string>{"...", "aa."}));
}

TEST(ImageList, SlotsDrawWithTheMaskColourTransparent) {
  TImageList list;
  EXPECT_EQ(list.Width(), 60);
  EXPECT_EQ(list.Height(), 45);
  Canvas cell(60, 45);
  cell.FillRect({0, 0, 60, 45}, kThumbnailMaskColour);
  cell.FillRect({10, 10, 20, 20}, {1, 2, 3});
  EXPECT_EQ(list.AddMasked(cell, kThumbnailMaskColour), 0u);
  EXPECT_EQ(list.AddPlaceholder(), 1u);

  Canvas target(70, 50);
  target.FillRect({0, 0, 70, 50}, {9, 9, 9});
  list.Draw(target, 5, 5, 0);
  EXPECT_EQ(target.Pixel(5, 5), (Color{9, 9, 9}));
  EXPECT_EQ(target.Pixel(15, 15), (Color{1, 2, 3}));
  list.Draw(target, 0, 0, 7);  // beyond the list: nothing
  EXPECT_EQ(target.Pixel(0, 0), (Color{9, 9, 9}));
  list.Draw(target, 10, 5, 1);  // the placeholder: opaque black
  EXPECT_EQ(target.Pixel(10, 5), (Color{0, 0, 0}));
  EXPECT_EQ(target.Pixel(69, 49), (Color{0, 0, 0}));

  // Replacing a slot with a smaller picture: what it leaves uncovered is transparent.
  list.ReplaceMasked(1, Canvas(30, 45), kThumbnailMaskColour);
  list.Draw(target, 0, 0, 1);
  EXPECT_EQ(target.Pixel(29, 0), (Color{0, 0, 0}));
  EXPECT_EQ(target.Pixel(30, 0), (Color{9, 9, 9}));
  EXPECT_EQ(kThumbnailMaskColour, (Color{255, 72, 255}));
}

// Only the most recently used cells keep their pixels, so the memory of the list does not grow
// with the catalogue.
TEST(ImageList, OnlyTheMostRecentlyUsedCellsKeepTheirPixels) {
  TImageList list;
  list.SetMaxResident(2);
  Canvas cell(60, 45);
  for (int i = 0; i < 4; ++i) list.AddMasked(cell, kThumbnailMaskColour);
  EXPECT_EQ(list.ResidentCount(), 2u);
  EXPECT_FALSE(list.HasPixels(1));
  EXPECT_TRUE(list.HasPixels(2));
  Canvas target(60, 45);
  list.Draw(target, 0, 0, 2);  // 2 is now the most recent: replacing 0 lets 3 go
  list.ReplaceMasked(0, cell, kThumbnailMaskColour);
  EXPECT_TRUE(list.HasPixels(0));
  EXPECT_TRUE(list.HasPixels(2));
  EXPECT_FALSE(list.HasPixels(3));
  list.SetMaxResident(0);
  EXPECT_EQ(list.ResidentCount(), 0u);
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
}
