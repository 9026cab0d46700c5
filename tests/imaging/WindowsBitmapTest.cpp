#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "TestFiles.h"
#include "imaging/Bitmap.h"
#include "imaging/PictureStream.h"
#include "support/Paths.h"

#include <stb/stb_image.h>

using imagingtest::Bytes;
using imagingtest::MakeBmp;
using imagingtest::SamePixels;

namespace {

std::string Suite(const std::string& name) { return testsupport::corpusDir() + "/bmpsuite/" + name; }

std::unique_ptr<TBitmap> Load(const std::vector<std::uint8_t>& bytes) {
  auto bitmap = std::make_unique<TBitmap>();
  TPictureStream stream(bytes);
  bitmap->ReadPictureStream(stream);
  return bitmap;
}

std::string ErrorOf(const std::vector<std::uint8_t>& bytes) {
  try {
    Load(bytes);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

struct StbPicture {
  int width = 0, height = 0;
  std::unique_ptr<stbi_uc, decltype(&stbi_image_free)> rgb{nullptr, &stbi_image_free};
};

StbPicture StbLoad(const std::string& path) {
  StbPicture picture;
  int channels = 0;
  picture.rgb.reset(stbi_load(path.c_str(), &picture.width, &picture.height, &channels, 3));
  return picture;
}

}  // namespace

// The good set of the BMP suite, each file against a second decoder. Files that decoder does
// not read (run-length data, colour tables on true-colour files) are compared with the plain
// file of the same picture.
struct GoodCase {
  const char* file;
  const char* reference;
  PixelLayout layout;
};

class BmpSuiteGood : public ::testing::TestWithParam<GoodCase> {};

TEST_P(BmpSuiteGood, DecodesToTheReferencePixels) {
  const GoodCase& c = GetParam();
  TBitmap bitmap;
  bitmap.ReadPictureFile(Suite(std::string("g/") + c.file));
  EXPECT_EQ(bitmap.Layout(), c.layout);
  const StbPicture reference = StbLoad(Suite(std::string("g/") + c.reference));
  ASSERT_TRUE(reference.rgb) << stbi_failure_reason();
  EXPECT_TRUE(SamePixels(bitmap, reference.rgb.get(), reference.width, reference.height));

  // The same bytes from memory give the same raster as from the file.
  const auto fromMemory = Load(imagingtest::ReadFile(Suite(std::string("g/") + c.file)));
  ASSERT_EQ(fromMemory->Height(), bitmap.Height());
  for (int y = 0; y < bitmap.Height(); ++y)
    EXPECT_TRUE(std::equal(bitmap.ScanLine(y).begin(), bitmap.ScanLine(y).end(), fromMemory->ScanLine(y).begin()))
        << "row " << y;
}

// A test's name from its file's name: "rgb32bf.bmp" gives "rgb32bf".
std::string CaseName(std::string file) {
  file = file.substr(0, file.find('.'));
  for (char& c : file)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return file;
}

INSTANTIATE_TEST_SUITE_P(
    AllVariants, BmpSuiteGood,
    ::testing::Values(GoodCase{"pal1.bmp", "pal1.bmp", PixelLayout::Indexed1},
                      GoodCase{"pal1bg.bmp", "pal1bg.bmp", PixelLayout::Indexed1},
                      GoodCase{"pal1wb.bmp", "pal1wb.bmp", PixelLayout::Indexed1},
                      GoodCase{"pal4.bmp", "pal4.bmp", PixelLayout::Indexed4},
                      GoodCase{"pal4gs.bmp", "pal4gs.bmp", PixelLayout::Indexed4},
                      GoodCase{"pal4rle.bmp", "pal4.bmp", PixelLayout::Device},
                      GoodCase{"pal8-0.bmp", "pal8-0.bmp", PixelLayout::Indexed8},
                      GoodCase{"pal8.bmp", "pal8.bmp", PixelLayout::Indexed8},
                      GoodCase{"pal8gs.bmp", "pal8gs.bmp", PixelLayout::Indexed8},
                      GoodCase{"pal8nonsquare.bmp", "pal8nonsquare.bmp", PixelLayout::Indexed8},
                      GoodCase{"pal8os2.bmp", "pal8os2.bmp", PixelLayout::Indexed8},
                      GoodCase{"pal8rle.bmp", "pal8.bmp", PixelLayout::Device},
                      GoodCase{"pal8topdown.bmp", "pal8topdown.bmp", PixelLayout::Indexed8},
                      GoodCase{"pal8v4.bmp", "pal8v4.bmp", PixelLayout::Indexed8},
                      GoodCase{"pal8v5.bmp", "pal8v5.bmp", PixelLayout::Indexed8},
                      GoodCase{"pal8w124.bmp", "pal8w124.bmp", PixelLayout::Indexed8},
                      GoodCase{"pal8w125.bmp", "pal8w125.bmp", PixelLayout::Indexed8},
                      GoodCase{"pal8w126.bmp", "pal8w126.bmp", PixelLayout::Indexed8},
                      GoodCase{"rgb16-565.bmp", "rgb16-565.bmp", PixelLayout::Rgb16},
                      GoodCase{"rgb16-565pal.bmp", "rgb16-565.bmp", PixelLayout::Rgb16},
                      GoodCase{"rgb16.bmp", "rgb16.bmp", PixelLayout::Rgb15},
                      GoodCase{"rgb16bfdef.bmp", "rgb16bfdef.bmp", PixelLayout::Rgb15},
                      GoodCase{"rgb24.bmp", "rgb24.bmp", PixelLayout::Bgr24},
                      GoodCase{"rgb24pal.bmp", "rgb24.bmp", PixelLayout::Bgr24},
                      GoodCase{"rgb32.bmp", "rgb32.bmp", PixelLayout::Bgrx32},
                      GoodCase{"rgb32bf.bmp", "rgb32bf.bmp", PixelLayout::Bgrx32},
                      GoodCase{"rgb32bfdef.bmp", "rgb32bfdef.bmp", PixelLayout::Bgrx32}),
    [](const auto& info) { return CaseName(info.param.file); });

TEST(BmpSuiteGood, CoversEveryFileOfTheGoodSet) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Suite("g"))) files += entry.path().extension() == ".bmp";
  EXPECT_EQ(files, 27);
}

// The bad set: files whose damage leaves no picture fail; the others have a defined reading
// (data cut at the end of the file, oversized tables cut, runs clipped to the raster, missing
// palette entries black, absent channels zero) and decode to a raster of the declared size.
struct BadCase {
  const char* file;
  const char* error;  // empty: decodes
};

class BmpSuiteBad : public ::testing::TestWithParam<BadCase> {};

TEST_P(BmpSuiteBad, FailsWithAnErrorOrDecodesWithinTheRaster) {
  const BadCase& c = GetParam();
  TBitmap bitmap;
  std::string error;
  try {
    bitmap.ReadPictureFile(Suite(std::string("b/") + c.file));
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (*c.error) {
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(bitmap.Width(), 0);
  } else {
    EXPECT_EQ(error, "");
    EXPECT_EQ(bitmap.Width(), 127);
    EXPECT_EQ(bitmap.Height(), 64);
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllFiles, BmpSuiteBad,
    ::testing::Values(BadCase{"badbitcount.bmp", "Image bitmap incorrecte"},
                      BadCase{"badplanes.bmp", "Image bitmap incorrecte"},
                      BadCase{"badwidth.bmp", "Image bitmap incorrecte"},
                      BadCase{"rletopdown.bmp", "Image bitmap incorrecte"},
                      BadCase{"reallybig.bmp", "Image trop grande (3000000 x 2000000 pixels)"},
                      BadCase{"badbitssize.bmp", ""}, BadCase{"baddens1.bmp", ""},
                      BadCase{"baddens2.bmp", ""}, BadCase{"badfilesize.bmp", ""},
                      BadCase{"badheadersize.bmp", ""}, BadCase{"badpalettesize.bmp", ""},
                      BadCase{"badrle.bmp", ""}, BadCase{"badrle4.bmp", ""},
                      BadCase{"badrle4bis.bmp", ""}, BadCase{"badrle4ter.bmp", ""},
                      BadCase{"badrlebis.bmp", ""}, BadCase{"badrleter.bmp", ""},
                      BadCase{"pal8badindex.bmp", ""}, BadCase{"rgb16-880.bmp", ""},
                      BadCase{"shortfile.bmp", ""}),
    [](const auto& info) { return CaseName(info.param.file); });

// The questionable set has no single right answer; each file must either load or fail
// cleanly, and a loaded picture has the size its header states.
TEST(BmpSuiteQuestionable, EveryFileLoadsOrFailsCleanly) {
  int loaded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Suite("q"))) {
    TBitmap bitmap;
    try {
      bitmap.ReadPictureFile(entry.path().string());
      ++loaded;
      EXPECT_EQ(bitmap.Width(), 127) << entry.path();
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(std::string(e.what()), "Image bitmap incorrecte") << entry.path();
    }
  }
  EXPECT_GE(loaded, 30);
}

TEST(WindowsBitmap, EmptyStreamGivesAnEmptyPicture) {
  const auto bitmap = Load({});
  EXPECT_EQ(bitmap->Width(), 0);
  EXPECT_EQ(bitmap->Height(), 0);
}

TEST(WindowsBitmap, MalformedHeadersFail) {
  const auto good = MakeBmp(2, 2, 24, 0, {}, std::vector<std::uint8_t>(16, 0));
  struct Case {
    const char* what;
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"not BM", 0, {'M', 'B'}},
      {"header size 8", 14, {8, 0, 0, 0}},
      {"header longer than the file", 14, {0xFF, 0xFF, 0, 0}},
      {"width 0", 18, {0, 0, 0, 0}},
      {"height 0", 22, {0, 0, 0, 0}},
      {"planes 2", 26, {2, 0}},
      {"bit count 2", 28, {2, 0}},
      {"bit count 64", 28, {64, 0}},
      {"compression 4 (JPEG)", 30, {4, 0, 0, 0}},
      {"RLE8 on 24 bits", 30, {1, 0, 0, 0}},
      {"bit fields on 24 bits", 30, {3, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    auto bytes = good;
    std::copy(c.bytes.begin(), c.bytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(c.offset));
    EXPECT_EQ(ErrorOf(bytes), "Image bitmap incorrecte") << c.what;
  }
  EXPECT_EQ(ErrorOf({'B', 'M', 0}), "Image bitmap incorrecte") << "file header cut short";
  EXPECT_EQ(ErrorOf(std::vector<std::uint8_t>(good.begin(), good.begin() + 30)), "Image bitmap incorrecte")
      << "information header cut short";
}

TEST(WindowsBitmap, HeightIntMinIsRefusedWithoutOverflow) {
  auto bytes = MakeBmp(1, 1, 24, 0, {}, {1, 2, 3, 0});
  bytes[22] = 0, bytes[23] = 0, bytes[24] = 0, bytes[25] = 0x80;
  EXPECT_NE(ErrorOf(bytes).find("Image trop grande"), std::string::npos);
}

TEST(WindowsBitmap, HugeSizeInATinyFileFailsBeforeAllocating) {
  auto bytes = MakeBmp(65536, 1, 8, 0, {}, {0});
  EXPECT_NE(ErrorOf(bytes).find("Image trop grande (65536 x 1"), std::string::npos);
  bytes = MakeBmp(20000, 20000, 8, 0, {}, {0});
  EXPECT_NE(ErrorOf(bytes).find("Image trop grande (20000 x 20000"), std::string::npos);
}

TEST(WindowsBitmap, AFailedReadLeavesThePreviousPicture) {
  TBitmap bitmap;
  const auto good = MakeBmp(1, 1, 24, 0, {}, {10, 20, 30, 0});
  {
    TPictureStream stream(good);
    bitmap.ReadPictureStream(stream);
  }
  const auto bad = MakeBmp(1, 1, 7, 0, {}, {0});
  TPictureStream stream(bad);
  EXPECT_THROW(bitmap.ReadPictureStream(stream), EInvalidGraphic);
  ASSERT_EQ(bitmap.Width(), 1);
  EXPECT_EQ(bitmap.PixelColor(0, 0), (Color{30, 20, 10}));
}

TEST(WindowsBitmap, ShortPixelDataDecodesWhatIsThereAndLeavesTheRestBlack) {
  // Three rows declared, bottom-up; the file holds the bottom row and half of the next.
  auto bytes = MakeBmp(2, 3, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9});
  const auto bitmap = Load(bytes);
  EXPECT_EQ(bitmap->PixelColor(0, 2), (Color{3, 2, 1}));
  EXPECT_EQ(bitmap->PixelColor(1, 2), (Color{6, 5, 4}));
  EXPECT_EQ(bitmap->PixelColor(0, 1), (Color{9, 8, 7}));
  EXPECT_EQ(bitmap->PixelColor(1, 1), (Color{}));
  EXPECT_EQ(bitmap->PixelColor(0, 0), (Color{}));
}

TEST(WindowsBitmap, ColourTableIsCutToTheBitDepthAndTheFile) {
  // 1 bit per pixel declaring 300 colours: only two can be addressed.
  const std::vector<std::uint32_t> palette = {0x0000FF, 0x00FF00, 0xFF0000};
  auto bytes = MakeBmp(2, 1, 1, 0, palette, {0x40, 0, 0, 0}, 300);
  auto bitmap = Load(bytes);
  EXPECT_EQ(bitmap->Palette().size(), 2u);
  EXPECT_EQ(bitmap->PixelColor(0, 0), (Color{0, 0, 255}));
  EXPECT_EQ(bitmap->PixelColor(1, 0), (Color{0, 255, 0}));

  // 8 bits declaring 200 colours in a file that ends after 3 (and no usable data offset): the
  // table holds 3 entries and the missing pixel data reads as index 0.
  Bytes cut;
  cut.Raw(MakeBmp(2, 1, 8, 0, {}, {}, 200));
  cut.Data()[10] = 0;
  cut.U32(0x112233).U32(0x445566).U32(0x778899);
  bitmap = Load(cut);
  EXPECT_EQ(bitmap->Palette().size(), 3u);
  EXPECT_EQ(bitmap->Width(), 2);
  EXPECT_EQ(bitmap->PixelColor(1, 0), (Color{0x11, 0x22, 0x33}));
}

TEST(WindowsBitmap, IndicesBeyondThePaletteReadBlack) {
  auto bitmap = Load(MakeBmp(2, 1, 8, 0, {0xFFFFFF, 0x123456}, {5, 1, 0, 0}, 2));
  EXPECT_EQ(bitmap->PixelColor(0, 0), (Color{}));
  EXPECT_EQ(bitmap->PixelColor(1, 0), (Color{0x12, 0x34, 0x56}));
  bitmap->SetPixelLayout(PixelLayout::Bgr24);
  EXPECT_EQ(bitmap->PixelColor(0, 0), (Color{}));
}

TEST(WindowsBitmap, BitFieldsWithArbitraryMasks) {
  // 16-bit pixels: red in the top 4 bits, green absent (mask 0), blue in the low 12 bits.
  const std::vector<std::uint32_t> masks = {0xF000, 0, 0x0FFF};
  const auto bytes = MakeBmp(2, 1, 16, 3, {}, {0xFF, 0xFF, 0x00, 0x80}, 0, masks);
  const auto bitmap = Load(bytes);
  EXPECT_EQ(bitmap->Layout(), PixelLayout::Bgrx32);
  EXPECT_EQ(bitmap->PixelColor(0, 0), (Color{255, 0, 255}));
  EXPECT_EQ(bitmap->PixelColor(1, 0), (Color{136, 0, 0}));

  // 32-bit masks 5-6-5 in the high bits, and 565 16-bit masks giving Rgb16->
  const auto rgb16 = MakeBmp(1, 1, 16, 3, {}, {0x1F, 0xF8, 0, 0}, 0, {0xF800, 0x07E0, 0x001F});
  const auto b16 = Load(rgb16);
  EXPECT_EQ(b16->Layout(), PixelLayout::Rgb16);
  EXPECT_EQ(b16->PixelColor(0, 0), (Color{255, 0, 255}));
}

// Run-length cases on a 4 x 3 picture with palette 0 black, 1 red, 2 green, 3 blue. Rows of
// the data count from the bottom.
struct RleCase {
  const char* what;
  unsigned compression;
  std::vector<std::uint8_t> data;
  const char* expected;  // rows top to bottom, one letter per pixel: k r g b
};

class RunLength : public ::testing::TestWithParam<RleCase> {};

TEST_P(RunLength, ExpandsWithinTheRaster) {
  const RleCase& c = GetParam();
  const unsigned bits = c.compression == 1 ? 8 : 4;
  const auto bytes = MakeBmp(4, 3, bits, c.compression, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}, c.data, 4);
  const auto bitmap = Load(bytes);
  ASSERT_EQ(bitmap->Layout(), PixelLayout::Device);
  std::string pixels;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      const Color color = bitmap->PixelColor(x, y);
      pixels += color == Color{255, 0, 0} ? 'r' : color == Color{0, 255, 0} ? 'g' : color == Color{0, 0, 255} ? 'b' : 'k';
    }
  EXPECT_EQ(pixels, c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rle8AndRle4, RunLength,
    ::testing::Values(
        RleCase{"encoded runs and end of line", 1, {4, 1, 0, 0, 2, 2, 2, 3, 0, 1}, "kkkkggbbrrrr"},
        RleCase{"literal run padded to a word", 1, {0, 3, 1, 2, 3, 0, 0, 1}, "kkkkkkkkrgbk"},
        RleCase{"delta skips pixels", 1, {0, 2, 2, 1, 2, 3, 0, 1}, "kkkkkkbbkkkk"},
        RleCase{"run crossing the row end is clipped", 1, {9, 1, 0, 0, 1, 2, 0, 1}, "kkkkgkkkrrrr"},
        RleCase{"delta beyond the picture stops", 1, {1, 1, 0, 2, 9, 0, 4, 2}, "kkkkkkkkrkkk"},
        RleCase{"delta above the top stops", 1, {1, 1, 0, 2, 0, 5, 4, 2}, "kkkkkkkkrkkk"},
        RleCase{"literal run cut by the end of data", 1, {0, 6, 1, 2}, "kkkkkkkkrgkk"},
        RleCase{"data without end of bitmap", 1, {2, 3}, "kkkkkkkkbbkk"},
        RleCase{"rows beyond the top are ignored", 1, {0, 0, 0, 0, 4, 1, 0, 0, 4, 2}, "rrrrkkkkkkkk"},
        RleCase{"RLE4 alternating run", 2, {4, 0x12, 0, 1}, "kkkkkkkkrgrg"},
        RleCase{"RLE4 literal run", 2, {0, 3, 0x32, 0x10, 0, 1}, "kkkkkkkkbgrk"},
        RleCase{"RLE4 run crossing the row end", 2, {7, 0x31, 0, 1}, "kkkkkkkkbrbr"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// Where the pixel data starts when the file header's offset and the colour table disagree.
struct OffsetCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  std::vector<Color> colors;  // the top row, left to right
};

class PixelDataOffset : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(PixelDataOffset, ReadsTheColourTableAndThePixels) {
  const auto bitmap = Load(GetParam().bytes);
  std::vector<Color> colors;
  for (int x = 0; x < bitmap->Width(); ++x) colors.push_back(bitmap->PixelColor(x, 0));
  EXPECT_EQ(colors, GetParam().colors);
}

// A full 256-colour table with the offset pointing at its start: the table is read whole and
// the pixels after it.
std::vector<std::uint8_t> OffsetAtTheTable() {
  std::vector<std::uint32_t> palette(256, 0x808080);
  palette[1] = 0x112233, palette[2] = 0x445566;
  auto bytes = MakeBmp(2, 1, 8, 0, palette, {2, 1, 0, 0});
  bytes[10] = 54, bytes[11] = 0;
  return bytes;
}

// An OS/2 core header with two of the 256 colours its depth addresses: the offset ends the
// table.
std::vector<std::uint8_t> ShortCoreTable() {
  return Bytes().U8('B').U8('M').U32(36).U32(0).U32(32).U32(12).U16(2).U16(1).U16(1).U16(8)
      .U8(0x33).U8(0x22).U8(0x11).U8(0x66).U8(0x55).U8(0x44).U8(1).U8(0).U8(0).U8(0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PixelDataOffset,
    ::testing::Values(OffsetCase{"OffsetAtTheColourTable", OffsetAtTheTable(),
                                 {{0x44, 0x55, 0x66}, {0x11, 0x22, 0x33}}},
                      OffsetCase{"OffsetEndingAShortCoreTable", ShortCoreTable(),
                                 {{0x44, 0x55, 0x66}, {0x11, 0x22, 0x33}}}),
    [](const auto& info) { return std::string(info.param.name); });
