#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "base/Exception.h"
#include "imaging/Decompressors.h"
#include "support/Paths.h"

namespace {

using ByteVector = std::vector<std::uint8_t>;

struct Code {
  unsigned value;
  unsigned width;
};

// Packs LZW codes of the given widths: most significant bit first for TIFF, least first for GIF.
ByteVector Pack(const std::vector<Code>& codes, bool msbFirst) {
  ByteVector bytes;
  std::uint64_t buffer = 0;
  unsigned count = 0;
  for (const Code& c : codes) {
    if (msbFirst) buffer = buffer << c.width | c.value;
    else buffer |= std::uint64_t{c.value} << count;
    count += c.width;
    while (count >= 8) {
      count -= 8;
      if (msbFirst) {
        bytes.push_back(static_cast<std::uint8_t>(buffer >> count));
      } else {
        bytes.push_back(static_cast<std::uint8_t>(buffer));
        buffer >>= 8;
      }
    }
  }
  if (count > 0) bytes.push_back(static_cast<std::uint8_t>(msbFirst ? buffer << (8 - count) : buffer));
  return bytes;
}

// A decoder of either kind; `gifCodeSize` 0 means TIFF.
struct Lzw {
  unsigned gifCodeSize = 0;

  // Decodes into a buffer of `unpacked` bytes followed by guard bytes that must stay intact.
  ByteVector Run(const ByteVector& packed, std::size_t unpacked) const {
    constexpr std::uint8_t kGuard = 0xEE;
    ByteVector out(unpacked + 16, 0);
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(unpacked), out.end(), kGuard);
    const std::uint8_t* source = packed.data();
    if (gifCodeSize) {
      TGIFLZW gif;
      gif.SetInitialCodeSize(static_cast<std::uint8_t>(gifCodeSize));
      gif.Decode(source, out.data(), packed.size(), unpacked);
    } else {
      TTIFFLZW().Decode(source, out.data(), packed.size(), unpacked);
    }
    EXPECT_EQ(source, packed.data());
    for (std::size_t i = unpacked; i < out.size(); ++i) EXPECT_EQ(out[i], kGuard) << "written past the end";
    out.resize(unpacked);
    return out;
  }
  ByteVector Run(const std::vector<Code>& codes, std::size_t unpacked) const {
    return Run(Pack(codes, gifCodeSize == 0), unpacked);
  }
};

struct LzwCase {
  const char* name;
  unsigned gifCodeSize;
  std::vector<Code> codes;
  std::size_t unpacked;
  ByteVector expected;
};

class LzwStreams : public ::testing::TestWithParam<LzwCase> {};

TEST_P(LzwStreams, DecodeToTheExpectedBytes) {
  const LzwCase& c = GetParam();
  EXPECT_EQ(Lzw{c.gifCodeSize}.Run(c.codes, c.unpacked), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, LzwStreams,
    ::testing::Values(
        // The state at the start equals the state after a clear code.
        LzwCase{"TiffStripWithoutLeadingClear", 0, {{65, 9}, {66, 9}, {258, 9}, {257, 9}}, 4, {65, 66, 65, 66}},
        LzwCase{"TiffCodeEqualToNextFree", 0, {{256, 9}, {65, 9}, {258, 9}, {257, 9}}, 3, {65, 65, 65}},
        LzwCase{"GifCodeEqualToNextFree", 2, {{4, 3}, {1, 3}, {6, 3}, {5, 3}}, 3, {1, 1, 1}},
        // No end code: the packed bytes end, the rest of the output stays as it was.
        LzwCase{"TiffMissingEndCode", 0, {{65, 9}, {66, 9}}, 4, {65, 66, 0, 0}},
        LzwCase{"GifMissingEndCode", 8, {{256, 9}, {7, 9}, {258, 9}}, 4, {7, 7, 7, 0}},
        // The output is full in the middle of a string: the rest of the string is dropped.
        LzwCase{"GifOutputFullInsideAString", 2, {{1, 3}, {2, 3}, {6, 3}, {5, 4}}, 3, {1, 2, 1}},
        // Entry 7 widens the codes to 4 bits; the clear code takes them back to 3.
        LzwCase{"GifClearResetsTheWidth", 2, {{1, 3}, {2, 3}, {1, 3}, {4, 4}, {1, 3}, {5, 3}}, 4, {1, 2, 1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

// Roots only: code n (from 0) makes entry first free + n - 1. `firstWide` is the index of the
// first code sent one bit wider.
std::vector<Code> RootsWidening(unsigned count, unsigned firstWide, unsigned width) {
  std::vector<Code> codes;
  for (unsigned n = 0; n < count; ++n) codes.push_back({n * 7 % 256, n < firstWide ? width : width + 1});
  return codes;
}

struct WideningCase {
  const char* name;
  unsigned gifCodeSize;
  unsigned firstWide;  // TIFF: after the code that makes entry 510; GIF 8: after entry 511
};

class LzwWidening : public ::testing::TestWithParam<WideningCase> {};

TEST_P(LzwWidening, SwitchesToTenBitsAtTheRightCode) {
  const WideningCase& c = GetParam();
  std::vector<Code> codes = RootsWidening(300, c.firstWide, 9);
  codes.push_back({257, 10});
  ByteVector expected;
  for (const Code& code : codes) expected.push_back(static_cast<std::uint8_t>(code.value));
  expected.pop_back();
  EXPECT_EQ(Lzw{c.gifCodeSize}.Run(codes, expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, LzwWidening,
                         ::testing::Values(WideningCase{"Tiff", 0, 254}, WideningCase{"Gif", 8, 255}),
                         [](const auto& info) { return std::string(info.param.name); });

// Without a clear code, a full table stays as it is and codes go on at 12 bits.
TEST(LzwFullTable, GifKeepsDecodingWithTheTableFrozen) {
  // 3839 root codes make entries 258 to 4095: code n makes entry 257 + n, which holds the
  // roots of codes n - 1 and n.
  std::vector<Code> codes;
  const auto root = [](unsigned n) { return n * 13 % 256; };
  for (unsigned n = 0; n < 3839; ++n) codes.push_back({root(n), n < 255 ? 9u : n < 767 ? 10u : n < 1791 ? 11u : 12u});
  codes.push_back({4095, 12});
  codes.push_back({300, 12});
  codes.push_back({root(5), 12});
  codes.push_back({257, 12});
  ByteVector expected;
  for (unsigned n = 0; n < 3839; ++n) expected.push_back(static_cast<std::uint8_t>(root(n)));
  for (unsigned n : {3837u, 3838u, 42u, 43u, 5u}) expected.push_back(static_cast<std::uint8_t>(root(n)));
  EXPECT_EQ(Lzw{8}.Run(codes, expected.size()), expected);
}

// A strip written by libtiff: codes widen to 12 bits and the table fills up and is cleared.
TEST(LzwFromLibtiff, StripDecodesToItsPlainTwin) {
  const ByteVector packed = imagingtest::ReadFile(testsupport::corpusDir() + "/lzw/plasma.lzw");
  const ByteVector plain = imagingtest::ReadFile(testsupport::corpusDir() + "/lzw/plasma.rgb");
  ASSERT_EQ(plain.size(), 96u * 64u * 3u);
  EXPECT_EQ(Lzw{}.Run(packed, plain.size()), plain);
}

struct InvalidCase {
  const char* name;
  unsigned gifCodeSize;
  std::vector<Code> codes;
  const char* message;
};

class LzwInvalid : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(LzwInvalid, RaisesTheInvalidOpcodeError) {
  const InvalidCase& c = GetParam();
  try {
    Lzw{c.gifCodeSize}.Run(c.codes, 64);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    BadCodes, LzwInvalid,
    ::testing::Values(
        InvalidCase{"TiffCodeAboveNextFree", 0, {{65, 9}, {259, 9}}, "TIF LZW: invalid opcode."},
        InvalidCase{"GifCodeAboveNextFree", 2, {{1, 3}, {7, 3}}, "GIF LZW: invalid opcode."},
        // Entry 6 is not there yet and there is no string to build it from.
        InvalidCase{"GifFirstCodeIsNextFree", 2, {{4, 3}, {6, 3}}, "GIF LZW: invalid opcode."},
        InvalidCase{"TiffFirstCodeIsNextFree", 0, {{258, 9}}, "TIF LZW: invalid opcode."},
        // A clear code of 4096 would lie outside the table.
        InvalidCase{"GifCodeSizeTwelve", 12, {{1, 13}}, "GIF LZW: invalid opcode."}),
    [](const auto& info) { return std::string(info.param.name); });

struct PackbitsCase {
  const char* name;
  ByteVector packed;
  std::size_t unpacked;
  ByteVector expected;
};

class Packbits : public ::testing::TestWithParam<PackbitsCase> {};

TEST_P(Packbits, DecodesWithinBothBuffers) {
  const PackbitsCase& c = GetParam();
  ByteVector out(c.unpacked + 4, 0xEE);
  const std::uint8_t* source = c.packed.data();
  TPackbitsRLE().Decode(source, out.data(), c.packed.size(), c.unpacked);
  EXPECT_EQ(source, c.packed.data());
  EXPECT_EQ(ByteVector(out.begin() + static_cast<std::ptrdiff_t>(c.unpacked), out.end()), ByteVector(4, 0xEE));
  out.resize(c.unpacked);
  EXPECT_EQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Packets, Packbits,
    ::testing::Values(PackbitsCase{"LiteralThenRun", {2, 1, 2, 3, 0xFE, 9}, 6, {1, 2, 3, 9, 9, 9}},
                      PackbitsCase{"MinusOneTwentyEightIsNoOperation", {0x80, 0, 5}, 1, {5}},
                      PackbitsCase{"RunCutAtOutputEnd", {0x81, 7}, 4, {7, 7, 7, 7}},
                      PackbitsCase{"LiteralCutAtInputEnd", {4, 1, 2}, 4, {1, 2, 0xEE, 0xEE}},
                      PackbitsCase{"RunWithoutItsByte", {1, 4, 5, 0xFF}, 4, {4, 5, 0xEE, 0xEE}}),
    [](const auto& info) { return std::string(info.param.name); });

struct TargaCase {
  const char* name;
  unsigned pixelBits;
  ByteVector packed;
  std::size_t wanted;
  std::size_t consumed;
  ByteVector expected;
};

class TargaRunLength : public ::testing::TestWithParam<TargaCase> {};

TEST_P(TargaRunLength, FillsOneRowAndCountsWholePackets) {
  const TargaCase& c = GetParam();
  ByteVector row(c.wanted + 4, 0xEE);
  EXPECT_EQ(DecodeTargaRLE(c.packed, std::span(row).first(c.wanted), c.pixelBits), c.consumed);
  EXPECT_EQ(ByteVector(row.begin() + static_cast<std::ptrdiff_t>(c.wanted), row.end()), ByteVector(4, 0xEE));
  row.resize(c.wanted);
  EXPECT_EQ(row, c.expected);
}

ByteVector Repeat(const ByteVector& pixel, std::size_t times) {
  ByteVector out;
  for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), pixel.begin(), pixel.end());
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Packets, TargaRunLength,
    ::testing::Values(
        TargaCase{"Run128Pixels24Bit", 24, {0xFF, 1, 2, 3}, 384, 4, Repeat({1, 2, 3}, 128)},
        TargaCase{"RawThenRun16Bit", 16, {0x01, 1, 2, 3, 4, 0x81, 5, 6}, 8, 8, {1, 2, 3, 4, 5, 6, 5, 6}},
        // The packet goes on past the row: it is cut, and counted whole.
        TargaCase{"RunAcrossTheRowEnd", 8, {0x83, 9, 0x00, 1}, 2, 2, {9, 9}},
        TargaCase{"RawAcrossTheRowEnd", 32, {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 4, 13, {1, 2, 3, 4}},
        // The packed bytes end inside a packet: whole pixels that are there are written.
        TargaCase{"RawCutShort", 24, {0x02, 1, 2, 3, 4}, 9, 10, {1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        TargaCase{"UnknownPixelSize", 12, {0x80, 1, 2}, 4, 0, {0xEE, 0xEE, 0xEE, 0xEE}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
