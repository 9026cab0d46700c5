#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "imaging/PictureStream.h"
#include "imaging/TargaGraphic.h"
#include "support/Paths.h"

#include <stb/stb_image.h>

using imagingtest::Bytes;
using imagingtest::SamePixels;

namespace {

std::unique_ptr<TTargaGraphic> Load(const std::vector<std::uint8_t>& bytes) {
  auto tga = std::make_unique<TTargaGraphic>();
  TPictureStream stream(bytes);
  tga->ReadPictureStream(stream);
  return tga;
}

using StbPixels = std::unique_ptr<stbi_uc, decltype(&stbi_image_free)>;

// The 18-byte header; the colour map, if any, is `mapLength` entries of `mapBits`.
Bytes TgaHeader(unsigned type, unsigned depth, unsigned width, unsigned height, bool topDown = false,
                unsigned mapLength = 0, unsigned mapBits = 0, const std::string& id = "") {
  Bytes b;
  b.U8(static_cast<unsigned>(id.size())).U8(mapLength ? 1 : 0).U8(type).U16(0).U16(mapLength).U8(mapBits);
  b.U16(0).U16(0).U16(width).U16(height).U8(depth).U8(topDown ? 0x20 : 0);
  for (char c : id) b.U8(static_cast<std::uint8_t>(c));
  return b;
}

// Files made with ImageMagick (types 1, 2, 3, 9, 10, 11 at 8, 24 and 32 bits, both row
// orders, rows stored right to left), pamtotga (16-bit colour-map entries, an identification
// text), Pillow (16-bit grey with alpha) and by hand (run-length packets across row ends),
// against stb_image. Their names tell the type, the depth and, for colour maps, the entry size.
TEST(TargaConformance, FilesMatchStbImage) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(testsupport::corpusDir() + "/targa")) {
    const std::string path = entry.path().string(), name = entry.path().filename().string();
    if (entry.path().extension() != ".tga") continue;
    SCOPED_TRACE(name);
    ++files;
    TTargaGraphic tga;
    tga.ReadPictureFile(path);
    EXPECT_EQ(tga.Layout(), name.find("-24-") != std::string::npos   ? PixelLayout::Bgr24
                            : name.find("-32-") != std::string::npos ? PixelLayout::Bgrx32
                                                                     : PixelLayout::Indexed8);
    // stb_image does not read the right-to-left bit: such a file holds the mirror image of its
    // left-to-right sibling, and must show the same.
    std::string referencePath = path;
    if (const auto at = referencePath.find("-right-to-left"); at != std::string::npos)
      referencePath.erase(at, std::string("-right-to-left").size());
    int width = 0, height = 0, channels = 0;
    const StbPixels reference(stbi_load(referencePath.c_str(), &width, &height, &channels, 3), &stbi_image_free);
    ASSERT_TRUE(reference) << stbi_failure_reason();
    // stb_image widens 5-bit channels by another rule: their top 5 bits are compared.
    const bool fiveBits = name.find("map16") != std::string::npos;
    EXPECT_TRUE(SamePixels(tga, reference.get(), width, height, fiveBits ? 5 : 8));
  }
  EXPECT_EQ(files, 23);
}

// 15- and 16-bit true colour, which no Debian tool writes: uncompressed and as one literal
// packet per row, in both row orders, against stb_image on the same bytes.
TEST(TargaConformance, FifteenAndSixteenBitPixelsMatchStbImage) {
  struct Case {
    unsigned type, depth;
    bool topDown;
  };
  for (const Case& c : {Case{2, 16, false}, Case{2, 15, true}, Case{10, 16, true}, Case{10, 15, false}}) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " depth " + std::to_string(c.depth));
    constexpr unsigned kWidth = 5, kHeight = 3;
    Bytes b = TgaHeader(c.type, c.depth, kWidth, kHeight, c.topDown);
    for (unsigned y = 0; y < kHeight; ++y) {
      if (c.type == 10) b.U8(kWidth - 1);
      for (unsigned x = 0; x < kWidth; ++x) b.U16((x * 7 + y * 11) % 32 << 10 | (x * 5 + 3) << 5 | (y * 9 + x));
    }
    const auto tga = Load(b);
    EXPECT_EQ(tga->Layout(), PixelLayout::Rgb15);
    int width = 0, height = 0, channels = 0;
    const StbPixels reference(
        stbi_load_from_memory(b.Data().data(), static_cast<int>(b.Size()), &width, &height, &channels, 3),
        &stbi_image_free);
    ASSERT_TRUE(reference) << stbi_failure_reason();
    EXPECT_TRUE(SamePixels(*tga, reference.get(), width, height, 5));
  }
}

// Hand-made files and the colours they must show, top row first.
struct PixelCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  int width, height;
  std::vector<Color> colors;
};

class TargaPixels : public ::testing::TestWithParam<PixelCase> {};

TEST_P(TargaPixels, ShowTheExpectedColours) {
  const PixelCase& c = GetParam();
  const auto tga = Load(c.bytes);
  ASSERT_EQ(tga->Width(), c.width);
  ASSERT_EQ(tga->Height(), c.height);
  std::vector<Color> colors;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) colors.push_back(tga->PixelColor(x, y));
  EXPECT_EQ(colors, c.colors);
}

constexpr Color kBlack{0, 0, 0};

std::vector<std::uint8_t> Map16() {
  return TgaHeader(1, 8, 2, 1, false, 2, 16).U16(0x7FFF).U16(0x001F).U8(0).U8(1);
}

// 258 entries of 24 bits: the two beyond 256 must be passed to reach the pixels.
std::vector<std::uint8_t> LongMap() {
  Bytes b = TgaHeader(1, 8, 3, 1, false, 258, 24);
  for (unsigned i = 0; i < 258; ++i) b.U8(i).U8(0).U8(255 - i);
  return b.U8(0).U8(255).U8(7);
}

// A grey picture that declares a colour map: the map's bytes are passed, the grey ramp used.
std::vector<std::uint8_t> GreyWithMap() {
  return TgaHeader(3, 8, 2, 1, false, 2, 24).U8(9).U8(9).U8(9).U8(9).U8(9).U8(9).U8(17).U8(200);
}

std::vector<std::uint8_t> IndexBeyondMap() {
  return TgaHeader(1, 8, 2, 1, false, 2, 24).U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U8(1).U8(9);
}

std::vector<std::uint8_t> Depth64() {
  Bytes b = TgaHeader(2, 64, 2, 2);
  for (int i = 0; i < 32; ++i) b.U8(0xAB);
  return b;
}

// A run of three pixels over rows of two: the third starts the next row.
std::vector<std::uint8_t> RunAcrossRows() {
  return TgaHeader(10, 24, 2, 2, true).U8(0x82).U8(10).U8(20).U8(30).U8(0x81).U8(40).U8(50).U8(60);
}

// Run-length data for the first of three rows only.
std::vector<std::uint8_t> RunLengthCut() {
  return TgaHeader(10, 24, 2, 3, true).U8(0x81).U8(10).U8(20).U8(30);
}

INSTANTIATE_TEST_SUITE_P(
    HandMade, TargaPixels,
    ::testing::Values(PixelCase{"SixteenBitMapEntries", Map16(), 2, 1, {{248, 248, 248}, {0, 0, 248}}},
                      PixelCase{"MapLongerThan256", LongMap(), 3, 1, {{255, 0, 0}, {0, 0, 255}, {248, 0, 7}}},
                      PixelCase{"GreyDeclaringAMap", GreyWithMap(), 2, 1, {{17, 17, 17}, {200, 200, 200}}},
                      PixelCase{"IndexBeyondTheMap", IndexBeyondMap(), 2, 1, {{6, 5, 4}, kBlack}},
                      PixelCase{"NoImageData", TgaHeader(0, 24, 2, 1), 2, 1, {kBlack, kBlack}},
                      PixelCase{"UnsupportedDepth", Depth64(), 2, 2, {kBlack, kBlack, kBlack, kBlack}},
                      PixelCase{"RunAcrossTheRowEnd", RunAcrossRows(), 2, 2,
                                {{30, 20, 10}, {30, 20, 10}, {30, 20, 10}, {60, 50, 40}}},
                      PixelCase{"RunLengthCutShort", RunLengthCut(), 2, 3,
                                {{30, 20, 10}, {30, 20, 10}, kBlack, kBlack, kBlack, kBlack}}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  const char* message;
};

class TargaFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TargaFailures, RaiseTheirMessage) {
  try {
    Load(GetParam().bytes);
    FAIL() << "no error";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()).substr(0, std::string(GetParam().message).size()), GetParam().message);
  }
}

std::vector<std::uint8_t> CutInLastRow() {
  Bytes b = TgaHeader(2, 24, 2, 2);
  for (int i = 0; i < 11; ++i) b.U8(i);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, TargaFailures,
    ::testing::Values(FailureCase{"CutInTheLastRow", CutInLastRow(), "Targa: invalid image"},
                      FailureCase{"EndInsideTheHeader", {0, 0, 2, 0, 0}, "Erreur de lecture du flux"},
                      FailureCase{"EndInsideTheColourMap", TgaHeader(1, 8, 1, 1, false, 4, 24).U8(1),
                                  "Erreur de lecture du flux"},
                      // 65535 x 65535 from an 18-byte file: refused before any allocation.
                      FailureCase{"AboveTheSizeLimit", TgaHeader(10, 32, 65535, 65535), "Image trop grande"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
