#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "imaging/Bitmap.h"

namespace {

// A 5 x 2 raster in `layout` showing `colors` (row-major), written through the layout's own
// encoding: for indexed layouts the colours are the palette and pixel i has index i.
TBitmap Make(PixelLayout layout, const std::vector<Color>& colors) {
  TBitmap source(PixelLayout::Bgrx32, 5, 2);
  for (int i = 0; i < 10; ++i) {
    std::uint8_t* p = source.ScanLine(i / 5).data() + 4 * (i % 5);
    const Color c = colors[static_cast<std::size_t>(i) % colors.size()];
    p[0] = c.blue, p[1] = c.green, p[2] = c.red;
  }
  if (IsIndexed(layout)) {
    TBitmap indexed;
    indexed.SetPixelLayout(layout);
    std::vector<Color> palette(colors.begin(), colors.begin() + std::min<std::ptrdiff_t>(colors.size(), PaletteCapacity(layout)));
    indexed.SetPalette(palette);
    indexed.SetSize(5, 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 5; ++x) {
        const Color want = colors[static_cast<std::size_t>(y * 5 + x) % colors.size()];
        unsigned index = 0;
        while (palette[index] != want) ++index;
        std::uint8_t* row = indexed.ScanLine(y).data();
        if (layout == PixelLayout::Indexed1) row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | index << (7 - x % 8));
        else if (layout == PixelLayout::Indexed4) row[x / 2] = static_cast<std::uint8_t>(row[x / 2] | (x % 2 ? index : index << 4));
        else row[x] = static_cast<std::uint8_t>(index);
      }
    TBitmap result;
    result.CopyToBitmap(indexed);
    return result;
  }
  source.SetPixelLayout(layout);
  return source;
}

std::string Describe(const TBitmap& bitmap) {
  std::string text;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      const Color c = bitmap.PixelColor(x, y);
      text += std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue) + " ";
    }
  return text;
}

}  // namespace

// Black and white are exact in every layout, so every conversion must keep them.
class EveryConversion : public ::testing::TestWithParam<std::tuple<PixelLayout, PixelLayout>> {};

TEST_P(EveryConversion, KeepsColoursEveryLayoutCanHold) {
  const auto [from, to] = GetParam();
  const std::vector<Color> colors = {{0, 0, 0}, {255, 255, 255}, {255, 255, 255}};
  TBitmap bitmap = Make(from, colors);
  const std::string before = Describe(bitmap);
  bitmap.SetPixelLayout(to);
  EXPECT_EQ(bitmap.Layout(), to);
  EXPECT_EQ(bitmap.Stride(), RowStride(to, 5));
  EXPECT_EQ(Describe(bitmap), before);
  EXPECT_LE(bitmap.Palette().size(), static_cast<std::size_t>(PaletteCapacity(to)));
}

INSTANTIATE_TEST_SUITE_P(AllPairs, EveryConversion,
                         ::testing::Combine(::testing::ValuesIn(kAllPixelLayouts), ::testing::ValuesIn(kAllPixelLayouts)),
                         [](const auto& info) {
                           return std::string(PixelLayoutName(std::get<0>(info.param))) + "_to_" +
                                  PixelLayoutName(std::get<1>(info.param));
                         });

TEST(PixelLayoutConversion, TrueColourLayoutsConvertExactlyOrByTheirChannelWidth) {
  const std::vector<Color> colors = {{1, 2, 3}, {250, 128, 7}, {64, 200, 33}, {255, 0, 255}, {17, 17, 17}};
  TBitmap wide = Make(PixelLayout::Bgr24, colors);
  const std::string exact = Describe(wide);
  for (PixelLayout layout : {PixelLayout::Bgrx32, PixelLayout::Device, PixelLayout::Bgr24}) {
    wide.SetPixelLayout(layout);
    EXPECT_EQ(Describe(wide), exact) << PixelLayoutName(layout);
  }
  // 5-bit channels keep their top bits and widen by repeating them: 250 -> 31 -> 255,
  // 128 -> 16 -> 132, 7 -> 0 -> 0.
  TBitmap rgb15 = Make(PixelLayout::Bgr24, colors);
  rgb15.SetPixelLayout(PixelLayout::Rgb15);
  EXPECT_EQ(rgb15.PixelColor(1, 0), (Color{255, 132, 0}));
  const std::string once = Describe(rgb15);
  rgb15.SetPixelLayout(PixelLayout::Bgr24);
  rgb15.SetPixelLayout(PixelLayout::Rgb15);
  EXPECT_EQ(Describe(rgb15), once) << "a second round trip changes nothing";

  TBitmap rgb16 = Make(PixelLayout::Bgr24, colors);
  rgb16.SetPixelLayout(PixelLayout::Rgb16);
  EXPECT_EQ(rgb16.PixelColor(1, 0), (Color{255, 130, 0}));  // green 128 -> 32 of 63 -> 130
  EXPECT_EQ(rgb16.PixelColor(2, 0), (Color{66, 203, 33}));
}

TEST(PixelLayoutConversion, IndexedToIndexedKeepsAPaletteThatFits) {
  const std::vector<Color> colors = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
  TBitmap bitmap = Make(PixelLayout::Indexed8, colors);
  bitmap.SetPixelLayout(PixelLayout::Indexed4);
  EXPECT_EQ(bitmap.Palette().size(), 3u);
  EXPECT_EQ(bitmap.PixelColor(2, 0), (Color{70, 80, 90}));
  EXPECT_EQ(bitmap.ScanLine(0)[1] >> 4, 2);
}

TEST(PixelLayoutConversion, TrueColourToIndexedTakesTheNearestStandardColour) {
  TBitmap bitmap = Make(PixelLayout::Bgr24, {{250, 5, 5}, {120, 130, 125}, {0, 0, 140}});
  TBitmap four;
  four.CopyToBitmap(bitmap);
  four.SetPixelLayout(PixelLayout::Indexed4);
  ASSERT_EQ(four.Palette().size(), 16u);
  EXPECT_EQ(four.PixelColor(0, 0), (Color{255, 0, 0}));
  EXPECT_EQ(four.PixelColor(1, 0), (Color{128, 128, 128}));
  EXPECT_EQ(four.PixelColor(2, 0), (Color{0, 0, 128}));

  TBitmap two = Make(PixelLayout::Bgr24, {{200, 210, 190}, {40, 30, 50}});
  two.SetPixelLayout(PixelLayout::Indexed1);
  EXPECT_EQ(two.PixelColor(0, 0), (Color{255, 255, 255}));
  EXPECT_EQ(two.PixelColor(1, 0), (Color{0, 0, 0}));
}

TEST(PixelLayoutConversion, EmptyRasterOnlyRecordsTheLayout) {
  TBitmap bitmap;
  bitmap.SetPixelLayout(PixelLayout::Indexed8);
  EXPECT_EQ(bitmap.Layout(), PixelLayout::Indexed8);
  EXPECT_EQ(bitmap.Palette().size(), 256u);
  bitmap.SetSize(3, 1);
  EXPECT_EQ(bitmap.Stride(), 4u);
  EXPECT_EQ(bitmap.PixelColor(2, 0), (Color{0, 0, 0}));
}

TEST(TBitmapSize, ResizingKeepsTheOverlapAndZeroesTheRest) {
  TBitmap bitmap(PixelLayout::Indexed1, 12, 2);
  bitmap.SetPalette(std::vector<Color>{{0, 0, 0}, {255, 255, 255}});
  bitmap.ScanLine(0)[0] = 0xFF;
  bitmap.ScanLine(0)[1] = 0xF0;
  bitmap.SetSize(6, 3);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0xFC) << "bits beyond the new width are cleared";
  EXPECT_EQ(bitmap.ScanLine(0)[1], 0);
  EXPECT_EQ(bitmap.ScanLine(2)[0], 0);
  EXPECT_THROW(bitmap.SetSize(70000, 1), EPictureTooLarge);
  EXPECT_THROW(bitmap.SetSize(-1, 1), EInvalidGraphic);
  EXPECT_EQ(bitmap.Width(), 6);
  bitmap.SetSize(16384, 16384);
  EXPECT_EQ(bitmap.Height(), 16384);
}

TEST(TBitmapSize, RowsArePaddedToWholeWords) {
  EXPECT_EQ(RowStride(PixelLayout::Indexed1, 33), 8u);
  EXPECT_EQ(RowStride(PixelLayout::Indexed4, 9), 8u);
  EXPECT_EQ(RowStride(PixelLayout::Indexed8, 5), 8u);
  EXPECT_EQ(RowStride(PixelLayout::Rgb15, 3), 8u);
  EXPECT_EQ(RowStride(PixelLayout::Bgr24, 5), 16u);
  EXPECT_EQ(RowStride(PixelLayout::Bgrx32, 3), 12u);
  EXPECT_EQ(RowStride(PixelLayout::Device, 3), 12u);
}
