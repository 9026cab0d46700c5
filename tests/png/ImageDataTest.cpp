// Decoding the image data: inflate across IDAT chunks, row filters, Adam7, the row writers,
// palettes and gamma.

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "PngFiles.h"
#include "png/ImageRows.h"
#include "png/PNGObject.h"

namespace {

using namespace pngtest;

// A 16 x 3 RGB picture with every row filtered with a different type.
Bytes GradientRows() {
  Bytes raw;
  for (int y = 0; y < 3; ++y) {
    raw.push_back(static_cast<std::uint8_t>(y));  // None, Sub, Up
    for (int x = 0; x < 16; ++x) raw.insert(raw.end(), {std::uint8_t(x * 9), std::uint8_t(y * 40), std::uint8_t(x + y)});
  }
  return raw;
}

std::vector<Color> AllPixels(const TPNGObject& picture) {
  std::vector<Color> pixels;
  const TChunkIHDR& header = picture.HeaderChunk();
  for (std::uint32_t y = 0; y < header.Height; ++y)
    for (std::uint32_t x = 0; x < header.Width; ++x) pixels.push_back(SurfaceColour(header, x, y));
  return pixels;
}

TEST(PngImageData, OneByteChunksDecodeLikeOneChunk) {
  const auto whole = Load(PngFile().Ihdr(16, 3, 8, 2).Idat(GradientRows()).End().Data());
  const auto split = Load(PngFile().Ihdr(16, 3, 8, 2).Idat(GradientRows(), 1).End().Data());
  EXPECT_EQ(AllPixels(*whole), AllPixels(*split));
  // Row 1 is Sub-filtered: pixel 2 adds up the samples of pixels 0 to 2.
  EXPECT_EQ(SurfaceColour(whole->HeaderChunk(), 2, 1), (Color{27, 120, 6}));
}

TEST(PngImageData, BadCrcInTheMiddleOfTheImageData) {
  Bytes file = PngFile().Ihdr(16, 3, 8, 2).Idat(GradientRows(), 1).End().Data();
  // The third IDAT chunk's CRC: signature, IHDR (25), two 13-byte IDAT chunks, then 8 + 1.
  file[8 + 25 + 26 + 9] ^= 1;
  EXPECT_THROW(Load(file), EPngInvalidCRC);
}

TEST(PngImageData, DataRunningIntoAnotherChunkAreMissingParts) {
  const Bytes z = Compress(GradientRows());
  const Bytes firstHalf(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(z.size() / 2));
  EXPECT_THROW(Load(PngFile().Ihdr(16, 3, 8, 2).Chunk("IDAT", firstHalf).Chunk("tEXt", {'a', 0}).End().Data()),
               EPNGMissingMultipleIDAT);
}

TEST(PngImageData, EarlyEndOfTheCompressedStreamKeepsTheRowsDecoded) {
  // The zlib stream holds one row of a three-row picture; it ends cleanly.
  const Bytes rows = GradientRows();
  const Bytes raw(rows.begin(), rows.begin() + 49);
  const auto picture = Load(PngFile().Ihdr(16, 3, 8, 2).Idat(raw).End().Data());
  EXPECT_EQ(SurfaceColour(picture->HeaderChunk(), 3, 0), (Color{27, 0, 3}));
  EXPECT_EQ(SurfaceColour(picture->HeaderChunk(), 3, 2), (Color{}));
}

TEST(PngImageData, InflateFailuresAreReportedWithTheirText) {
  try {
    Load(PngFile().Ihdr(4, 4, 8, 0).Chunk("IDAT", {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF}).End().Data());
    FAIL() << "no error";
  } catch (const EPNGZLIBError& error) {
    EXPECT_NE(std::string(error.what()).find("data error (-3)"), std::string::npos);
  }
  // A stream that asks for a preset dictionary can never go on: an error, not a loop.
  try {
    Load(PngFile().Ihdr(4, 4, 8, 0).Chunk("IDAT", {0x78, 0xBB, 0, 0, 0, 1, 1, 2, 3}).End().Data());
    FAIL() << "no error";
  } catch (const EPNGZLIBError& error) {
    EXPECT_NE(std::string(error.what()).find("need dictionary (2)"), std::string::npos);
  }
}

TEST(PngImageData, PaethPredictor) {
  EXPECT_EQ(PaethPredictor(7, 7, 7), 7);      // all equal: left
  EXPECT_EQ(PaethPredictor(10, 20, 10), 20);  // pb < pa = pc: above
  EXPECT_EQ(PaethPredictor(10, 20, 20), 10);
  EXPECT_EQ(PaethPredictor(100, 10, 60), 60);  // upper-left closest
}

TEST(PngImageData, FiltersMatchTheirDefinitions) {
  const Bytes previous = {10, 200, 30, 40, 250, 60};
  struct Case {
    std::uint8_t filter;
    Bytes expected;
  };
  // Row {1, 2, 3, 4, 5, 6} with a pixel distance of 2.
  const Case cases[] = {
      {0, {1, 2, 3, 4, 5, 6}},
      {1, {1, 2, 4, 6, 9, 12}},
      {2, {11, 202, 33, 44, 255, 66}},
      {3, {6, 102, 3 + (30 + 6) / 2, 4 + (40 + 102) / 2, 0, 0}},
      {4, {11, 202, 0, 0, 0, 0}},
      {5, {1, 2, 3, 4, 5, 6}},
      {255, {1, 2, 3, 4, 5, 6}},
  };
  for (const Case& c : cases) {
    Bytes row = {1, 2, 3, 4, 5, 6};
    Unfilter(c.filter, row.data(), previous.data(), row.size(), 2);
    if (c.filter == 3) {
      // Finish the expectation from the bytes already unfiltered.
      Bytes expected = c.expected;
      expected[4] = static_cast<std::uint8_t>(5 + (250 + expected[2]) / 2);
      expected[5] = static_cast<std::uint8_t>(6 + (60 + expected[3]) / 2);
      EXPECT_EQ(row, expected);
    } else if (c.filter == 4) {
      Bytes expected = c.expected;
      for (std::size_t i = 2; i < 6; ++i)
        expected[i] = static_cast<std::uint8_t>(i + 1 + PaethPredictor(expected[i - 2], previous[i], previous[i - 2]));
      EXPECT_EQ(row, expected);
    } else {
      EXPECT_EQ(row, c.expected) << int(c.filter);
    }
  }
}

// Grey 2-bit samples 0, 1, 2, 3 spread over the 16-level ramp, plain and interlaced.
TEST(PngImageData, TwoBitGreyLevelsPlainAndInterlaced) {
  for (int interlace : {0, 1}) {
    Bytes raw;
    if (interlace == 0) raw = {0, 0b00011011};
    else
      // Passes for a 4 x 1 picture: 1 (column 0), 4 (column 2), 6 (columns 1 and 3).
      raw = {0, 0b00000000, 0, 0b10000000, 0, 0b01110000};
    const auto picture = Load(PngFile().Ihdr(4, 1, 2, 0, interlace).Idat(raw).End().Data());
    const std::vector<Color> expected = {{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}};
    EXPECT_EQ(AllPixels(*picture), expected) << interlace;
  }
}

TEST(PngImageData, FirstRowOfEveryPassSeesZerosAbove) {
  // 8 x 8 grey, interlaced, every row filtered with Up, Average or Paeth and holding 0 + 1
  // per byte: with zeros above, each unfiltered row is the same as if it were unfiltered (None).
  for (std::uint8_t filter : {2, 3, 4}) {
    Bytes raw;
    const std::pair<int, int> passes[] = {{1, 1}, {1, 1}, {2, 1}, {2, 2}, {4, 2}, {4, 4}, {8, 4}};  // width, rows
    for (const auto& [width, rows] : passes)
      for (int r = 0; r < rows; ++r) {
        raw.push_back(r == 0 ? filter : 0);
        for (int x = 0; x < width; ++x) raw.push_back(static_cast<std::uint8_t>(50));
      }
    const auto picture = Load(PngFile().Ihdr(8, 8, 8, 0, 1).Idat(raw).End().Data());
    // With Average and Paeth, the left neighbour takes part from the second pixel on.
    const std::uint8_t second = filter == 2 ? 50 : filter == 3 ? 75 : 100;
    EXPECT_EQ(SurfaceColour(picture->HeaderChunk(), 0, 0), (Color{50, 50, 50})) << int(filter);
    EXPECT_EQ(SurfaceColour(picture->HeaderChunk(), 1, 1), (Color{second, second, second})) << int(filter);
  }
}

TEST(PngImageData, OnePixelWideInterlacedPictureSkipsEmptyPasses) {
  // Passes 1, 3, 5, 7 have rows for column 0 (rows 0 | 4 | 2, 6 | 1, 3, 5, 7); 2, 4, 6 are empty.
  Bytes raw;
  for (int v : {10, 50, 30, 70, 20, 40, 60, 80}) raw.insert(raw.end(), {0, std::uint8_t(v)});
  const auto picture = Load(PngFile().Ihdr(1, 8, 8, 0, 1).Idat(raw).End().Data());
  std::vector<Color> expected;
  for (int v : {10, 20, 30, 40, 50, 60, 70, 80}) expected.push_back({std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)});
  EXPECT_EQ(AllPixels(*picture), expected);
}

TEST(PngImageData, SixteenBitSamplesKeepTheirHighByte) {
  const auto picture =
      Load(PngFile().Ihdr(1, 1, 16, 2).Idat({0, 0x12, 0xAB, 0x34, 0xCD, 0x56, 0xEF}).End().Data());
  EXPECT_EQ(AllPixels(*picture), (std::vector<Color>{{0x12, 0x34, 0x56}}));
  const auto alpha = Load(PngFile().Ihdr(1, 1, 16, 4).Idat({0, 0x12, 0xAB, 0x80, 0x01}).End().Data());
  EXPECT_EQ(alpha->HeaderChunk().AlphaRow(0)[0], 0x80);
  EXPECT_EQ(AllPixels(*alpha), (std::vector<Color>{{0x12, 0x12, 0x12}}));
}

TEST(PngImageData, GammaTables) {
  const Bytes raw = {0, 0, 64, 128, 0, 254, 255};
  // 45455 (1 / 2.2) gives exactly the identity.
  auto identity = Load(PngFile().Ihdr(2, 1, 8, 2).Chunk("gAMA", BigEndian(45455)).Idat(raw).End().Data());
  for (int i = 0; i < 256; ++i) EXPECT_EQ(identity->SampleGamma[i], i);
  EXPECT_EQ(AllPixels(*identity), (std::vector<Color>{{0, 64, 128}, {0, 254, 255}}));
  // A gAMA that cannot be right is ignored: a body other than 4 bytes, values that would send
  // every level to black or to white.
  for (const Bytes& body : {Bytes{0, 0, 1}, Bytes{0, 1, 0x86, 0xA0, 0}, BigEndian(1), BigEndian(625000001)}) {
    auto ignored = Load(PngFile().Ihdr(2, 1, 8, 2).Chunk("gAMA", body).Idat(raw).End().Data());
    EXPECT_EQ(AllPixels(*ignored), (std::vector<Color>{{0, 64, 128}, {0, 254, 255}})) << body.size() << " bytes";
  }
  // 100000 (gamma 1.0): level 128 -> round(255 * (128/255)^(1/2.2)) = 186; grey goes through the ramp.
  auto one = Load(PngFile().Ihdr(1, 1, 8, 0).Chunk("gAMA", BigEndian(100000)).Idat({0, 128}).End().Data());
  EXPECT_EQ(AllPixels(*one), (std::vector<Color>{{186, 186, 186}}));
  EXPECT_EQ(one->SampleGammaInverse[186], 128);
  // Data decoded before the gAMA chunk keep their levels.
  auto late = Load(PngFile().Ihdr(1, 1, 8, 0).Idat({0, 128}).Chunk("gAMA", BigEndian(100000)).End().Data());
  EXPECT_EQ(AllPixels(*late), (std::vector<Color>{{128, 128, 128}}));
}

TEST(PngImageData, InvalidPalettes) {
  EXPECT_THROW(Load(PngFile().Ihdr(1, 1, 8, 3).Chunk("PLTE", Bytes(257 * 3, 1)).Idat({0, 0}).End().Data()),
               EPNGInvalidPalette);
  EXPECT_THROW(Load(PngFile().Ihdr(1, 1, 8, 3).Chunk("PLTE", Bytes(10, 1)).Idat({0, 0}).End().Data()),
               EPNGInvalidPalette);
  EXPECT_THROW(Load(PngFile().Ihdr(1, 1, 8, 3).Chunk("tRNS", Bytes(257, 1)).Idat({0, 0}).End().Data()),
               EPNGInvalidPalette);
  EXPECT_NO_THROW(Load(PngFile().Ihdr(1, 1, 8, 3).Chunk("PLTE", Bytes(256 * 3, 1)).Idat({0, 0}).End().Data()));
}

TEST(PngImageData, IndicesWithoutPaletteEntryAreBlack) {
  const auto picture =
      Load(PngFile().Ihdr(3, 1, 8, 3).Chunk("PLTE", {9, 8, 7, 6, 5, 4}).Idat({0, 1, 2, 255}).End().Data());
  EXPECT_EQ(AllPixels(*picture), (std::vector<Color>{{6, 5, 4}, {0, 0, 0}, {0, 0, 0}}));
  const TChunkPLTE* palette = picture->FirstOfClass<TChunkPLTE>();
  EXPECT_EQ(palette->PaletteEntry(1), (Color{6, 5, 4}));
  EXPECT_THROW(palette->PaletteEntry(2), EPngError);
}

TEST(PngImageData, EmptyPicturesDecodeToNothing) {
  for (auto [w, h] : {std::pair{0u, 5u}, std::pair{5u, 0u}}) {
    Bytes raw(h, 0);
    const auto picture = Load(PngFile().Ihdr(w, h, 8, 6).Idat(raw).End().Data());
    EXPECT_TRUE(picture->Empty());
  }
}

}  // namespace
