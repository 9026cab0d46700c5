// The TIFF reader on files written here field by field: its errors, the variants it refuses,
// and malformed files it must read without trusting them.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "imaging/Picture.h"
#include "imaging/PictureReaders.h"
#include "imaging/PictureStream.h"
#include "imaging/TIFFGraphic.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

enum : std::uint16_t { kByte = 1, kShort = 3, kLong = 4 };
enum : std::uint16_t {
  kWidth = 256, kHeight = 257, kBits = 258, kCompression = 259, kPhotometric = 262, kFillOrder = 266,
  kOffsets = 273, kSamples = 277, kRowsPerStrip = 278, kByteCounts = 279, kPlanar = 284, kPredictor = 317,
  kColorMap = 320, kTileWidth = 322, kExtraSamples = 338,
};

// A TIFF file written field by field: the header, the data blocks in the order they were added,
// the arrays that do not fit in an entry, then the only directory, in ascending tag order.
class TiffFile {
 public:
  explicit TiffFile(bool bigEndian = false) : big_(bigEndian) {
    bytes_ = {std::uint8_t(big_ ? 'M' : 'I'), std::uint8_t(big_ ? 'M' : 'I')};
    Put(42, 2);
    Put(0, 4);
  }

  // Appends a block of data and gives its offset.
  std::uint32_t Add(const Bytes& block) {
    const auto at = static_cast<std::uint32_t>(bytes_.size());
    bytes_.insert(bytes_.end(), block.begin(), block.end());
    return at;
  }

  TiffFile& Set(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values) {
    fields_[tag] = {type, static_cast<std::uint32_t>(values.size()), std::move(values), false, 0};
    return *this;
  }
  // An entry whose count and value field are taken as they stand, whatever they point at.
  TiffFile& SetRaw(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    fields_[tag] = {type, count, {}, true, value};
    return *this;
  }
  TiffFile& Remove(std::uint16_t tag) {
    fields_.erase(tag);
    return *this;
  }

  Bytes Build() const {
    TiffFile out = *this;
    std::map<std::uint16_t, std::uint32_t> arrays;
    for (const auto& [tag, field] : fields_) {
      const unsigned size = field.type == kByte ? 1 : field.type == kShort ? 2 : 4;
      if (field.raw || field.count * size <= 4) continue;
      arrays[tag] = static_cast<std::uint32_t>(out.bytes_.size());
      for (std::uint32_t v : field.values) out.Put(v, size);
    }
    if (out.bytes_.size() % 2) out.bytes_.push_back(0);
    const auto directory = static_cast<std::uint32_t>(out.bytes_.size());
    out.Put(static_cast<std::uint32_t>(fields_.size()), 2);
    for (const auto& [tag, field] : fields_) {
      const unsigned size = field.type == kByte ? 1 : field.type == kShort ? 2 : 4;
      out.Put(tag, 2);
      out.Put(field.type, 2);
      out.Put(field.count, 4);
      if (field.raw) {
        out.Put(field.value, 4);
      } else if (arrays.count(tag)) {
        out.Put(arrays[tag], 4);
      } else {
        for (std::uint32_t v : field.values) out.Put(v, size);
        for (unsigned filled = field.count * size; filled < 4; ++filled) out.bytes_.push_back(0);
      }
    }
    out.Put(0, 4);
    out.PutAt(4, directory);
    return out.bytes_;
  }

 private:
  struct Field {
    std::uint16_t type;
    std::uint32_t count;
    std::vector<std::uint32_t> values;
    bool raw;
    std::uint32_t value;
  };

  void Put(std::uint32_t value, unsigned size) {
    for (unsigned i = 0; i < size; ++i)
      bytes_.push_back(static_cast<std::uint8_t>(value >> 8 * (big_ ? size - 1 - i : i)));
  }
  void PutAt(std::size_t at, std::uint32_t value) {
    for (unsigned i = 0; i < 4; ++i) bytes_[at + i] = static_cast<std::uint8_t>(value >> 8 * (big_ ? 3 - i : i));
  }

  bool big_;
  Bytes bytes_;
  std::map<std::uint16_t, Field> fields_;
};

// An uncompressed picture in one strip: `bits` gives the depth of each sample.
TiffFile Picture(std::uint32_t width, std::uint32_t height, std::uint32_t photometric, std::vector<std::uint32_t> bits,
                 const Bytes& samples, bool bigEndian = false) {
  TiffFile file(bigEndian);
  const std::uint32_t at = file.Add(samples);
  file.Set(kWidth, kLong, {width}).Set(kHeight, kLong, {height}).Set(kPhotometric, kShort, {photometric});
  file.Set(kSamples, kShort, {static_cast<std::uint32_t>(bits.size())}).Set(kBits, kShort, std::move(bits));
  file.Set(kOffsets, kLong, {at}).Set(kRowsPerStrip, kLong, {height});
  file.Set(kByteCounts, kLong, {static_cast<std::uint32_t>(samples.size())});
  return file;
}

TiffFile Grey8(std::uint32_t width, std::uint32_t height, const Bytes& samples) {
  return Picture(width, height, 1, {8}, samples);
}

// TIFF LZW codes of 9 bits, most significant bit first.
Bytes Lzw9(const std::vector<unsigned>& codes) {
  Bytes bytes;
  std::uint32_t buffer = 0;
  unsigned count = 0;
  for (unsigned code : codes) {
    buffer = buffer << 9 | code;
    for (count += 9; count >= 8; count -= 8) bytes.push_back(static_cast<std::uint8_t>(buffer >> (count - 8)));
  }
  if (count > 0) bytes.push_back(static_cast<std::uint8_t>(buffer << (8 - count)));
  return bytes;
}

TTIFFGraphic Load(const Bytes& bytes) {
  TTIFFGraphic picture;
  TPictureStream stream(bytes);
  picture.ReadPictureStream(stream);
  return picture;
}

Bytes Row(const TBitmap& bitmap, int y, std::size_t bytes) {
  const auto line = bitmap.ScanLine(y);
  return Bytes(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(bytes));
}

struct FailureCase {
  const char* name;
  std::function<Bytes()> make;
  std::string message;  // the error's text starts with this
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class TiffFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TiffFailures, RaiseTheirMessage) {
  const FailureCase& c = GetParam();
  try {
    Load(c.make());
    FAIL() << "the file loaded";
  } catch (const Exception& error) {
    EXPECT_EQ(std::string(error.what()).substr(0, c.message.size()), c.message);
  }
}

const Bytes kRgbPixel = {10, 20, 30};

Bytes Patched(Bytes bytes, std::size_t at, std::uint8_t value) {
  bytes[at] = value;
  return bytes;
}

const std::string kInvalid = "Invalid TIFF file.";
const std::string kReadError = "Erreur de lecture du flux";

INSTANTIATE_TEST_SUITE_P(
    Files, TiffFailures,
    ::testing::Values(
        FailureCase{"VersionNot42", [] { return Patched(Picture(1, 1, 2, {8, 8, 8}, kRgbPixel).Build(), 2, 43); },
                    kInvalid},
        FailureCase{"WidthZero", [] { return Grey8(1, 1, {0}).Set(kWidth, kShort, {0}).Build(); }, kInvalid},
        FailureCase{"HeightAbsent", [] { return Grey8(1, 1, {0}).Remove(kHeight).Build(); }, kInvalid},
        FailureCase{"NoStripOffsets", [] { return Grey8(1, 1, {0}).Remove(kOffsets).Build(); }, kInvalid},
        FailureCase{"CompressedWithoutByteCounts",
                    [] { return Grey8(1, 1, {0}).Set(kCompression, kShort, {5}).Remove(kByteCounts).Build(); },
                    kInvalid},
        FailureCase{"PaletteWithoutColorMap", [] { return Picture(1, 1, 3, {8}, {0}).Build(); }, kInvalid},
        FailureCase{"Compression7", [] { return Grey8(1, 1, {0}).Set(kCompression, kShort, {7}).Build(); },
                    "TIFF: Unknown compression scheme"},
        FailureCase{"CorruptLzwStrip",
                    [] {
                      const Bytes strip = Lzw9({65, 300});
                      TiffFile file = Grey8(2, 1, {});
                      return file.Set(kCompression, kShort, {5}).Set(kOffsets, kLong, {file.Add(strip)})
                          .Set(kByteCounts, kLong, {static_cast<std::uint32_t>(strip.size())}).Build();
                    },
                    "TIF LZW: invalid opcode."},
        FailureCase{"HeaderCut", [] { return Bytes{'I', 'I', 42, 0, 8}; }, kReadError},
        FailureCase{"DirectoryPastTheEnd",
                    [] { return Patched(Grey8(1, 1, {0}).Build(), 6, 0x10); }, kReadError},
        FailureCase{"StripOffsetsPastTheEnd",
                    [] { return Grey8(1, 2, {0, 0}).SetRaw(kOffsets, kLong, 2, 1 << 20).Build(); }, kReadError},
        FailureCase{"ByteCountsOfFourBillionValues",
                    [] {
                      return Grey8(1, 1, {0}).Set(kCompression, kShort, {32773})
                          .SetRaw(kByteCounts, kLong, 0xFFFFFFFF, 8).Build();
                    },
                    kReadError},
        FailureCase{"ColorMapPastTheEnd",
                    [] { return Picture(1, 1, 3, {8}, {0}).SetRaw(kColorMap, kShort, 768, 1 << 20).Build(); },
                    kReadError},
        FailureCase{"BeyondTheSizeLimit",
                    [] { return Grey8(1, 1, {0}).Set(kWidth, kLong, {70000}).Build(); }, "Image trop grande"},
        // Variants that would show as a wrong picture are refused with what they are.
        FailureCase{"Tiled", [] { return Grey8(1, 1, {0}).Set(kTileWidth, kShort, {16}).Build(); },
                    "TIFF: tiled images are not supported"},
        FailureCase{"SeparatePlanes",
                    [] { return Picture(1, 1, 2, {8, 8, 8}, kRgbPixel).Set(kPlanar, kShort, {2}).Build(); },
                    "TIFF: images with separate sample planes (PlanarConfiguration 2) are not supported"},
        FailureCase{"ReversedBitOrder", [] { return Grey8(1, 1, {0}).Set(kFillOrder, kShort, {2}).Build(); },
                    "TIFF: reversed bit order (FillOrder 2) is not supported"},
        FailureCase{"YCbCr", [] { return Picture(1, 1, 6, {8, 8, 8}, kRgbPixel).Build(); },
                    "TIFF: YCbCr images are not supported"},
        FailureCase{"TransparencyMask", [] { return Picture(8, 1, 4, {1}, {0}).Build(); },
                    "TIFF: photometric interpretation 4 is not supported"},
        FailureCase{"Rgb4Bits", [] { return Picture(2, 1, 2, {4, 4, 4}, kRgbPixel).Build(); },
                    "TIFF: 4-bit RGB images are not supported"},
        FailureCase{"Cmyk32Bits", [] { return Picture(1, 1, 5, {32, 32, 32, 32}, Bytes(16)).Build(); },
                    "TIFF: 32-bit CMYK images are not supported"},
        FailureCase{"Lab16Bits", [] { return Picture(1, 1, 8, {16, 16, 16}, Bytes(6)).Build(); },
                    "TIFF: 16-bit CIE L*a*b* images are not supported"},
        FailureCase{"Grey2Bits", [] { return Picture(4, 1, 1, {2}, {0}).Build(); },
                    "TIFF: 2-bit grey images are not supported"},
        FailureCase{"Grey0Bits", [] { return Picture(4, 1, 1, {0}, {0}).Build(); },
                    "TIFF: 0-bit grey images are not supported"},
        FailureCase{"GreyHugeBits", [] { return Picture(4, 1, 1, {8}, {0}).Set(kBits, kLong, {0x80000000}).Build(); },
                    "TIFF: 2147483648-bit grey images are not supported"},
        FailureCase{"Palette16Bits", [] { return Picture(1, 1, 3, {16}, {0, 0}).Build(); },
                    "TIFF: 16-bit palette images are not supported"},
        FailureCase{"RgbOfTwoSamples", [] { return Picture(1, 1, 2, {8, 8}, {0, 0}).Build(); },
                    "TIFF: RGB images with 2 samples per pixel (0 of them extra) are not supported"},
        FailureCase{"RgbWithTwoExtraSamples",
                    [] { return Picture(1, 1, 2, {8, 8, 8, 8, 8}, Bytes(5)).Set(kExtraSamples, kShort, {2, 0}).Build(); },
                    "TIFF: RGB images with 5 samples per pixel (2 of them extra) are not supported"},
        FailureCase{"HugeSamplesPerPixel",
                    [] { return Picture(1, 1, 2, {8, 8, 8}, kRgbPixel).Set(kSamples, kShort, {65535}).Build(); },
                    "TIFF: RGB images with 65535 samples per pixel (0 of them extra) are not supported"},
        FailureCase{"GreyWithAlpha",
                    [] { return Picture(1, 1, 1, {8, 8}, {0, 0}).Set(kExtraSamples, kShort, {2}).Build(); },
                    "TIFF: grey images with 2 samples per pixel (1 of them extra) are not supported"},
        FailureCase{"SamplesOfDifferentSizes", [] { return Picture(1, 1, 2, {8, 8, 16}, Bytes(4)).Build(); },
                    "TIFF: samples of different sizes are not supported"},
        FailureCase{"DifferencingOf4BitSamples",
                    [] { return Picture(2, 1, 1, {4}, {0}).Set(kPredictor, kShort, {2}).Build(); },
                    "TIFF: horizontal differencing of 4-bit samples is not supported"}),
    [](const auto& info) { return std::string(info.param.name); });

// Malformed files that still hold a picture: every row the data reaches is read, every other
// row is zero.
struct SoundCase {
  const char* name;
  std::function<Bytes()> make;
  std::vector<Bytes> rows;  // the first bytes of each row
};

void PrintTo(const SoundCase& c, std::ostream* out) { *out << c.name; }

class TiffMalformed : public ::testing::TestWithParam<SoundCase> {};

TEST_P(TiffMalformed, ReadsWhatTheDataHoldsAndZeroElsewhere) {
  const SoundCase& c = GetParam();
  const TTIFFGraphic picture = Load(c.make());
  ASSERT_EQ(picture.Height(), static_cast<int>(c.rows.size()));
  for (std::size_t y = 0; y < c.rows.size(); ++y)
    EXPECT_EQ(Row(picture, static_cast<int>(y), c.rows[y].size()), c.rows[y]) << "row " << y;
}

// Rows of one grey sample each, one strip per row, PackBits-compressed as one literal.
TiffFile PackBitsRows(const Bytes& rows) {
  TiffFile file = Grey8(1, static_cast<std::uint32_t>(rows.size()), {});
  std::vector<std::uint32_t> offsets, counts;
  for (std::uint8_t value : rows) {
    offsets.push_back(file.Add({0, value}));
    counts.push_back(2);
  }
  return file.Set(kCompression, kShort, {32773}).Set(kOffsets, kLong, offsets).Set(kByteCounts, kLong, counts)
      .Set(kRowsPerStrip, kLong, {1});
}

// A picture whose only strip lies at the very end of the file and holds `data`.
Bytes StripAtTheEnd(TiffFile file, const Bytes& data) {
  file.Set(kOffsets, kLong, {static_cast<std::uint32_t>(file.Build().size())});
  Bytes bytes = file.Build();
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, TiffMalformed,
    ::testing::Values(
        SoundCase{"FewerByteCountsThanOffsets",
                  [] { return PackBitsRows({0xAA, 0xBB}).Set(kByteCounts, kLong, {2}).Build(); }, {{0xAA}, {0}}},
        SoundCase{"StripOffsetPastTheEnd",
                  [] { return Grey8(1, 2, {0x11, 0x22}).Set(kOffsets, kLong, {8, 1 << 20}).Set(kRowsPerStrip, kLong, {1})
                           .Build(); },
                  {{0x11}, {0}}},
        SoundCase{"RowsPerStripZeroMeansOne",
                  [] { return Grey8(1, 3, {1, 2, 3}).Set(kOffsets, kLong, {8, 9, 10}).Set(kRowsPerStrip, kLong, {0})
                           .Build(); },
                  {{1}, {2}, {3}}},
        SoundCase{"RowsPerStripBeyondTheHeight",
                  [] { return Grey8(1, 2, {1, 2}).Set(kOffsets, kLong, {8, 9}).Set(kRowsPerStrip, kLong, {0xFFFFFFFF})
                           .Build(); },
                  {{1}, {2}}},
        // The second strip's data ends after two codes: the rest of its row must not show what
        // the first strip left in the strip buffer.
        SoundCase{"TruncatedLzwStrip",
                  [] {
                    const Bytes full = Lzw9({256, 1, 2, 3, 4, 257}), cut = Lzw9({256, 5, 6});
                    TiffFile file = Grey8(4, 2, {});
                    const std::uint32_t a = file.Add(full), b = file.Add(cut);
                    return file.Set(kCompression, kShort, {5}).Set(kOffsets, kLong, {a, b})
                        .Set(kByteCounts, kLong, {static_cast<std::uint32_t>(full.size()), 4})
                        .Set(kRowsPerStrip, kLong, {1}).Build();
                  },
                  {{1, 2, 3, 4}, {5, 6, 0, 0}}},
        SoundCase{"UncompressedStripCutShort",
                  [] { return StripAtTheEnd(Picture(2, 2, 2, {8, 8, 8}, {}), {1, 2, 3, 4}); },
                  {{3, 2, 1, 0, 0, 4}, {0, 0, 0, 0, 0, 0}}},
        // Predictor 2 on a 16-bit RGB row adds whole samples, carrying into the high byte.
        SoundCase{"DifferencingOf16BitSamples",
                  [] { return Picture(2, 1, 2, {16, 16, 16}, {0xFF, 0, 0, 0, 0, 0, 0x01, 0, 0, 1, 0, 2})
                           .Set(kPredictor, kShort, {2}).Build(); },
                  {{0, 0, 0, 2, 1, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TiffReader, ColourMapEntriesItDoesNotHoldAreBlack) {
  std::vector<std::uint32_t> map(3 * 256 - 10, 0xFF00);
  const TTIFFGraphic picture = Load(Picture(2, 1, 3, {8}, {0, 250}).Set(kColorMap, kShort, map).Build());
  EXPECT_EQ(picture.PixelColor(0, 0), (Color{255, 255, 255}));
  EXPECT_EQ(picture.PixelColor(1, 0), (Color{0, 0, 0}));
}

TEST(TiffReader, FourRgbSamplesWithoutExtraSamplesFieldGiveBgrx32) {
  const TTIFFGraphic picture = Load(Picture(1, 1, 2, {8, 8, 8, 8}, {10, 20, 30, 40}).Build());
  EXPECT_EQ(picture.Layout(), PixelLayout::Bgrx32);
  EXPECT_EQ(Row(picture, 0, 4), (Bytes{30, 20, 10, 40}));
}

TEST(TiffReader, OffsetsCountFromWhereTheFileStartsInTheStream) {
  Bytes bytes = {0xEE, 0xEE, 0xEE};
  const Bytes file = Picture(1, 1, 2, {8, 8, 8}, kRgbPixel, true).Build();
  bytes.insert(bytes.end(), file.begin(), file.end());
  TTIFFGraphic picture;
  TPictureStream stream(bytes);
  stream.Seek(3);
  picture.ReadPictureStream(stream);
  EXPECT_EQ(picture.PixelColor(0, 0), (Color{10, 20, 30}));
}

TEST(TiffReader, TifAndTiffFilesLoadThroughTheRegistry) {
  TFileFormatsList formats;
  RegisterPictureReaders(formats);
  const imagingtest::TempFolder folder;
  const Bytes file = Grey8(1, 1, {0x80}).Build();
  for (const char* name : {"a.tif", "b.TIFF"}) {
    TPicture picture(formats);
    picture.LoadPicture(folder.Write(name, file));
    ASSERT_NE(dynamic_cast<TTIFFGraphic*>(picture.Graphic()), nullptr) << name;
    EXPECT_EQ(picture.Width(), 1);
  }
}

}  // namespace
