// Drawing PNG pictures (opaque, colour-keyed, alpha-blended) and copying them into rasters.

#include <gtest/gtest.h>

#include <vector>

#include "PngFiles.h"
#include "imaging/Bitmap.h"
#include "imaging/Canvas.h"
#include "png/PNGObject.h"

namespace {

using namespace pngtest;

constexpr Color kMagenta{255, 0, 255};

Canvas Filled(int width, int height, Color colour) {
  Canvas canvas(width, height);
  canvas.FillRect({0, 0, width, height}, colour);
  return canvas;
}

// Per channel, as the blend defines it.
std::uint8_t Blend(int s, int a, int d) { return static_cast<std::uint8_t>((s * a + 255 + (255 - a) * d) / 256); }

// A 3 x 1 RGBA picture: the same colour at alpha 0, 128 and 255.
std::unique_ptr<TPNGObject> RgbaStrip() {
  return Load(PngFile().Ihdr(3, 1, 8, 6).Idat({0, 10, 100, 200, 0, 10, 100, 200, 128, 10, 100, 200, 255}).End().Data());
}

TEST(PngDrawing, AlphaBlendAtZeroHalfAndFull) {
  auto picture = RgbaStrip();
  ASSERT_EQ(picture->TransparencyKind(), TTransparencyKind::AlphaTransparency);
  Canvas canvas = Filled(3, 1, kMagenta);
  picture->DrawStretched(canvas, {0, 0, 3, 1});
  EXPECT_EQ(canvas.Pixel(0, 0), kMagenta);
  EXPECT_EQ(canvas.Pixel(1, 0), (Color{Blend(10, 128, 255), Blend(100, 128, 0), Blend(200, 128, 255)}));
  EXPECT_EQ(canvas.Pixel(2, 0), (Color{10, 100, 200}));
}

TEST(PngDrawing, BlendFormulaKeepsEndsExact) {
  for (int s = 0; s < 256; s += 5)
    for (int d = 0; d < 256; d += 3) {
      ASSERT_EQ(Blend(s, 0, d), d);
      ASSERT_EQ(Blend(s, 255, d), s);
    }
}

TEST(PngDrawing, AlphaBlendStretchesByTruncation) {
  auto picture = RgbaStrip();
  Canvas canvas = Filled(6, 2, kMagenta);
  picture->DrawStretched(canvas, {0, 0, 6, 2});
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(canvas.Pixel(0, y), kMagenta);
    EXPECT_EQ(canvas.Pixel(1, y), kMagenta);
    EXPECT_EQ(canvas.Pixel(2, y), canvas.Pixel(3, y));
    EXPECT_EQ(canvas.Pixel(5, y), (Color{10, 100, 200}));
  }
  Canvas untouched = Filled(6, 2, kMagenta);
  picture->DrawStretched(untouched, {2, 0, 2, 2});
  picture->DrawStretched(untouched, {0, 1, 6, 1});
  for (int x = 0; x < 6; ++x) EXPECT_EQ(untouched.Pixel(x, 1), kMagenta);
  // A reversed rectangle is put in order first; one partly off the canvas is clipped.
  Canvas reversed = Filled(3, 1, kMagenta);
  picture->DrawStretched(reversed, {3, 1, 0, 0});
  EXPECT_EQ(reversed.Pixel(2, 0), (Color{10, 100, 200}));
  Canvas clipped = Filled(2, 1, kMagenta);
  picture->DrawStretched(clipped, {-1, 0, 2, 1});
  EXPECT_EQ(clipped.Pixel(1, 0), (Color{10, 100, 200}));
}

TEST(PngDrawing, GreyAlphaBlendsTheStoredGrey) {
  // With gamma 1.0 the ramp would show 186 for 128; the blend uses the stored byte.
  auto picture =
      Load(PngFile().Ihdr(1, 1, 8, 4).Chunk("gAMA", BigEndian(100000)).Idat({0, 128, 255}).End().Data());
  Canvas canvas = Filled(1, 1, kMagenta);
  picture->DrawStretched(canvas, {0, 0, 1, 1});
  EXPECT_EQ(canvas.Pixel(0, 0), (Color{128, 128, 128}));
}

// A 4 x 1 palette picture of indices 0 1 2 3 and the given tRNS body.
std::unique_ptr<TPNGObject> PalettePicture(const Bytes& trns, bool withPalette = true) {
  PngFile file;
  file.Ihdr(4, 1, 8, 3);
  if (withPalette) file.Chunk("PLTE", {10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40});
  if (!trns.empty()) file.Chunk("tRNS", trns);
  return Load(file.Idat({0, 0, 1, 2, 3}).End().Data());
}

std::vector<Color> Row(const Canvas& canvas) {
  std::vector<Color> row;
  for (int x = 0; x < canvas.Width(); ++x) row.push_back(canvas.Pixel(x, 0));
  return row;
}

TEST(PngDrawing, PaletteTransparencyKinds) {
  struct Case {
    Bytes trns;
    TTransparencyKind kind;
    std::vector<Color> drawn;
  };
  const Color k = kMagenta, c10{10, 10, 10}, c20{20, 20, 20}, c30{30, 30, 30}, c40{40, 40, 40};
  const Case cases[] = {
      {{}, TTransparencyKind::NoTransparency, {c10, c20, c30, c40}},
      // One entry below 255: its colour is a key.
      {{0, 255, 255}, TTransparencyKind::KeyTransparency, {k, c20, c30, c40}},
      {{255, 0}, TTransparencyKind::KeyTransparency, {c10, k, c30, c40}},
      // Two entries below 255: blended.
      {{0, 128}, TTransparencyKind::AlphaTransparency,
       {k, {Blend(20, 128, 255), Blend(20, 128, 0), Blend(20, 128, 255)}, c30, c40}},
      // All 255: blended, and opaque.
      {{255, 255, 255, 255}, TTransparencyKind::AlphaTransparency, {c10, c20, c30, c40}},
  };
  for (const Case& c : cases) {
    auto picture = PalettePicture(c.trns);
    EXPECT_EQ(picture->TransparencyKind(), c.kind);
    Canvas canvas = Filled(4, 1, kMagenta);
    picture->DrawStretched(canvas, {0, 0, 4, 1});
    EXPECT_EQ(Row(canvas), c.drawn) << c.trns.size();
  }
}

TEST(PngDrawing, PaletteBlendWithoutPaletteEntriesFailsAndLeavesTheCanvas) {
  for (bool withPalette : {false, true}) {
    PngFile file;
    file.Ihdr(2, 1, 8, 3);
    if (withPalette) file.Chunk("PLTE", {1, 2, 3});
    auto picture = Load(file.Chunk("tRNS", {0, 0}).Idat({0, 0, 1}).End().Data());
    Canvas canvas = Filled(2, 1, kMagenta);
    EXPECT_THROW(picture->DrawStretched(canvas, {0, 0, 2, 1}), EPngError);
    EXPECT_EQ(Row(canvas), (std::vector<Color>{kMagenta, kMagenta}));
  }
}

TEST(PngDrawing, GreyAndRgbKeys) {
  // 8-bit grey, key sample 0x0080: the key is its first byte, black.
  auto grey = Load(PngFile().Ihdr(2, 1, 8, 0).Chunk("tRNS", {0, 0x80}).Idat({0, 0, 0x80}).End().Data());
  EXPECT_EQ(grey->KeyColour(), (Color{}));
  Canvas canvas = Filled(2, 1, kMagenta);
  grey->DrawStretched(canvas, {0, 0, 2, 1});
  EXPECT_EQ(Row(canvas), (std::vector<Color>{kMagenta, {0x80, 0x80, 0x80}}));
  // RGB: the low byte of each two-byte sample; a short body reads zeros, never past its end.
  auto rgb = Load(PngFile().Ihdr(1, 1, 8, 2).Chunk("tRNS", {0, 1, 0, 2, 0, 3}).Idat({0, 1, 2, 3}).End().Data());
  EXPECT_EQ(rgb->KeyColour(), (Color{1, 2, 3}));
  Canvas keyed = Filled(1, 1, kMagenta);
  rgb->DrawStretched(keyed, {0, 0, 1, 1});
  EXPECT_EQ(keyed.Pixel(0, 0), kMagenta);
  auto shortKey = Load(PngFile().Ihdr(1, 1, 8, 2).Chunk("tRNS", {0, 9}).Idat({0, 1, 2, 3}).End().Data());
  EXPECT_EQ(shortKey->KeyColour(), (Color{9, 0, 0}));
}

TEST(PngDrawing, OpaquePicturesStretchNearestNeighbour) {
  auto picture = Load(PngFile().Ihdr(2, 1, 8, 2).Idat({0, 1, 2, 3, 4, 5, 6}).End().Data());
  EXPECT_EQ(picture->TransparencyKind(), TTransparencyKind::NoTransparency);
  Canvas canvas(4, 1);
  picture->DrawStretched(canvas, {0, 0, 4, 1});
  EXPECT_EQ(Row(canvas), (std::vector<Color>{{1, 2, 3}, {1, 2, 3}, {4, 5, 6}, {4, 5, 6}}));
}

TEST(PngDrawing, EmptyPictureDrawsNothing) {
  TPNGObject picture;
  EXPECT_EQ(picture.Width(), 0);
  EXPECT_EQ(picture.Height(), 0);
  Canvas canvas = Filled(2, 2, kMagenta);
  picture.DrawStretched(canvas, {0, 0, 2, 2});
  EXPECT_EQ(canvas.Pixel(1, 1), kMagenta);
  EXPECT_THROW(picture.TransparencyKind(), EPNGHeaderNotPresent);
  TBitmap bitmap;
  EXPECT_THROW(bitmap.CopyToBitmap(picture), EConvertError);
}

TEST(PngDrawing, PictureWhoseHeaderFailedIsEmpty) {
  // The chunks read before a failure stay with the picture; a header that failed its checks
  // or the size limit must not announce a size without pixels behind it.
  const Bytes files[] = {PngFile().Ihdr(32, 32, 8, 1).Idat({0}).End().Data(),
                         PngFile().Ihdr(65535, 65535, 16, 6).Idat({0}).End().Data()};
  for (const Bytes& file : files) {
    TPNGObject picture;
    TPictureStream stream(file);
    EXPECT_ANY_THROW(picture.ReadPictureStream(stream));
    EXPECT_TRUE(picture.HasHeader());
    EXPECT_TRUE(picture.Empty());
    Canvas canvas = Filled(4, 4, kMagenta);
    picture.DrawStretched(canvas, {0, 0, 4, 4});
    EXPECT_EQ(canvas.Pixel(3, 3), kMagenta);
    TBitmap bitmap;
    bitmap.CopyToBitmap(picture);
    EXPECT_TRUE(bitmap.Empty());
  }
}

TEST(PngCopy, AlphaPicturesCopyTheirColoursOpaque) {
  auto picture = RgbaStrip();
  TBitmap bitmap;
  bitmap.CopyToBitmap(*picture);
  EXPECT_EQ(bitmap.Layout(), PixelLayout::Device);
  EXPECT_FALSE(bitmap.Transparent());
  for (int x = 0; x < 3; ++x) EXPECT_EQ(bitmap.PixelColor(x, 0), (Color{10, 100, 200}));
}

TEST(PngCopy, KeyedPicturesCarryTheirKey) {
  auto grey = Load(PngFile().Ihdr(2, 1, 8, 0).Chunk("tRNS", {7, 0}).Idat({0, 7, 9}).End().Data());
  TBitmap bitmap;
  bitmap.CopyToBitmap(*grey);
  EXPECT_TRUE(bitmap.Transparent());
  EXPECT_EQ(bitmap.TransparentColor(), (Color{7, 7, 7}));
  EXPECT_EQ(bitmap.PixelColor(1, 0), (Color{9, 9, 9}));
  // Drawn through its key, the copy leaves the key pixels alone like the picture does.
  Canvas canvas = Filled(2, 1, kMagenta);
  bitmap.DrawStretched(canvas, {0, 0, 2, 1});
  EXPECT_EQ(Row(canvas), (std::vector<Color>{kMagenta, {9, 9, 9}}));
}

TEST(PngCopy, PalettePicturesCopyThroughTheirColourTable) {
  auto picture = PalettePicture({});
  TBitmap bitmap;
  bitmap.CopyToBitmap(*picture);
  EXPECT_EQ(bitmap.PixelColor(3, 0), (Color{40, 40, 40}));
  bitmap.SetPixelLayout(PixelLayout::Bgr24);
  EXPECT_EQ(bitmap.PixelColor(1, 0), (Color{20, 20, 20}));
}

}  // namespace
