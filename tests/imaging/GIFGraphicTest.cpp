#include <gtest/gtest.h>

#include <gif_lib.h>

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

std::string DataFile(const std::string& name) { return testsupport::corpusDir() + "/gif/" + name; }

std::unique_ptr<TGIFGraphic> Load(const std::vector<std::uint8_t>& bytes) {
  auto gif = std::make_unique<TGIFGraphic>();
  TPictureStream stream(bytes);
  gif->ReadPictureStream(stream);
  return gif;
}

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

struct ConformanceCase {
  const char* file;
  const char* reference;  // giflib refuses the lower-case signature: the same file in capitals
};

class GifConformance : public ::testing::TestWithParam<ConformanceCase> {};

TEST_P(GifConformance, FirstImageMatchesGiflib) {
  TGIFGraphic gif;
  gif.ReadPictureFile(DataFile(GetParam().file));
  EXPECT_EQ(gif.Layout(), PixelLayout::Indexed8);
  const GiflibPicture reference = GiflibLoad(DataFile(GetParam().reference));
  EXPECT_TRUE(SamePixels(gif, reference.rgb.data(), reference.width, reference.height));
}

INSTANTIATE_TEST_SUITE_P(
    MadeWithImageMagickAndGifbuild, GifConformance,
    ::testing::Values(ConformanceCase{"bits-1.gif", "bits-1.gif"}, ConformanceCase{"bits-2.gif", "bits-2.gif"},
                      ConformanceCase{"bits-3.gif", "bits-3.gif"}, ConformanceCase{"bits-4.gif", "bits-4.gif"},
                      ConformanceCase{"bits-5.gif", "bits-5.gif"}, ConformanceCase{"bits-6.gif", "bits-6.gif"},
                      ConformanceCase{"bits-7.gif", "bits-7.gif"}, ConformanceCase{"bits-8.gif", "bits-8.gif"},
                      ConformanceCase{"interlaced.gif", "interlaced.gif"},
                      ConformanceCase{"lower-case.gif", "bits-8.gif"},
                      // The graphic control block holds 0x2C; the local table replaces the global one.
                      ConformanceCase{"local-table.gif", "local-table.gif"},
                      // Two frames on a 30 x 20 screen: the first, 23 x 17, at its own size.
                      ConformanceCase{"animation.gif", "animation.gif"}),
    [](const auto& info) {
      std::string name = info.param.file;
      name = name.substr(0, name.find('.'));
      for (char& c : name)
        if (c == '-') c = '_';
      return name;
    });

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
Bytes& GifImage(Bytes& b, unsigned width, unsigned height, bool interlaced, const std::vector<std::uint8_t>& indices,
                bool cut = false) {
  b.U8(0x2C).U16(0).U16(0).U16(width).U16(height).U8(interlaced ? 0x40 : 0).U8(8);
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

TEST(GifReader, InterlacedRowsGoToTheirPasses) {
  Bytes b = GifStart(1, 10, 16);
  GifImage(b, 1, 10, true, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  // Stored rows 0 to 9 land on picture rows 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
  EXPECT_EQ(Indices(*Load(b)), (std::vector<std::uint8_t>{0, 5, 3, 6, 2, 7, 4, 8, 1, 9}));
}

TEST(GifReader, ZeroWidthOrHeightTakesTheLogicalScreens) {
  Bytes b = GifStart(3, 2, 4);
  GifImage(b, 0, 0, false, {1, 2, 3, 3, 2, 1});
  const auto gif = Load(b);
  EXPECT_EQ(gif->Width(), 3);
  EXPECT_EQ(gif->Height(), 2);
  EXPECT_EQ(Indices(*gif), (std::vector<std::uint8_t>{1, 2, 3, 3, 2, 1}));
}

TEST(GifReader, FrameLargerThanTheScreenIsReadAtItsOwnSize) {
  Bytes b = GifStart(2, 1, 4);
  GifImage(b, 3, 2, false, {1, 1, 1, 2, 2, 2});
  const auto gif = Load(b);
  EXPECT_EQ(gif->Width(), 3);
  EXPECT_EQ(Indices(*gif), (std::vector<std::uint8_t>{1, 1, 1, 2, 2, 2}));
}

TEST(GifReader, TrailerBeforeAnyImageGivesAnEmptyPicture) {
  Bytes b = GifStart(4, 4, 2);
  b.U8(0x21).U8(0xFE).U8(2).U8(0x2C).U8(0x2C).U8(0).U8(0x3B);  // a comment holding 0x2C
  const auto gif = Load(b);
  EXPECT_EQ(gif->Width(), 0);
  EXPECT_EQ(gif->Height(), 0);
}

TEST(GifReader, IndexBeyondTheColourTableReadsBlack) {
  Bytes b = GifStart(2, 1, 2);
  GifImage(b, 2, 1, false, {1, 200});
  const auto gif = Load(b);
  EXPECT_EQ(gif->PixelColor(0, 0), (Color{40, 100, 160}));
  EXPECT_EQ(gif->PixelColor(1, 0), (Color{0, 0, 0}));
}

// Image data that ends early, in order or interlaced, leaves index 0 where it did not reach;
// a sub-block longer than the rest of the file takes only what is there.
class GifDataEndingEarly : public ::testing::TestWithParam<bool> {};

TEST_P(GifDataEndingEarly, LeavesZeroIndices) {
  Bytes b = GifStart(4, 2, 4);
  GifImage(b, 4, 2, GetParam(), {3, 3, 3}, true);
  EXPECT_EQ(Indices(*Load(b)), (std::vector<std::uint8_t>{3, 3, 3, 0, 0, 0, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(InOrderAndInterlaced, GifDataEndingEarly, ::testing::Bool());

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

std::vector<std::uint8_t> WithCodeSize(unsigned codeSize) {
  Bytes b = GifStart(1, 1, 2);
  b.U8(0x2C).U16(0).U16(0).U16(1).U16(1).U8(0).U8(codeSize).U8(1).U8(0).U8(0).U8(0x3B);
  return b;
}

std::vector<std::uint8_t> HugeFrame() {
  Bytes b = GifStart(1, 1, 2);
  b.U8(0x2C).U16(0).U16(0).U16(65535).U16(65535).U8(0).U8(8).U8(0).U8(0x3B);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, GifFailures,
    ::testing::Values(FailureCase{"WrongSignature", {'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, "Not a valid GIF file."},
                      FailureCase{"EndInsideTheHeader", {'G', 'I', 'F', '8'}, "Erreur de lecture du flux"},
                      FailureCase{"EndInsideTheScreen", Cut(GifStart(1, 1, 0), 10), "Erreur de lecture du flux"},
                      FailureCase{"EndInsideTheColourTable", Cut(GifStart(1, 1, 4), 16), "Erreur de lecture du flux"},
                      FailureCase{"EndInsideAnExtension", Cut(GifStart(1, 1, 0).U8(0x21).U8(0xF9).U8(4).U8(0), 17),
                                  "Erreur de lecture du flux"},
                      FailureCase{"EndBeforeAnyImage", GifStart(1, 1, 0).U8(0x00).U8(0x01), "Erreur de lecture du flux"},
                      FailureCase{"CodeSizeAboveEleven", WithCodeSize(12), "GIF LZW: invalid opcode."},
                      FailureCase{"FrameAboveTheSizeLimit", HugeFrame(), "Image trop grande"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
