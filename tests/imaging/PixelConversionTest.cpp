#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <vector>

#include "imaging/PixelConversion.h"

namespace {

using Row = std::vector<std::uint8_t>;

struct ConverterCase {
  const char* name;
  RowConverter convert;
  unsigned bitsPerSample;
  Row source;
  Row expected;  // target bytes, blue first
};

void PrintTo(const ConverterCase& c, std::ostream* out) { *out << c.name; }

class RowConverters : public ::testing::TestWithParam<ConverterCase> {};

TEST_P(RowConverters, GiveTheExactTargetBytes) {
  const ConverterCase& c = GetParam();
  const std::size_t samples = c.source.size() * 8 / c.bitsPerSample;
  Row target(c.expected.size() + 1, 0xEE);
  c.convert(c.source.data(), target.data(), c.bitsPerSample, samples);
  EXPECT_EQ(Row(target.begin(), target.end() - 1), c.expected);
  EXPECT_EQ(target.back(), 0xEE) << "wrote past the row";
}

constexpr auto kLE = ByteOrder::LittleEndian;
constexpr auto kBE = ByteOrder::BigEndian;

INSTANTIATE_TEST_SUITE_P(
    Values, RowConverters,
    ::testing::Values(
        // 16-bit samples keep their most significant byte whatever the file's byte order.
        ConverterCase{"Gray16LittleEndian", ConvertGray16To8<kLE>, 16, {0x34, 0x12, 0xFF, 0x00}, {0x12, 0x00}},
        ConverterCase{"Gray16BigEndian", ConvertGray16To8<kBE>, 16, {0x12, 0x34, 0x00, 0xFF}, {0x12, 0x00}},
        ConverterCase{"Rgb8", ConvertRgb<kLE>, 8, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
        ConverterCase{"Rgb16LittleEndian", ConvertRgb<kLE>, 16, {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A}, {0x9A, 0x56, 0x12}},
        ConverterCase{"Rgb16BigEndian", ConvertRgb<kBE>, 16, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, {0x9A, 0x56, 0x12}},
        ConverterCase{"Rgba8", ConvertRgba<kLE>, 8, {1, 2, 3, 4}, {3, 2, 1, 4}},
        ConverterCase{"Rgba16BigEndian", ConvertRgba<kBE>, 16, {0x10, 0, 0x20, 0, 0x30, 0, 0x40, 0}, {0x30, 0x20, 0x10, 0x40}},
        // CMYK: white, black, pure cyan, and a product that rounds (100 x 100 / 255 = 39.2).
        ConverterCase{"CmykWhite", ConvertCmyk<kLE>, 8, {0, 0, 0, 0}, {255, 255, 255}},
        ConverterCase{"CmykBlack", ConvertCmyk<kLE>, 8, {0, 0, 0, 255}, {0, 0, 0}},
        ConverterCase{"CmykCyan", ConvertCmyk<kLE>, 8, {255, 0, 0, 0}, {255, 255, 0}},
        ConverterCase{"CmykRoundedProduct", ConvertCmyk<kLE>, 8, {100, 0, 0, 100}, {155, 155, 94}},
        ConverterCase{"Cmyk16White", ConvertCmyk<kBE>, 16, {0, 0, 0, 0, 0, 0, 0, 0}, {255, 255, 255}},
        ConverterCase{"Cmyk16CyanBigEndian", ConvertCmyk<kBE>, 16, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, {255, 255, 0}},
        ConverterCase{"Cmyk16BlackLittleEndian", ConvertCmyk<kLE>, 16, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, {0, 0, 0}},
        // CIE L*a*b*: L 100 is white, L 0 black; a and b are signed bytes (0x80 is -128); dark
        // colours take the linear branch.
        ConverterCase{"LabWhite", ConvertCieLab, 8, {255, 0, 0}, {255, 255, 255}},
        ConverterCase{"LabBlack", ConvertCieLab, 8, {0, 0, 0}, {0, 0, 0}},
        ConverterCase{"LabSignedA", ConvertCieLab, 8, {128, 0x80, 0}, {43, 85, 0}},
        ConverterCase{"LabSignedB", ConvertCieLab, 8, {100, 50, 0xCE}, {107, 11, 53}},
        ConverterCase{"LabLinearBranch", ConvertCieLab, 8, {10, 0, 0}, {1, 1, 1}},
        // Depths the converters do not know convert nothing.
        ConverterCase{"Rgb4ConvertsNothing", ConvertRgb<kLE>, 4, {0x12, 0x34, 0x56}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct DifferencingCase {
  const char* name;
  Differencing undo;
  std::size_t count;
  Row row;
  Row expected;
};

void PrintTo(const DifferencingCase& c, std::ostream* out) { *out << c.name; }

class DifferencingRoutines : public ::testing::TestWithParam<DifferencingCase> {};

TEST_P(DifferencingRoutines, AddThePreviousPixelModuloTheSampleSize) {
  const DifferencingCase& c = GetParam();
  Row row = c.row;
  c.undo(row.data(), c.count);
  EXPECT_EQ(row, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DifferencingRoutines,
    ::testing::Values(
        DifferencingCase{"WidthOneChangesNothing", UndoDifferencing3, 0, {9, 8, 7, 6}, {9, 8, 7, 6}},
        DifferencingCase{"OneByteWrapsAround", UndoDifferencing1, 3, {200, 100, 1, 1, 5}, {200, 44, 45, 46, 5}},
        DifferencingCase{"ThreeBytes", UndoDifferencing3, 2, {1, 2, 3, 1, 1, 1, 2, 2, 2, 9}, {1, 2, 3, 2, 3, 4, 4, 5, 6, 9}},
        DifferencingCase{"FourBytes", UndoDifferencing4, 1, {1, 2, 3, 4, 1, 1, 1, 1}, {1, 2, 3, 4, 2, 3, 4, 5}},
        // 16-bit samples carry from the low byte into the high one, in the file's order.
        DifferencingCase{"SixteenBitsBigEndian", UndoDifferencing16<kBE, 1>, 2, {0x00, 0xFF, 0x00, 0x01, 0xFF, 0xFF},
                         {0x00, 0xFF, 0x01, 0x00, 0x00, 0xFF}},
        DifferencingCase{"SixteenBitsLittleEndianThreeSamples", UndoDifferencing16<kLE, 3>, 1,
                         {0xFF, 0x00, 1, 0, 2, 0, 0x01, 0x00, 1, 0, 2, 0}, {0xFF, 0x00, 1, 0, 2, 0, 0x00, 0x01, 2, 0, 4, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// The routines that take several pixels at a time, at every width around their groups: each
// pixel as the one-pixel rule gives it, nothing written past the row.
TEST(ConversionRoutines, RgbRowsOfEveryWidth) {
  std::uint32_t seed = 12345;
  const auto check = [](const Row& target, const Row& expected, std::size_t pixels, const char* routine) {
    EXPECT_EQ(Row(target.begin(), target.begin() + static_cast<long>(expected.size())), expected)
        << routine << ", " << pixels << " pixels";
    EXPECT_EQ(std::count(target.begin() + static_cast<long>(expected.size()), target.end(), 0xEE), 16)
        << routine << ", " << pixels << " pixels";
  };
  for (std::size_t pixels = 1; pixels <= 40; ++pixels) {
    Row samples(4 * pixels);
    for (auto& b : samples) b = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    Row bgr(3 * pixels), bgra(4 * pixels), undone(3 * pixels);
    std::uint8_t sum[3] = {};
    for (std::size_t i = 0; i < pixels; ++i)
      for (std::size_t c = 0; c < 3; ++c) {
        bgr[3 * i + 2 - c] = samples[3 * i + c];
        bgra[4 * i + 2 - c] = samples[4 * i + c];
        undone[3 * i + 2 - c] = sum[c] = static_cast<std::uint8_t>(sum[c] + samples[3 * i + c]);
        bgra[4 * i + 3] = samples[4 * i + 3];
      }
    Row target(4 * pixels + 16, 0xEE);
    ConvertRgb<kLE>(samples.data(), target.data(), 8, 3 * pixels);
    check(Row(target.begin(), target.begin() + static_cast<long>(3 * pixels + 16)), bgr, pixels, "RGB");
    std::fill(target.begin(), target.end(), 0xEE);
    ConvertRgba<kLE>(samples.data(), target.data(), 8, 4 * pixels);
    check(target, bgra, pixels, "RGBA");
    std::fill(target.begin(), target.end(), 0xEE);
    UndoDifferencingRgbToBgr(samples.data(), target.data(), pixels);
    check(Row(target.begin(), target.begin() + static_cast<long>(3 * pixels + 16)), undone, pixels, "differences");
  }
}

TEST(ByteOrderRoutines, SwapEveryValueInPlace) {
  std::uint16_t words[] = {0x1234, 0xABCD};
  SwapWords(words, 2);
  EXPECT_EQ(words[0], 0x3412);
  EXPECT_EQ(words[1], 0xCDAB);
  std::uint32_t longs[] = {0x12345678, 0xA1B2C3D4};
  SwapLongs(longs, 2);
  EXPECT_EQ(longs[0], 0x78563412u);
  EXPECT_EQ(longs[1], 0xD4C3B2A1u);
  EXPECT_EQ(SwapLong(0x01020304), 0x04030201u);
}

}  // namespace
