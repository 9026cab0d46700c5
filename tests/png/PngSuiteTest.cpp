// The PNG suite: every valid file decodes to the reference pixels (after gamma and the
// 16-to-8-bit rule), every broken file fails with the error its fault calls for, and the
// interlaced files give the same pixels as their plain twins.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "PngFiles.h"
#include "png/PNGObject.h"

namespace {

namespace fs = std::filesystem;
using pngtest::SurfaceColour;

const std::string kSuite = VERRELUNE_CORPUS_DIR "/pngsuite";

std::vector<std::string> SuiteFiles(const std::function<bool(const std::string&)>& keep) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kSuite)) {
    const std::string stem = entry.path().stem().string();
    if (entry.path().extension() == ".png" && keep(stem)) names.push_back(stem);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The reference: a JSON array of red, green, blue, alpha values per pixel, 16-bit values for
// 16-bit files.
std::vector<unsigned> ReadReference(const std::string& stem) {
  std::ifstream in(kSuite + "/rgba8/" + stem + ".json");
  std::vector<unsigned> values;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (char& c : text)
    if (c == '[' || c == ']' || c == ',') c = ' ';
  std::istringstream numbers(text);
  unsigned v;
  while (numbers >> v) values.push_back(v);
  return values;
}

// The gamma table as the picture's gAMA chunk defines it, computed here on its own.
std::array<std::uint8_t, 256> GammaTable(const TPNGObject& picture) {
  std::array<std::uint8_t, 256> table;
  for (int i = 0; i < 256; ++i) table[i] = static_cast<std::uint8_t>(i);
  const TChunkgAMA* gama = picture.FirstOfClass<TChunkgAMA>();
  if (!gama) return table;
  const std::uint32_t value = gama->Value();
  if (value == 0) return table;
  for (int i = 0; i < 256; ++i)
    table[i] = static_cast<std::uint8_t>(std::nearbyint(255.0 * std::pow(i / 255.0, 100000.0 / (value * 2.2))));
  return table;
}

class PngSuiteValid : public testing::TestWithParam<std::string> {};

TEST_P(PngSuiteValid, MatchesReferencePixels) {
  const std::string stem = GetParam();
  TPNGObject picture;
  ASSERT_NO_THROW(picture.ReadPictureFile(kSuite + "/" + stem + ".png"));
  const std::vector<unsigned> reference = ReadReference(stem);
  const TChunkIHDR& header = picture.HeaderChunk();
  ASSERT_EQ(reference.size(), std::size_t{header.Width} * header.Height * 4) << stem;
  const int shift = header.BitDepth == 16 ? 8 : 0;
  const auto gamma = GammaTable(picture);
  const TChunktRNS* trns = picture.FirstOfClass<TChunktRNS>();
  int mismatches = 0;
  for (std::uint32_t y = 0; y < header.Height; ++y)
    for (std::uint32_t x = 0; x < header.Width && mismatches < 5; ++x) {
      const unsigned* ref = &reference[(std::size_t{y} * header.Width + x) * 4];
      const Color expected{gamma[ref[0] >> shift], gamma[ref[1] >> shift], gamma[ref[2] >> shift]};
      const Color actual = SurfaceColour(header, x, y);
      int alpha = -1;
      if (header.HasAlphaPlane()) alpha = header.AlphaRow(y)[x];
      else if (header.ColourType == 3 && trns) alpha = trns->AlphaByIndex[pngtest::SurfaceIndex(header, x, y)];
      const bool alphaOk = alpha < 0 || static_cast<unsigned>(alpha) == ref[3] >> shift;
      if (!(actual == expected) || !alphaOk) {
        ++mismatches;
        ADD_FAILURE() << stem << " pixel " << x << "," << y << ": got " << int(actual.red) << " " << int(actual.green)
                      << " " << int(actual.blue) << " a " << alpha << ", expected " << int(expected.red) << " "
                      << int(expected.green) << " " << int(expected.blue) << " a " << (ref[3] >> shift);
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Suite, PngSuiteValid,
                         testing::ValuesIn(SuiteFiles([](const std::string& name) { return name[0] != 'x'; })),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(PngSuite, EveryValidFileHasAReference) {
  const auto valid = SuiteFiles([](const std::string& name) { return name[0] != 'x'; });
  EXPECT_GT(valid.size(), 150u);
  for (const auto& stem : valid) EXPECT_TRUE(fs::exists(kSuite + "/rgba8/" + stem + ".json")) << stem;
}

// The fault each broken file carries, as the class of the error it must raise.
struct BrokenFile {
  std::string stem;
  std::function<void(const std::string&)> expectFailure;
};

template <class E>
std::function<void(const std::string&)> Fails() {
  return [](const std::string& path) {
    TPNGObject picture;
    EXPECT_THROW(picture.ReadPictureFile(path), E) << path;
  };
}

std::vector<BrokenFile> BrokenFiles() {
  return {
      {"xc1n0g08", Fails<EPngInvalidIHDR>()},        // colour type 1
      {"xc9n2c08", Fails<EPngInvalidIHDR>()},        // colour type 9
      {"xcrn0g04", Fails<EPNGInvalidFileHeader>()},  // signature with CR added
      {"xcsn0g01", Fails<EPngInvalidCRC>()},         // IDAT checksum
      {"xd0n2c08", Fails<EPngInvalidIHDR>()},        // bit depth 0
      {"xd3n2c08", Fails<EPngInvalidIHDR>()},        // bit depth 3
      {"xd9n2c08", Fails<EPngInvalidIHDR>()},        // bit depth 99
      {"xdtn0g01", Fails<EPNGNoImageData>()},        // no IDAT
      {"xhdn0g08", Fails<EPngInvalidCRC>()},         // IHDR checksum
      {"xlfn0g04", Fails<EPNGInvalidFileHeader>()},  // signature with LF added
      {"xs1n0g01", Fails<EPNGInvalidFileHeader>()},  // signature byte 1 changed
      {"xs2n0g01", Fails<EPNGInvalidFileHeader>()},
      {"xs4n0g01", Fails<EPNGInvalidFileHeader>()},
      {"xs7n0g01", Fails<EPNGInvalidFileHeader>()},
  };
}

TEST(PngSuite, BrokenFilesFailWithTheErrorOfTheirFault) {
  const auto broken = BrokenFiles();
  const auto onDisk = SuiteFiles([](const std::string& name) { return name[0] == 'x'; });
  ASSERT_EQ(onDisk.size(), broken.size());
  for (const auto& file : broken) file.expectFailure(kSuite + "/" + file.stem + ".png");
}

class PngSuiteInterlaced : public testing::TestWithParam<std::string> {};

TEST_P(PngSuiteInterlaced, SamePixelsAsThePlainTwin) {
  std::string plainStem = GetParam();
  plainStem[3] = 'n';
  TPNGObject interlaced, plain;
  interlaced.ReadPictureFile(kSuite + "/" + GetParam() + ".png");
  plain.ReadPictureFile(kSuite + "/" + plainStem + ".png");
  const TChunkIHDR& a = interlaced.HeaderChunk();
  const TChunkIHDR& b = plain.HeaderChunk();
  ASSERT_EQ(a.InterlaceMethod, 1);
  ASSERT_EQ(b.InterlaceMethod, 0);
  ASSERT_EQ(a.Width, b.Width);
  ASSERT_EQ(a.Height, b.Height);
  for (std::uint32_t y = 0; y < a.Height; ++y)
    for (std::uint32_t x = 0; x < a.Width; ++x) {
      ASSERT_EQ(SurfaceColour(a, x, y), SurfaceColour(b, x, y)) << x << "," << y;
      if (a.HasAlphaPlane()) {
        ASSERT_EQ(a.AlphaRow(y)[x], b.AlphaRow(y)[x]) << x << "," << y;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Suite, PngSuiteInterlaced, testing::ValuesIn(SuiteFiles([](const std::string& name) {
                           std::string twin = name;
                           twin[3] = 'n';
                           return name.size() == 8 && name[3] == 'i' && fs::exists(kSuite + "/" + twin + ".png");
                         })),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
