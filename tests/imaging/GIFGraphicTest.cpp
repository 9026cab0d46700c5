#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <gif_lib.h>
#endif

#include <memory>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "imaging/GIFGraphic.h"
#include "imaging/PictureStream.h"
#include "support/Paths.h"

using imagingtest::Bytes;
using imagingtest::SamePixels;

namespace {

std::unique_ptr<TGIFGraphic> Load(const std::vector<std::uint8_t>& bytes) {
  auto gif = std::make_unique<TGIFGraphic>();
  TPictureStream stream(bytes);
  gif->ReadPictureStream(stream);
  return gif;
}

// giflib is built for Linux only: the Windows suite compares with the hand-made files alone.
#if !defined(_WIN32)
std::string DataFile(const std::string& name) { return testsupport::corpusDir() + "/gif/" + name; }

// The first image of a file as giflib gives it, through its own colour table, as RGB.
struct GiflibPicture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
};

GiflibPicture GiflibLoad(const std::string& path) {
  int error = 0;
  GifFileType* file = DGifOpenFileName(path.c_str(), &error);
  if (!file) throw std::runtime_error(GifErrorString(error));
  std::unique_ptr<GifFileType, void (*)(GifFileType*)> closer(file, [](GifFileType* f) { DGifCloseFile(f, nullptr); });
  if (DGifSlurp(file) != GIF_OK || file->ImageCount < 1) throw std::runtime_error(GifErrorString(file->Error));
  const SavedImage& image = file->SavedImages[0];
  const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : file->SColorMap;
  GiflibPicture picture{image.ImageDesc.Width, image.ImageDesc.Height, {}};
  for (int i = 0; i < picture.width * picture.height; ++i) {
    const GifColorType& c = map->Colors[image.RasterBits[i]];
    picture.rgb.insert(picture.rgb.end(), {c.Red, c.Green, c.Blue});
  }
  return picture;
}

// Files made with ImageMagick (1- to 8-bit tables, interlaced, lower-case signature, an
// animation of two frames whose first is smaller than the screen) and gifbuild (a global and
// a local table, a graphic control block holding 0x2C), against giflib's first image. giflib
// refuses the lower-case signature: that file is the 8-bit one in other letters.
TEST(GifConformance, FirstImageMatchesGiflib) {
  for (std::string file : {"bits-1", "bits-2", "bits-3", "bits-4", "bits-5", "bits-6", "bits-7", "bits-8",
                           "interlaced", "lower-case", "local-table", "animation"}) {
    SCOPED_TRACE(file);
    TGIFGraphic gif;
    gif.ReadPictureFile(DataFile(file + ".gif"));
    EXPECT_EQ(gif.Layout(), PixelLayout::Indexed8);
    const GiflibPicture reference = GiflibLoad(DataFile(file == "lower-case" ? "bits-8.gif" : file + ".gif"));
    EXPECT_TRUE(SamePixels(gif, reference.rgb.data(), reference.width, reference.height));
  }
}
#endif

// A GIF file written byte by byte: signature, logical screen and its colour table.
Bytes GifStart(unsigned screenWidth, unsigned screenHeight, unsigned globalEntries) {
  Bytes b;
  for (char c : std::string("GIF89a")) b.U8(static_cast<std::uint8_t>(c));
  unsigned bits = 0;
  while ((2u << bits) < globalEntries) ++bits;
  b.U16(screenWidth).U16(screenHeight).U8(globalEntries ? 0x80 | bits : 0).U8(0).U8(0);
  for (unsigned i = 0; i < (globalEntries ? 2u << bits : 0); ++i) b.U8(i * 40).U8(100).U8(200 - i * 40);
  return b;
}

// An image descriptor without local table, then image data at code size 8 holding `indices`:
// a clear code, one 9-bit root per pixel (few enough that codes never widen) and the end
// code and block terminator; or, when `cut`, the file ends inside a sub-block declaring 200
// bytes.
Bytes GifImage(Bytes b, unsigned width, unsigned height, bool interlaced, const std::vector<std::uint8_t>& indices,
               bool cut = false, unsigned codeSize = 8) {
  b.U8(0x2C).U16(0).U16(0).U16(width).U16(height).U8(interlaced ? 0x40 : 0).U8(codeSize);
  std::vector<unsigned> codes{256};
  codes.insert(codes.end(), indices.begin(), indices.end());
  if (!cut) codes.push_back(257);
  std::vector<std::uint8_t> data;
  std::uint32_t buffer = 0;
  unsigned count = 0;
  for (unsigned code : codes) {
    buffer |= code << count;
    for (count += 9; count >= 8; count -= 8, buffer >>= 8) data.push_back(static_cast<std::uint8_t>(buffer));
  }
  if (count) data.push_back(static_cast<std::uint8_t>(buffer));
  for (std::size_t at = 0; at < data.size(); at += 255) {
    const std::size_t n = std::min<std::size_t>(255, data.size() - at);
    b.U8(cut ? 200 : static_cast<unsigned>(n)).Raw({data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n)});
  }
  if (!cut) b.U8(0).U8(0x3B);
  return b;
}

std::vector<std::uint8_t> Indices(const TBitmap& bitmap) {
  std::vector<std::uint8_t> all;
  for (int y = 0; y < bitmap.Height(); ++y)
    all.insert(all.end(), bitmap.ScanLine(y).begin(), bitmap.ScanLine(y).begin() + bitmap.Width());
  return all;
}

// Hand-made files and the palette indices they must give, top row first.
struct IndicesCase {
  const char* name;
  Bytes file;
  int width, height;
  std::vector<std::uint8_t> indices;
};

class GifIndices : public ::testing::TestWithParam<IndicesCase> {};

TEST_P(GifIndices, AreTheExpectedOnes) {
  const auto gif = Load(GetParam().file);
  EXPECT_EQ(gif->Width(), GetParam().width);
  EXPECT_EQ(gif->Height(), GetParam().height);
  EXPECT_EQ(Indices(*gif), GetParam().indices);
}

INSTANTIATE_TEST_SUITE_P(
    HandMade, GifIndices,
    ::testing::Values(
        // Stored rows 0 to 9 land on picture rows 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
        IndicesCase{"InterlacedTenRows", GifImage(GifStart(1, 10, 16), 1, 10, true, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}),
                    1, 10, {0, 5, 3, 6, 2, 7, 4, 8, 1, 9}},
        IndicesCase{"ZeroSizeTakesTheScreens", GifImage(GifStart(3, 2, 4), 0, 0, false, {1, 2, 3, 3, 2, 1}), 3, 2,
                    {1, 2, 3, 3, 2, 1}},
        IndicesCase{"FrameLargerThanTheScreen", GifImage(GifStart(2, 1, 4), 3, 2, false, {1, 1, 1, 2, 2, 2}), 3, 2,
                    {1, 1, 1, 2, 2, 2}},
        // A comment holding 0x2C, then the trailer.
        IndicesCase{"TrailerBeforeAnyImage", GifStart(4, 4, 2).U8(0x21).U8(0xFE).U8(2).U8(0x2C).U8(0x2C).U8(0).U8(0x3B),
                    0, 0, {}},
        // Data that ends inside a sub-block declaring more: index 0 where it did not reach.
        IndicesCase{"DataEndingEarly", GifImage(GifStart(4, 2, 4), 4, 2, false, {3, 3, 3}, true), 4, 2,
                    {3, 3, 3, 0, 0, 0, 0, 0}},
        IndicesCase{"InterlacedDataEndingEarly", GifImage(GifStart(4, 3, 4), 4, 3, true, {3, 3, 3, 3, 3}, true), 4, 3,
                    {3, 3, 3, 3, 0, 0, 0, 0, 3, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GifReader, IndexBeyondTheColourTableReadsBlack) {
  const auto gif = Load(GifImage(GifStart(2, 1, 2), 2, 1, false, {1, 200}));
  EXPECT_EQ(gif->PixelColor(0, 0), (Color{40, 100, 160}));
  EXPECT_EQ(gif->PixelColor(1, 0), (Color{0, 0, 0}));
}

struct FailureCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  const char* message;
};

class GifFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(GifFailures, RaiseTheirMessage) {
  try {
    Load(GetParam().bytes);
    FAIL() << "no error";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()).substr(0, std::string(GetParam().message).size()), GetParam().message);
  }
}

std::vector<std::uint8_t> Cut(Bytes b, std::size_t size) {
  b.Data().resize(size);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, GifFailures,
    ::testing::Values(FailureCase{"WrongSignature", {'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, "Not a valid GIF file."},
                      FailureCase{"EndInsideTheHeader", {'G', 'I', 'F', '8'}, "Erreur de lecture du flux"},
                      FailureCase{"EndInsideTheColourTable", Cut(GifStart(1, 1, 4), 16), "Erreur de lecture du flux"},
                      FailureCase{"EndInsideAnExtension", Cut(GifStart(1, 1, 0).U8(0x21).U8(0xF9).U8(4).U8(0), 17),
                                  "Erreur de lecture du flux"},
                      FailureCase{"EndBeforeAnyImage", GifStart(1, 1, 0).U8(0x00).U8(0x01), "Erreur de lecture du flux"},
                      FailureCase{"CodeSizeAboveEleven", GifImage(GifStart(1, 1, 2), 1, 1, false, {1}, false, 12),
                                  "GIF LZW: invalid opcode."},
                      FailureCase{"FrameAboveTheSizeLimit", GifImage(GifStart(1, 1, 2), 65535, 65535, false, {}),
                                  "Image trop grande"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
