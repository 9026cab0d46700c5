// The TIFF reader on files written here field by field: its errors, the variants it refuses,
// and malformed files it must read without trusting them.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "imaging/PictureStream.h"
#include "imaging/TIFFGraphic.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

enum : std::uint16_t { kByte = 1, kShort = 3, kLong = 4 };
enum : std::uint16_t {
  kWidth = 256, kHeight = 257, kBits = 258, kCompression = 259, kPhotometric = 262, kFillOrder = 266,
  kOffsets = 273, kSamples = 277, kRowsPerStrip = 278, kByteCounts = 279, kPlanar = 284, kPredictor = 317,
  kColorMap = 320, kTileWidth = 322, kTileLength = 323, kTileOffsets = 324, kExtraSamples = 338, kSampleFormat = 339,
};

// A field's values, or with `raw` a count and value field taken as they stand. A value from
// kData on is the offset of the file's data plus the excess.
struct Field {
  std::uint16_t type = kShort;
  std::vector<std::uint32_t> values;
  bool raw = false;
};
using Fields = std::map<std::uint16_t, Field>;
constexpr std::uint32_t kData = 0xF0000000;
const Field kAbsent{0, {}};

Field Raw(std::uint16_t type, std::uint32_t count, std::uint32_t value) { return {type, {count, value}, true}; }

// The header, the directory, the arrays that do not fit in an entry, then the data: the data
// always ends the file. Fields of type 0 are left out.
Bytes Tiff(const Fields& fields, const Bytes& data, bool bigEndian = false) {
  Bytes out;
  const auto put = [&](std::uint32_t v, unsigned size) {
    for (unsigned i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> 8 * (bigEndian ? size - 1 - i : i)));
  };
  const auto sizeOf = [](const Field& f) { return f.type == kByte ? 1u : f.type == kShort ? 2u : 4u; };
  const auto value = [&](std::uint32_t v, std::uint32_t dataAt) { return v >= kData ? dataAt + (v - kData) : v; };
  std::size_t count = 0, arrayBytes = 0;
  for (const auto& [tag, f] : fields)
    if (f.type) ++count, arrayBytes += !f.raw && f.values.size() * sizeOf(f) > 4 ? f.values.size() * sizeOf(f) : 0;
  const auto arraysAt = static_cast<std::uint32_t>(8 + 2 + 12 * count + 4);
  const auto dataAt = static_cast<std::uint32_t>(arraysAt + arrayBytes);
  out = {std::uint8_t(bigEndian ? 'M' : 'I'), std::uint8_t(bigEndian ? 'M' : 'I')};
  put(42, 2), put(8, 4), put(static_cast<std::uint32_t>(count), 2);
  std::uint32_t nextArray = arraysAt;
  for (const auto& [tag, f] : fields) {
    if (!f.type) continue;
    const auto bytes = static_cast<std::uint32_t>(f.values.size() * sizeOf(f));
    put(tag, 2), put(f.type, 2), put(f.raw ? f.values[0] : static_cast<std::uint32_t>(f.values.size()), 4);
    if (f.raw) {
      put(f.values[1], 4);
    } else if (bytes > 4) {
      put(nextArray, 4);
      nextArray += bytes;
    } else {
      for (std::uint32_t v : f.values) put(value(v, dataAt), sizeOf(f));
      for (std::uint32_t filled = bytes; filled < 4; ++filled) out.push_back(0);
    }
  }
  put(0, 4);
  for (const auto& [tag, f] : fields)
    if (f.type && !f.raw && f.values.size() * sizeOf(f) > 4)
      for (std::uint32_t v : f.values) put(value(v, dataAt), sizeOf(f));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// An uncompressed picture in one strip, `bits` giving the depth of each sample, with changes.
Fields Picture(std::uint32_t width, std::uint32_t height, std::uint32_t photometric, std::vector<std::uint32_t> bits,
               const Fields& changes = {}) {
  Fields fields{{kWidth, {kLong, {width}}},       {kHeight, {kLong, {height}}}, {kPhotometric, {kShort, {photometric}}},
                {kSamples, {kShort, {static_cast<std::uint32_t>(bits.size())}}}, {kBits, {kShort, bits}},
                {kOffsets, {kLong, {kData}}},     {kByteCounts, {kLong, {4096}}}};
  for (const auto& [tag, f] : changes) fields[tag] = f;
  return fields;
}
Fields Grey8(std::uint32_t width, std::uint32_t height, const Fields& changes = {}) {
  return Picture(width, height, 1, {8}, changes);
}

// TIFF LZW codes of 9 bits, most significant bit first.
Bytes Lzw9(const std::vector<unsigned>& codes) {
  Bytes bytes;
  std::uint32_t buffer = 0;
  unsigned count = 0;
  for (unsigned code : codes)
    for (buffer = buffer << 9 | code, count += 9; count >= 8; count -= 8)
      bytes.push_back(static_cast<std::uint8_t>(buffer >> (count - 8)));
  if (count > 0) bytes.push_back(static_cast<std::uint8_t>(buffer << (8 - count)));
  return bytes;
}

TTIFFGraphic Load(const Bytes& bytes) {
  TTIFFGraphic picture;
  TPictureStream stream(bytes);
  picture.ReadPictureStream(stream);
  return picture;
}

std::string ErrorOf(const Bytes& bytes) {
  try {
    Load(bytes);
  } catch (const Exception& error) {
    return error.what();
  }
  return "(loaded)";
}

struct FailureCase {
  const char* name;
  Fields fields;
  Bytes data;
  std::string message;  // the error's text starts with this
};
void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class TiffFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TiffFailures, RaiseTheirMessage) {
  const FailureCase& c = GetParam();
  EXPECT_EQ(ErrorOf(Tiff(c.fields, c.data)).substr(0, c.message.size()), c.message);
}

const std::string kInvalid = "Invalid TIFF file.";
const std::string kReadError = "Erreur de lecture du flux";
const Field kLzw{kShort, {5}};
const Bytes kTwo = {0, 0};

INSTANTIATE_TEST_SUITE_P(
    Files, TiffFailures,
    ::testing::Values(
        FailureCase{"WidthZero", Grey8(2, 1, {{kWidth, {kShort, {0}}}}), kTwo, kInvalid},
        FailureCase{"HeightAbsent", Grey8(2, 1, {{kHeight, kAbsent}}), kTwo, kInvalid},
        FailureCase{"NoStripOffsets", Grey8(2, 1, {{kOffsets, kAbsent}}), kTwo, kInvalid},
        FailureCase{"CompressedWithoutByteCounts", Grey8(2, 1, {{kCompression, kLzw}, {kByteCounts, kAbsent}}), kTwo,
                    kInvalid},
        FailureCase{"PaletteWithoutColorMap", Picture(2, 1, 3, {8}), kTwo, kInvalid},
        FailureCase{"Compression7", Grey8(2, 1, {{kCompression, {kShort, {7}}}}), kTwo,
                    "TIFF: Unknown compression scheme"},
        FailureCase{"CorruptLzwStrip", Grey8(2, 1, {{kCompression, kLzw}}), Lzw9({65, 300}), "TIF LZW: invalid opcode."},
        FailureCase{"StripOffsetsPastTheEnd", Grey8(1, 2, {{kOffsets, Raw(kLong, 2, 1 << 20)}}), kTwo, kReadError},
        FailureCase{"ByteCountsOfFourBillionValues", Grey8(2, 1, {{kCompression, kLzw}, {kByteCounts, Raw(kLong, ~0u, 8)}}),
                    kTwo, kReadError},
        FailureCase{"ColorMapPastTheEnd", Picture(2, 1, 3, {8}, {{kColorMap, Raw(kShort, 768, 1 << 20)}}), kTwo,
                    kReadError},
        FailureCase{"BeyondTheSizeLimit", Grey8(70000, 1), kTwo, "Image trop grande"},
        // Variants that would show as a wrong picture are refused with what they are.
        FailureCase{"TileWidthZero", Grey8(2, 1, {{kTileWidth, {kShort, {0}}}, {kTileLength, {kShort, {16}}}}), kTwo,
                    kInvalid},
        FailureCase{"TilesWithoutTileOffsets", Grey8(2, 1, {{kTileWidth, {kShort, {16}}}, {kTileLength, {kShort, {16}}}}),
                    kTwo, kInvalid},
        // Data that could expand to more than the decoder's memory limit, for a strip that wants even more.
        FailureCase{"StripBeyondTheDecoderMemory", Picture(65535, 4096, 2, {16, 16, 16, 16}, {{kCompression, kLzw},
                    {kByteCounts, {kLong, {400000}}}}), Bytes(400000), "Image trop grande"},
        FailureCase{"CorruptDeflateStrip", Grey8(2, 1, {{kCompression, {kShort, {8}}}}), {0x78, 0x9C, 0xFF},
                    "TIFF Deflate: invalid data."},
        FailureCase{"SeparatePlanes", Picture(1, 1, 2, {8, 8, 8}, {{kPlanar, {kShort, {2}}}}), kTwo,
                    "TIFF: images with separate sample planes (PlanarConfiguration 2) are not supported"},
        FailureCase{"ReversedBitOrder", Grey8(2, 1, {{kFillOrder, {kShort, {2}}}}), kTwo,
                    "TIFF: reversed bit order (FillOrder 2) is not supported"},
        FailureCase{"YCbCr", Picture(1, 1, 6, {8, 8, 8}), kTwo, "TIFF: YCbCr images are not supported"},
        FailureCase{"TransparencyMask", Picture(8, 1, 4, {1}), kTwo, "TIFF: photometric interpretation 4 is not supported"},
        FailureCase{"Rgb4Bits", Picture(2, 1, 2, {4, 4, 4}), kTwo, "TIFF: 4-bit RGB images are not supported"},
        FailureCase{"Cmyk32Bits", Picture(1, 1, 5, {32, 32, 32, 32}), kTwo, "TIFF: 32-bit CMYK images are not supported"},
        FailureCase{"Lab16Bits", Picture(1, 1, 8, {16, 16, 16}), kTwo, "TIFF: 16-bit CIE L*a*b* images are not supported"},
        FailureCase{"Grey2Bits", Picture(4, 1, 1, {2}), kTwo, "TIFF: 2-bit grey images are not supported"},
        FailureCase{"Palette16Bits", Picture(1, 1, 3, {16}), kTwo, "TIFF: 16-bit palette images are not supported"},
        FailureCase{"RgbOfTwoSamples", Picture(1, 1, 2, {8, 8}), kTwo,
                    "TIFF: RGB images with 2 samples per pixel (0 of them extra) are not supported"},
        FailureCase{"GreyWithAlpha", Picture(1, 1, 1, {8, 8}, {{kExtraSamples, {kShort, {2}}}}), kTwo,
                    "TIFF: grey images with 2 samples per pixel (1 of them extra) are not supported"},
        FailureCase{"SamplesOfDifferentSizes", Picture(1, 1, 2, {8, 8, 16}), kTwo,
                    "TIFF: samples of different sizes are not supported"},
        FailureCase{"SignedSamples", Grey8(2, 1, {{kSampleFormat, {kShort, {2}}}}), kTwo,
                    "TIFF: signed integer samples are not supported"},
        FailureCase{"HalfFloatSamples", Picture(1, 1, 2, {16, 16, 16}, {{kSampleFormat, {kShort, {1, 1, 3}}}}), kTwo,
                    "TIFF: floating-point samples are not supported"},
        FailureCase{"FloatingPointDifferencing", Grey8(2, 1, {{kCompression, kLzw}, {kPredictor, {kShort, {3}}}}), kTwo,
                    "TIFF: floating-point differencing (Predictor 3) is not supported"},
        FailureCase{"OneBitTilesNotOnWholeBytes",
                    Picture(24, 1, 1, {1}, {{kTileWidth, {kShort, {12}}}, {kTileLength, {kShort, {1}}},
                                            {kTileOffsets, {kLong, {kData}}}}),
                    kTwo, "TIFF: tiles 12 pixels wide in 1-bit images are not supported"},
        FailureCase{"DifferencingOf4BitSamples", Picture(2, 1, 1, {4}, {{kPredictor, {kShort, {2}}}}), kTwo,
                    "TIFF: horizontal differencing of 4-bit samples is not supported"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TiffReader, HeaderAndDirectoryErrors) {
  Bytes file = Tiff(Grey8(2, 1), kTwo);
  file[2] = 43;
  EXPECT_EQ(ErrorOf(file), kInvalid);
  EXPECT_EQ(ErrorOf({'I', 'I', 42, 0, 8}), kReadError);
  file = Tiff(Grey8(2, 1), kTwo);
  file[6] = 0x10;  // the directory lies a megabyte past the end
  EXPECT_EQ(ErrorOf(file), kReadError);
}

// Malformed files that still hold a picture: every row the data reaches is read, every other
// row is zero.
struct SoundCase {
  const char* name;
  Fields fields;
  Bytes data;
  std::vector<Bytes> rows;  // the first bytes of each row
};
void PrintTo(const SoundCase& c, std::ostream* out) { *out << c.name; }

class TiffMalformed : public ::testing::TestWithParam<SoundCase> {};

TEST_P(TiffMalformed, ReadsWhatTheDataHoldsAndZeroElsewhere) {
  const SoundCase& c = GetParam();
  const TTIFFGraphic picture = Load(Tiff(c.fields, c.data));
  ASSERT_EQ(picture.Height(), static_cast<int>(c.rows.size()));
  for (std::size_t y = 0; y < c.rows.size(); ++y) {
    const auto row = picture.ScanLine(static_cast<int>(y));
    EXPECT_EQ(Bytes(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(c.rows[y].size())), c.rows[y]) << "row " << y;
  }
}

const Field kOneRowEach{kLong, {1}};
const Bytes kFullThenCut = [] {
  Bytes full = Lzw9({256, 1, 2, 3, 4, 257}), cut = Lzw9({256, 5, 6});
  full.insert(full.end(), cut.begin(), cut.end());
  return full;
}();

INSTANTIATE_TEST_SUITE_P(
    Files, TiffMalformed,
    ::testing::Values(
        SoundCase{"FewerByteCountsThanOffsets",
                  Grey8(1, 2, {{kCompression, {kShort, {32773}}}, {kOffsets, {kLong, {kData, kData + 2}}},
                               {kByteCounts, {kLong, {2}}}, {kRowsPerStrip, kOneRowEach}}),
                  {0, 0xAA, 0, 0xBB}, {{0xAA}, {0}}},
        SoundCase{"StripOffsetPastTheEnd", Grey8(1, 2, {{kOffsets, {kLong, {kData, 1 << 20}}}, {kRowsPerStrip, kOneRowEach}}),
                  {0x11, 0x22}, {{0x11}, {0}}},
        SoundCase{"RowsPerStripZeroMeansOne",
                  Grey8(1, 3, {{kOffsets, {kLong, {kData, kData + 1, kData + 2}}}, {kRowsPerStrip, {kLong, {0}}}}),
                  {1, 2, 3}, {{1}, {2}, {3}}},
        SoundCase{"RowsPerStripBeyondTheHeight",
                  Grey8(1, 2, {{kOffsets, {kLong, {kData, kData + 1}}}, {kRowsPerStrip, {kLong, {~0u}}}}), {1, 2},
                  {{1}, {2}}},
        // The second strip's data ends after two codes: the rest of its row must not show what
        // the first strip left in the strip buffer.
        SoundCase{"TruncatedLzwStrip",
                  Grey8(4, 2, {{kCompression, kLzw}, {kOffsets, {kLong, {kData, kData + 7}}},
                               {kByteCounts, {kLong, {7, 4}}}, {kRowsPerStrip, kOneRowEach}}),
                  kFullThenCut, {{1, 2, 3, 4}, {5, 6, 0, 0}}},
        SoundCase{"UncompressedDataCutShort", Picture(2, 2, 2, {8, 8, 8}), {1, 2, 3, 4},
                  {{3, 2, 1, 0, 0, 4}, {0, 0, 0, 0, 0, 0}}},
        // The data ends inside a stored block: what it holds is read.
        SoundCase{"TruncatedDeflateStrip", Grey8(4, 1, {{kCompression, {kShort, {8}}}}),
                  {0x78, 0x01, 0x01, 0x04, 0x00, 0xFB, 0xFF, 1, 2}, {{1, 2, 0, 0}}},
        // Tiles of 2 x 1 pixels, the last one missing; the right ones run one pixel past the picture.
        SoundCase{"FewerTileOffsetsThanTiles",
                  Grey8(3, 2, {{kTileWidth, {kShort, {2}}}, {kTileLength, {kShort, {1}}},
                               {kTileOffsets, {kLong, {kData, kData + 2, kData + 4}}}}),
                  {1, 2, 3, 9, 4, 5}, {{1, 2, 3}, {4, 5, 0}}},
        // Tiles of 2 x 2 pixels, the last one cut after its first row: its second row is zero,
        // not what the tile beside it in the row above left.
        SoundCase{"LastTileCutShort",
                  Grey8(4, 4, {{kTileWidth, {kShort, {2}}}, {kTileLength, {kShort, {2}}},
                               {kTileOffsets, {kLong, {kData, kData + 4, kData + 8, kData + 12}}}}),
                  {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
                  {{1, 2, 5, 6}, {3, 4, 7, 8}, {9, 10, 13, 14}, {11, 12, 0, 0}}},
        // Only the part of a tile inside the picture is read: no buffer for four billion pixels.
        SoundCase{"TileRowOfFourBillionPixels",
                  Grey8(2, 1, {{kTileWidth, Raw(kLong, 1, ~0u)}, {kTileLength, {kShort, {1}}},
                               {kTileOffsets, {kLong, {kData}}}}),
                  {7, 8}, {{7, 8}}},
        // Differencing on 16-bit RGB adds whole samples, carrying into the high byte.
        SoundCase{"DifferencingOf16BitSamples", Picture(2, 1, 2, {16, 16, 16}, {{kPredictor, {kShort, {2}}}}),
                  {0xFF, 0, 0, 0, 0, 0, 0x01, 0, 0, 1, 0, 2}, {{0, 0, 0, 2, 1, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TiffReader, ColourMapEntriesItDoesNotHoldAreBlack) {
  const Fields fields = Picture(2, 1, 3, {8}, {{kColorMap, {kShort, std::vector<std::uint32_t>(3 * 256 - 10, 0xFF00)}}});
  const TTIFFGraphic picture = Load(Tiff(fields, {0, 250}));
  EXPECT_EQ(picture.PixelColor(0, 0), (Color{255, 255, 255}));
  EXPECT_EQ(picture.PixelColor(1, 0), (Color{0, 0, 0}));
}

TEST(TiffReader, FourRgbSamplesWithoutExtraSamplesFieldGiveBgrx32) {
  const TTIFFGraphic picture = Load(Tiff(Picture(1, 1, 2, {8, 8, 8, 8}), {10, 20, 30, 40}));
  EXPECT_EQ(picture.Layout(), PixelLayout::Bgrx32);
  EXPECT_EQ(picture.ScanLine(0)[0], 30);
  EXPECT_EQ(picture.ScanLine(0)[3], 40);
}

TEST(TiffReader, OffsetsCountFromWhereTheFileStartsInTheStream) {
  Bytes bytes = {0xEE, 0xEE, 0xEE};
  const Bytes file = Tiff(Picture(1, 1, 2, {8, 8, 8}), {10, 20, 30}, true);
  bytes.insert(bytes.end(), file.begin(), file.end());
  TTIFFGraphic picture;
  TPictureStream stream(bytes);
  stream.Seek(3);
  picture.ReadPictureStream(stream);
  EXPECT_EQ(picture.PixelColor(0, 0), (Color{10, 20, 30}));
}

}  // namespace
