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

// Runs `decode` on a zeroed buffer of `size` bytes followed by guard bytes that must stay
// intact; returns the `size` bytes.
template <class Decode>
ByteVector Guarded(std::size_t size, Decode decode) {
  ByteVector out(size + 16, 0xEE);
  std::fill_n(out.begin(), size, 0);
  decode(out.data());
  EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(size), out.end(), [](auto b) { return b == 0xEE; }))
      << "written past the end";
  out.resize(size);
  return out;
}

// A decoder of either kind; `gifCodeSize` 0 means TIFF.
struct Lzw {
  unsigned gifCodeSize = 0;

  ByteVector Run(const ByteVector& packed, std::size_t unpacked) const {
    return Guarded(unpacked, [&](std::uint8_t* out) {
      const std::uint8_t* source = packed.data();
      TGIFLZW gif;
      gif.SetInitialCodeSize(static_cast<std::uint8_t>(gifCodeSize));
      if (gifCodeSize) gif.Decode(source, out, packed.size(), unpacked);
      else TTIFFLZW().Decode(source, out, packed.size(), unpacked);
      EXPECT_EQ(source, packed.data());
    });
  }
  ByteVector Run(const std::vector<Code>& codes, std::size_t unpacked) const {
    return Run(Pack(codes, gifCodeSize == 0), unpacked);
  }
};

// An LZW stream and what it decodes to, or the error it raises.
struct LzwCase {
  const char* name;
  unsigned gifCodeSize;
  std::vector<Code> codes;
  std::size_t unpacked;
  ByteVector expected;
  const char* error = nullptr;
};

class LzwStreams : public ::testing::TestWithParam<LzwCase> {};

TEST_P(LzwStreams, DecodeToTheExpectedBytesOrFail) {
  const LzwCase& c = GetParam();
  try {
    EXPECT_EQ(Lzw{c.gifCodeSize}.Run(c.codes, c.unpacked), c.expected);
    EXPECT_EQ(c.error, nullptr) << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), c.error);
  }
}

// Roots only, each one code: code n (from 0) makes entry first free + n - 1. The code at
// `firstWide` and those after it are sent one bit wider than 9.
LzwCase Widening(const char* name, unsigned gifCodeSize, unsigned firstWide) {
  LzwCase c{name, gifCodeSize, {}, 300, {}};
  for (unsigned n = 0; n < 300; ++n) {
    c.codes.push_back({n * 7 % 256, n < firstWide ? 9u : 10u});
    c.expected.push_back(static_cast<std::uint8_t>(n * 7 % 256));
  }
  c.codes.push_back({257, 10});
  return c;
}

// 3839 roots make entries 258 to 4095 (entry 257 + n holds the roots of codes n - 1 and n);
// then codes go on at 12 bits with no clear code and the table stays as it is.
LzwCase FullTable() {
  LzwCase c{"GifFullTableWithoutClear", 8, {}, 3844, {}};
  const auto root = [](unsigned n) { return n * 13 % 256; };
  for (unsigned n = 0; n < 3839; ++n) {
    c.codes.push_back({root(n), n < 255 ? 9u : n < 767 ? 10u : n < 1791 ? 11u : 12u});
    c.expected.push_back(static_cast<std::uint8_t>(root(n)));
  }
  c.codes.insert(c.codes.end(), {{4095, 12}, {300, 12}, {root(5), 12}, {257, 12}});
  for (unsigned n : {3837u, 3838u, 42u, 43u, 5u}) c.expected.push_back(static_cast<std::uint8_t>(root(n)));
  return c;
}

// A run of one byte: each code after the first names the entry it makes itself, one byte longer
// each time: 1 + 2 + ... + 24 bytes.
LzwCase RunOfOneByte() {
  LzwCase c{"TiffRunOfOneByte", 0, {{65, 9}}, 300, ByteVector(300, 65)};
  for (unsigned code = 258; code <= 280; ++code) c.codes.push_back({code, 9});
  c.codes.push_back({257, 9});
  return c;
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, LzwStreams,
    ::testing::Values(
        // The state at the start equals the state after a clear code.
        LzwCase{"TiffStripWithoutLeadingClear", 0, {{65, 9}, {66, 9}, {258, 9}, {257, 9}}, 4, {65, 66, 65, 66}},
        LzwCase{"TiffCodeEqualToNextFree", 0, {{256, 9}, {65, 9}, {258, 9}, {257, 9}}, 3, {65, 65, 65}},
        RunOfOneByte(),
        // No end code: the packed bytes end, the rest of the output stays as it was.
        LzwCase{"TiffMissingEndCode", 0, {{65, 9}, {66, 9}}, 4, {65, 66, 0, 0}},
        // The output is full in the middle of a string: the rest of the string is dropped.
        LzwCase{"GifOutputFullInsideAString", 2, {{1, 3}, {2, 3}, {6, 3}, {5, 4}}, 3, {1, 2, 1}},
        // Entry 7 widens the codes to 4 bits; the clear code takes them back to 3.
        LzwCase{"GifClearResetsTheWidth", 2, {{1, 3}, {2, 3}, {1, 3}, {4, 4}, {1, 3}, {5, 3}}, 4, {1, 2, 1, 1}},
        // TIFF widens after the code that makes entry 510, GIF after the one that makes 511.
        Widening("TiffTenBitsFromCode254", 0, 254), Widening("GifTenBitsFromCode255", 8, 255), FullTable(),
        LzwCase{"TiffCodeAboveNextFree", 0, {{65, 9}, {259, 9}}, 64, {}, "TIF LZW: invalid opcode."},
        LzwCase{"GifCodeAboveNextFree", 2, {{1, 3}, {7, 3}}, 64, {}, "GIF LZW: invalid opcode."},
        // Entry 6 is not there yet and there is no string to build it from.
        LzwCase{"GifFirstCodeIsNextFree", 2, {{4, 3}, {6, 3}}, 64, {}, "GIF LZW: invalid opcode."},
        // A clear code of 4096 would lie outside the table.
        LzwCase{"GifCodeSizeTwelve", 12, {{1, 13}}, 64, {}, "GIF LZW: invalid opcode."}),
    [](const auto& info) { return std::string(info.param.name); });

// A strip written by libtiff: codes widen to 12 bits and the table fills up and is cleared.
TEST(LzwFromLibtiff, StripDecodesToItsPlainTwin) {
  const ByteVector packed = imagingtest::ReadFile(testsupport::corpusDir() + "/lzw/plasma.lzw");
  const ByteVector plain = imagingtest::ReadFile(testsupport::corpusDir() + "/lzw/plasma.rgb");
  ASSERT_EQ(plain.size(), 96u * 64u * 3u);
  EXPECT_EQ(Lzw{}.Run(packed, plain.size()), plain);
}

// PackBits (`targaBits` 0) and Targa rows: what one call writes and, for Targa, consumes.
struct RunCase {
  const char* name;
  unsigned targaBits;
  ByteVector packed;
  std::size_t wanted;
  ByteVector expected;
  std::size_t consumed = 0;
};

class RunLengthPackets : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunLengthPackets, StaysWithinBothBuffers) {
  const RunCase& c = GetParam();
  std::size_t consumed = 0;
  const ByteVector out = Guarded(c.wanted, [&](std::uint8_t* row) {
    const std::uint8_t* source = c.packed.data();
    if (c.targaBits) consumed = DecodeTargaRLE(c.packed, {row, c.wanted}, c.targaBits);
    else TPackbitsRLE().Decode(source, row, c.packed.size(), c.wanted);
    EXPECT_EQ(source, c.packed.data());
  });
  EXPECT_EQ(out, c.expected);
  EXPECT_EQ(consumed, c.consumed);
}

ByteVector Repeat(const ByteVector& pixel, std::size_t times) {
  ByteVector out;
  for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), pixel.begin(), pixel.end());
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Packets, RunLengthPackets,
    ::testing::Values(
        RunCase{"PackbitsLiteralThenRun", 0, {2, 1, 2, 3, 0xFE, 9}, 6, {1, 2, 3, 9, 9, 9}},
        RunCase{"PackbitsMinus128IsNoOperation", 0, {0x80, 0, 5}, 1, {5}},
        RunCase{"PackbitsRunCutAtOutputEnd", 0, {0x81, 7}, 4, {7, 7, 7, 7}},
        RunCase{"PackbitsLiteralCutAtInputEnd", 0, {4, 1, 2}, 4, {1, 2, 0, 0}},
        RunCase{"PackbitsRunWithoutItsByte", 0, {1, 4, 5, 0xFF}, 4, {4, 5, 0, 0}},
        RunCase{"TargaRun128Pixels24Bit", 24, {0xFF, 1, 2, 3}, 384, Repeat({1, 2, 3}, 128), 4},
        RunCase{"TargaRawThenRun16Bit", 16, {0x01, 1, 2, 3, 4, 0x81, 5, 6}, 8, {1, 2, 3, 4, 5, 6, 5, 6}, 8},
        // The packet goes on past the row: it is cut, and counted whole.
        RunCase{"TargaRunAcrossTheRowEnd", 8, {0x83, 9, 0x00, 1}, 2, {9, 9}, 2},
        RunCase{"TargaRawAcrossTheRowEnd", 32, {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 4, {1, 2, 3, 4}, 13},
        // The packed bytes end inside a packet: the whole pixels that are there are written.
        RunCase{"TargaRawCutShort", 24, {0x02, 1, 2, 3, 4}, 6, {1, 2, 3, 0, 0, 0}, 10},
        RunCase{"TargaUnknownPixelSize", 12, {0x80, 1, 2}, 4, {0, 0, 0, 0}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
