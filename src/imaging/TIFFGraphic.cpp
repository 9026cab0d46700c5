// Reading the first image of a TIFF file into a TTIFFGraphic.
//
// The stages follow the file: the header gives the byte order and the first directory, the
// directory's fields describe the image, the description picks one pixel layout with one row
// converter and at most one differencing routine, and the strips or tiles are then expanded
// one by one and their rows converted straight into the raster.

#include "imaging/TIFFGraphic.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/Decompressors.h"
#include "imaging/Limits.h"
#include "imaging/PictureStream.h"
#include "imaging/PixelConversion.h"

namespace {

constexpr char kInvalidFile[] = "Invalid TIFF file.";
constexpr char kUnknownCompression[] = "TIFF: Unknown compression scheme";

constexpr ByteOrder kNativeOrder =
    std::endian::native == std::endian::big ? ByteOrder::BigEndian : ByteOrder::LittleEndian;

enum Tag : std::uint16_t {
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kStripOffsets = 273,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kPlanarConfiguration = 284,
  kPredictor = 317,
  kColorMap = 320,
  kTileWidth = 322,
  kTileLength = 323,
  kTileOffsets = 324,
  kTileByteCounts = 325,
  kExtraSamples = 338,
  kSampleFormat = 339,
};

enum FieldType : std::uint16_t { kByte = 1, kShort = 3, kLong = 4, kSShort = 8, kSLong = 9 };

enum SampleFormat : std::uint32_t { kSignedInteger = 2, kFloatingPoint = 3 };

// Deflate has two numbers: 8, registered later, and 32946, which older writers used.
enum Compression : std::uint32_t { kNone = 1, kLzw = 5, kDeflate = 8, kPackBits = 32773, kOldDeflate = 32946 };

enum Photometric : std::uint32_t {
  kWhiteIsZero = 0,
  kBlackIsZero = 1,
  kRgb = 2,
  kPalette = 3,
  kSeparated = 5,
  kYCbCr = 6,
  kCieLab = 8,
};

constexpr std::uint32_t kHorizontalDifferencing = 2;
constexpr std::uint32_t kFloatingPointDifferencing = 3;
constexpr std::uint32_t kSeparatePlanes = 2;
constexpr std::uint32_t kLowBitFirst = 2;

// Uncompressed blocks are read this many bytes at a time (in whole rows): few reads, and a
// buffer that stays in the processor's cache while its rows are converted.
constexpr std::size_t kReadChunkBytes = 256 * 1024;

// The tiles of one row of tiles are expanded side by side into one buffer of at most this many
// bytes, then put into the raster row by row; wider rows of tiles go tile by tile.
constexpr std::uint64_t kTileRowBytes = 64 * 1024 * 1024;

[[noreturn]] void NotSupported(const std::string& what) {
  throw EInvalidGraphic("TIFF: " + what + " not supported");
}

template <class T>
void ToNative(T* values, std::size_t count, ByteOrder order) {
  if (order == kNativeOrder) return;
  if constexpr (sizeof(T) == 2) SwapWords(values, count);
  else SwapLongs(values, count);
}

// One 12-byte directory entry, its numbers in native order. The value field stays as the file
// has it: values that fit in it stand at its first byte, in the file's order.
struct Entry {
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 0;
  std::uint8_t value[4] = {};
};

unsigned TypeSize(std::uint16_t type) {
  switch (type) {
    case kByte: return 1;
    case kShort: case kSShort: return 2;
    case kLong: case kSLong: return 4;
    default: return 0;
  }
}

// The first image file directory and its field values.
class Directory {
 public:
  Directory(TPictureStream& stream, std::uint64_t base, ByteOrder order) : stream_(stream), base_(base), order_(order) {}

  void Read(std::uint32_t offset) {
    stream_.Seek(base_ + offset);
    std::uint16_t count;
    stream_.ReadExact({reinterpret_cast<std::uint8_t*>(&count), 2});
    ToNative(&count, 1, order_);
    if (stream_.Remaining() < std::uint64_t{count} * 12) throw EReadError();
    std::vector<std::uint8_t> raw(std::size_t{count} * 12);
    stream_.ReadExact(raw);
    entries_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      Entry& entry = entries_[i];
      const std::uint8_t* p = raw.data() + 12 * i;
      std::memcpy(&entry.tag, p, 2);
      std::memcpy(&entry.type, p + 2, 2);
      std::memcpy(&entry.count, p + 4, 4);
      std::memcpy(entry.value, p + 8, 4);
      ToNative(&entry.tag, 1, order_);
      ToNative(&entry.type, 1, order_);
      ToNative(&entry.count, 1, order_);
    }
  }

  // Binary search on the tag: entries are in ascending tag order, as the format requires; a
  // tag out of order may not be found and then counts as absent.
  const Entry* Find(std::uint16_t tag) const {
    std::size_t low = 0, high = entries_.size();
    while (low < high) {
      const std::size_t middle = low + (high - low) / 2;
      if (entries_[middle].tag < tag) low = middle + 1;
      else if (entries_[middle].tag > tag) high = middle;
      else return &entries_[middle];
    }
    return nullptr;
  }

  // A single value: `absent` without the tag; with one value, that value for the integer
  // types (`absent` for other types); with any other count, the raw value field.
  std::uint32_t Value(std::uint16_t tag, std::uint32_t absent) const {
    const Entry* entry = Find(tag);
    if (!entry) return absent;
    if (entry->count != 1) return Raw32(*entry);
    switch (entry->type) {
      case kByte: return entry->value[0];
      case kShort: case kSShort: {
        std::uint16_t value;
        std::memcpy(&value, entry->value, 2);
        ToNative(&value, 1, order_);
        return value;
      }
      case kLong: case kSLong: return Raw32(*entry);
      default: return absent;
    }
  }

  // The first `limit` values of an array field (all values when it has fewer), taken from the
  // value field when they fit in it, else from the file. Absent fields and fields of other types
  // give none. The whole array must lie in the file: its size is checked in 64 bits before
  // anything is allocated, and an array that runs past the end is a read error.
  std::vector<std::uint32_t> Values(std::uint16_t tag, std::uint64_t limit) const {
    const Entry* entry = Find(tag);
    const unsigned size = entry ? TypeSize(entry->type) : 0;
    if (size == 0) return {};
    const std::uint64_t bytes = std::uint64_t{entry->count} * size;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(entry->count, limit));
    std::span<const std::uint8_t> raw(entry->value, static_cast<std::size_t>(std::min<std::uint64_t>(bytes, 4)));
    if (bytes > 4) {
      const std::uint64_t at = base_ + Raw32(*entry);
      if (at > stream_.Size() || bytes > stream_.Size() - at) throw EReadError();
      stream_.Seek(at);
      raw = stream_.ReadView(count * size);
    }
    if (count == 0) return {};
    std::vector<std::uint32_t> values(count);
    switch (size) {
      case 1:
        std::copy_n(raw.data(), count, values.begin());
        break;
      case 2: {
        std::vector<std::uint16_t> words(count);
        std::memcpy(words.data(), raw.data(), 2 * count);
        ToNative(words.data(), count, order_);
        std::copy(words.begin(), words.end(), values.begin());
        break;
      }
      default:
        std::memcpy(values.data(), raw.data(), 4 * count);
        ToNative(values.data(), count, order_);
        break;
    }
    return values;
  }

  // How many values the field holds; 0 when it is absent.
  std::uint32_t Count(std::uint16_t tag) const {
    const Entry* entry = Find(tag);
    return entry ? entry->count : 0;
  }

  ByteOrder Order() const { return order_; }
  std::uint64_t Base() const { return base_; }
  TPictureStream& Stream() const { return stream_; }

 private:
  std::uint32_t Raw32(const Entry& entry) const {
    std::uint32_t value;
    std::memcpy(&value, entry.value, 4);
    ToNative(&value, 1, order_);
    return value;
  }

  TPictureStream& stream_;
  std::uint64_t base_;
  ByteOrder order_;
  std::vector<Entry> entries_;
};

// The header: the byte order ("MM" is big-endian, anything else little-endian), the version,
// which must be 42, and where the first directory lies.
Directory ReadHeader(TPictureStream& stream) {
  const std::uint64_t base = stream.Position();
  std::uint8_t header[8];
  stream.ReadExact(header);
  const ByteOrder order = header[0] == 'M' && header[1] == 'M' ? ByteOrder::BigEndian : ByteOrder::LittleEndian;
  std::uint16_t version;
  std::uint32_t firstDirectory;
  std::memcpy(&version, header + 2, 2);
  std::memcpy(&firstDirectory, header + 4, 4);
  ToNative(&version, 1, order);
  if (order != kNativeOrder) firstDirectory = SwapLong(firstDirectory);
  if (version != 42) throw Exception(kInvalidFile);
  Directory directory(stream, base, order);
  directory.Read(firstDirectory);
  return directory;
}

// What the fields say about the image, with the defaults of absent fields.
struct Image {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t compression = kNone;
  std::uint32_t photometric = kWhiteIsZero;
  std::uint32_t samplesPerPixel = 1;
  std::uint32_t bitsPerSample = 1;
  std::uint32_t extraSamples = 0;
  std::uint32_t predictor = 1;
};

Image ReadImage(const Directory& directory) {
  Image image;
  image.width = directory.Value(kImageWidth, 0);
  image.height = directory.Value(kImageLength, 0);
  if (image.width == 0 || image.height == 0) throw Exception(kInvalidFile);
  image.compression = directory.Value(kCompression, kNone);
  if (image.compression != kNone && image.compression != kLzw && image.compression != kPackBits &&
      image.compression != kDeflate && image.compression != kOldDeflate)
    throw Exception(kUnknownCompression);
  image.photometric = directory.Value(kPhotometric, kWhiteIsZero);
  image.samplesPerPixel = directory.Value(kSamplesPerPixel, 1);
  // Extra samples (alpha and the like) are counted by the field's values; what each value says
  // about its sample does not change where the colour samples are.
  image.extraSamples = directory.Count(kExtraSamples);
  image.predictor = directory.Value(kPredictor, 1);

  if (directory.Value(kPlanarConfiguration, 1) == kSeparatePlanes && image.samplesPerPixel > 1)
    NotSupported("images with separate sample planes (PlanarConfiguration 2) are");
  // Bytes whose bits run from the least significant one would turn into noise.
  if (directory.Value(kFillOrder, 1) == kLowBitFirst) NotSupported("reversed bit order (FillOrder 2) is");

  // One depth for every sample; a short list gives its first value to all.
  const std::vector<std::uint32_t> bits = directory.Values(kBitsPerSample, image.samplesPerPixel);
  if (!bits.empty()) image.bitsPerSample = bits[0];
  if (std::any_of(bits.begin(), bits.end(), [&](std::uint32_t b) { return b != image.bitsPerSample; }))
    NotSupported("samples of different sizes are");
  // Signed and floating-point samples would be read as unsigned integers: a wrong picture. The
  // a* and b* of CIE L*a*b* are signed whatever the field says.
  for (const std::uint32_t format : directory.Values(kSampleFormat, image.samplesPerPixel)) {
    if (format == kSignedInteger && image.photometric != kCieLab) NotSupported("signed integer samples are");
    if (format == kFloatingPoint) NotSupported("floating-point samples are");
  }

  CheckPictureSize(image.width, image.height);
  return image;
}

// The raster a picture becomes and how each row of samples gets there.
struct Format {
  PixelLayout layout = PixelLayout::Bgr24;
  RowConverter convert = nullptr;  // none: rows are copied as they are
  Differencing undoDifferencing = nullptr;
  // Both at once, for the commonest kind (8-bit RGB): rows are read once.
  void (*undoDifferencingAndConvert)(const std::uint8_t*, std::uint8_t*, std::size_t) = nullptr;
  std::vector<Color> palette;
};

std::string Depth(std::uint32_t bits) { return std::to_string(bits) + "-bit "; }

// Grey levels of a one-sample picture: entry i of a BlackIsZero picture is i steps of grey
// (255 for 1 bit, 16 for 4 bits, 1 for 8 bits), a WhiteIsZero picture runs the other way.
std::vector<Color> GreyPalette(unsigned bits, bool whiteIsZero) {
  const unsigned entries = 1u << bits;
  const unsigned step = bits == 1 ? 255 : 256 / entries;
  std::vector<Color> palette(entries);
  for (unsigned i = 0; i < entries; ++i) {
    const auto level = static_cast<std::uint8_t>(i * step);
    palette[whiteIsZero ? entries - 1 - i : i] = {level, level, level};
  }
  return palette;
}

// The colour map: all red values, then all green, then all blue, 16 bits each; an entry takes
// the most significant 8 bits of each. Entries the map does not hold are black.
std::vector<Color> ColorMapPalette(const Directory& directory, unsigned bits) {
  const std::size_t entries = std::size_t{1} << bits;
  const std::vector<std::uint32_t> map = directory.Values(kColorMap, 3 * entries);
  if (map.empty()) throw Exception(kInvalidFile);
  std::vector<Color> palette(entries);
  for (std::size_t i = 0; i + 2 * entries < map.size(); ++i)
    palette[i] = {static_cast<std::uint8_t>(map[i] >> 8 & 0xFF), static_cast<std::uint8_t>(map[entries + i] >> 8 & 0xFF),
                  static_cast<std::uint8_t>(map[2 * entries + i] >> 8 & 0xFF)};
  return palette;
}

template <ByteOrder Order>
Format ChooseFormat(const Image& image, const Directory& directory) {
  const std::uint32_t bits = image.bitsPerSample;
  const std::uint32_t colourSamples =
      image.extraSamples < image.samplesPerPixel ? image.samplesPerPixel - image.extraSamples : 0;
  const auto colourCount = [&](const char* kind) {
    NotSupported(std::string(kind) + " images with " + std::to_string(image.samplesPerPixel) +
                 " samples per pixel (" + std::to_string(image.extraSamples) + " of them extra) are");
  };
  Format format;
  switch (image.photometric) {
    case kWhiteIsZero:
    case kBlackIsZero:
    case kPalette: {
      const bool palette = image.photometric == kPalette;
      const char* kind = palette ? "palette" : "grey";
      if (colourSamples != 1 || image.extraSamples != 0) colourCount(kind);
      if (bits != 1 && bits != 4 && bits != 8 && (bits != 16 || palette)) NotSupported(Depth(bits) + kind + " images are");
      format.layout = bits == 1 ? PixelLayout::Indexed1 : bits == 4 ? PixelLayout::Indexed4 : PixelLayout::Indexed8;
      if (bits == 16) format.convert = ConvertGray16To8<Order>;
      format.palette = palette ? ColorMapPalette(directory, bits)
                               : GreyPalette(std::min(bits, 8u), image.photometric == kWhiteIsZero);
      break;
    }
    case kRgb:
      // Three colour samples, with at most one extra sample kept as alpha; four samples without
      // a description of the fourth are read the same way.
      if (!(colourSamples == 3 && image.extraSamples <= 1) && !(colourSamples == 4 && image.extraSamples == 0))
        colourCount("RGB");
      if (bits != 8 && bits != 16) NotSupported(Depth(bits) + "RGB images are");
      if (image.samplesPerPixel == 3) {
        format.layout = PixelLayout::Bgr24;
        format.convert = ConvertRgb<Order>;
      } else {
        format.layout = PixelLayout::Bgrx32;
        format.convert = ConvertRgba<Order>;
      }
      break;
    case kSeparated:
      if (colourSamples != 4 || image.extraSamples != 0) colourCount("CMYK");
      if (bits != 8 && bits != 16) NotSupported(Depth(bits) + "CMYK images are");
      format.convert = ConvertCmyk<Order>;
      break;
    case kCieLab:
      if (colourSamples != 3 || image.extraSamples != 0) colourCount("CIE L*a*b*");
      if (bits != 8) NotSupported(Depth(bits) + "CIE L*a*b* images are");
      format.convert = ConvertCieLab;
      break;
    case kYCbCr:
      NotSupported("YCbCr images are");
    default:
      NotSupported("photometric interpretation " + std::to_string(image.photometric) + " is");
  }

  // Differencing of floating-point bytes undone as integers would turn into noise.
  if (image.predictor == kFloatingPointDifferencing) NotSupported("floating-point differencing (Predictor 3) is");
  if (image.predictor == kHorizontalDifferencing) {
    // The samples per pixel are 1, 3 or 4 here.
    if (bits == 8 && image.samplesPerPixel == 3 && format.convert == ConvertRgb<Order>) {
      format.undoDifferencingAndConvert = UndoDifferencingRgbToBgr;
    } else if (bits == 8) {
      format.undoDifferencing = image.samplesPerPixel == 3   ? UndoDifferencing3
                                : image.samplesPerPixel == 4 ? UndoDifferencing4
                                                             : UndoDifferencing1;
    } else if (bits == 16) {
      format.undoDifferencing = image.samplesPerPixel == 3   ? UndoDifferencing16<Order, 3>
                                : image.samplesPerPixel == 4 ? UndoDifferencing16<Order, 4>
                                                             : UndoDifferencing16<Order, 1>;
    } else {
      NotSupported("horizontal differencing of " + Depth(bits) + "samples is");
    }
  }
  return format;
}

// The most bytes `packed` compressed bytes can expand to. LZW codes are at least 9 bits; after
// a clear code the first string is one byte and each further one at most one byte longer than
// the longest before it, and never longer than the 4096-entry table. A PackBits pair of
// bytes gives at most 128. Deflate gives at most 258 bytes for every two bits of a match.
std::uint64_t MostUnpackedBytes(std::uint32_t compression, std::uint64_t packed) {
  if (compression == kPackBits) return 64 * packed;
  if (compression == kDeflate || compression == kOldDeflate) return 1032 * packed + 258;
  const std::uint64_t codes = packed * 8 / 9;
  return std::min(codes * (codes + 1) / 2, codes * 4096);
}

std::unique_ptr<TDecoder> MakeDecoder(std::uint32_t compression) {
  switch (compression) {
    case kLzw: return std::make_unique<TTIFFLZW>();
    case kPackBits: return std::make_unique<TPackbitsRLE>();
    case kDeflate: case kOldDeflate: return std::make_unique<TTIFFDeflate>();
    default: return nullptr;
  }
}

// Where the samples lie: in strips of whole rows, one after the other from the top, or in
// tiles of a fixed size, row by row from the top left, those at the right and bottom edges
// running past the picture. Every block's data starts a new row of samples.
struct Blocks {
  bool tiled = false;
  std::uint32_t width = 0;   // pixels in one row of a block's data
  std::uint32_t length = 0;  // rows in a tile
  std::uint32_t across = 1;  // tiles in a row of tiles
  std::vector<std::uint32_t> offsets;
  std::vector<std::uint32_t> byteCounts;  // compressed blocks only
  std::vector<std::uint32_t> rowsPerStrip;
  std::size_t count = 0;  // blocks that are read
};

// Byte counts matter for compressed blocks only; where there are fewer of them than offsets,
// the blocks without one are not read.
void ReadBlockTables(const Directory& directory, const Image& image, std::uint16_t offsetsTag,
                     std::uint16_t byteCountsTag, std::uint64_t most, Blocks& blocks) {
  blocks.offsets = directory.Values(offsetsTag, most);
  if (blocks.offsets.empty()) throw Exception(kInvalidFile);
  blocks.count = blocks.offsets.size();
  if (image.compression != kNone) {
    blocks.byteCounts = directory.Values(byteCountsTag, most);
    if (blocks.byteCounts.empty()) throw Exception(kInvalidFile);
    blocks.count = std::min(blocks.count, blocks.byteCounts.size());
  }
}

Blocks ReadBlocks(const Directory& directory, const Image& image) {
  Blocks blocks;
  blocks.tiled = directory.Find(kTileWidth) || directory.Find(kTileOffsets);
  if (!blocks.tiled) {
    // Each strip holds one row at least, so no more strips than rows are ever read. A file of
    // one strip holds the whole picture whatever RowsPerStrip says.
    blocks.width = image.width;
    ReadBlockTables(directory, image, kStripOffsets, kStripByteCounts, image.height, blocks);
    blocks.rowsPerStrip = directory.Values(kRowsPerStrip, image.height);
    if (blocks.rowsPerStrip.empty() || blocks.offsets.size() == 1) blocks.rowsPerStrip = {image.height};
    return blocks;
  }
  blocks.width = directory.Value(kTileWidth, 0);
  blocks.length = directory.Value(kTileLength, 0);
  if (blocks.width == 0 || blocks.length == 0) throw Exception(kInvalidFile);
  // Rows of 1- and 4-bit samples start on a whole byte, in the raster as in each tile.
  const std::uint64_t bitsPerPixel = std::uint64_t{image.bitsPerSample} * image.samplesPerPixel;
  if (bitsPerPixel < 8 && blocks.width * bitsPerPixel % 8 != 0)
    NotSupported("tiles " + std::to_string(blocks.width) + " pixels wide in " + Depth(image.bitsPerSample) +
                 "images are");
  blocks.across = (image.width - 1) / blocks.width + 1;
  const std::uint64_t tiles = std::uint64_t{blocks.across} * ((image.height - 1) / blocks.length + 1);
  // A file of tiny tiles needs tables as large as the picture.
  CheckDecoderMemory(tiles * 2 * sizeof(std::uint32_t), image.width, image.height);
  ReadBlockTables(directory, image, kTileOffsets, kTileByteCounts, tiles, blocks);
  return blocks;
}

// Expands blocks of samples into `bitmap`, whose rows are zero, and keeps the buffers all
// blocks share: one for rows of uncompressed data or a whole expanded block, sized for the
// largest block and allocated at most once for it.
class BlockReader {
 public:
  BlockReader(const Directory& directory, const Image& image, const Format& format, const Blocks& blocks,
              TBitmap& bitmap)
      : stream_(directory.Stream()),
        base_(directory.Base()),
        image_(image),
        format_(format),
        bitmap_(bitmap),
        decoder_(MakeDecoder(image.compression)),
        blockWidth_(blocks.width),
        bitsPerPixel_(image.bitsPerSample * image.samplesPerPixel),
        // The format allows at most 4 samples of 16 bits: no overflow.
        rowBytes_((std::uint64_t{blocks.width} * bitsPerPixel_ + 7) / 8),
        targetBits_(static_cast<unsigned>(BitsPerPixel(format.layout))) {}

  // One block whose top left pixel is (x, y) in the picture and of which `rows` rows lie in
  // it. Only the part of each row that lies in the picture is read and converted, so an edge
  // tile of absurd size costs no more than its part of the picture. Rows the data does not
  // reach stay zero.
  void Read(std::uint32_t offset, std::uint32_t byteCount, std::uint32_t x, std::uint32_t y, std::uint32_t rows) {
    const std::uint32_t visible = std::min(blockWidth_, image_.width - x);
    const std::size_t visibleBytes = (std::size_t{visible} * bitsPerPixel_ + 7) / 8;
    const std::uint64_t start = base_ + offset;
    stream_.Seek(start);
    if (!decoder_) {
      if (visibleBytes < rowBytes_ && rowBytes_ > kReadChunkBytes) {
        // A tile past the right edge whose rows are wider than the chunks: the part of each row
        // in the picture, one at a time.
        std::uint8_t* row = Reserve(visibleBytes);
        for (std::uint32_t r = 0; r < rows; ++r) {
          stream_.Seek(start + r * rowBytes_);
          const std::size_t got = stream_.Read({row, visibleBytes});
          if (got == 0) break;
          std::memset(row + got, 0, visibleBytes - got);
          PutRow(row, x, y + r, visible);
        }
        return;
      }
      const std::uint64_t chunkRows = std::clamp<std::uint64_t>(kReadChunkBytes / rowBytes_, 1, rows);
      std::uint8_t* chunk = Reserve(chunkRows * rowBytes_);
      for (std::uint32_t r = 0; r < rows;) {
        const std::size_t wanted = std::min<std::uint64_t>(chunkRows, rows - r) * rowBytes_;
        const std::size_t got = stream_.Read({chunk, wanted});
        // A row the data reaches only in part is completed with zeros.
        const std::size_t reached = (got + rowBytes_ - 1) / rowBytes_;
        std::memset(chunk + got, 0, reached * rowBytes_ - got);
        for (std::size_t k = 0; k < reached; ++k, ++r) PutRow(chunk + k * rowBytes_, x, y + r, visible);
        if (got < wanted) break;
      }
      return;
    }
    const std::uint32_t decodedRows = Expand(byteCount, rows, visibleBytes, nullptr);
    for (std::uint32_t r = 0; r < decodedRows; ++r) PutRow(buffer_.get() + r * rowBytes_, x, y + r, visible);
  }

  // The tiles `first` to `last` (excluded) of one row of tiles, whose top is picture row y and
  // of which `rows` rows lie in the picture. Each is expanded whole into its own part of one
  // buffer; the rows are then put picture row by picture row, each from left to right, as with
  // strips: the raster is written in long runs, not in a short piece of every row for each tile.
  // False, having read nothing, when the tiles are too large for that.
  bool ReadTileRow(const Blocks& blocks, std::size_t first, std::size_t last, std::uint32_t y, std::uint32_t rows) {
    const std::uint64_t tileBytes = std::uint64_t{rows} * rowBytes_;
    if (tileBytes * (last - first) > kTileRowBytes || rowBytes_ > kReadChunkBytes) return false;
    std::uint8_t* const band = Reserve(tileBytes * (last - first));
    reached_.resize(last - first);
    for (std::size_t t = first; t < last; ++t) {
      const std::uint32_t x = static_cast<std::uint32_t>(t - first) * blockWidth_;
      const std::size_t visibleBytes = (std::size_t{std::min(blockWidth_, image_.width - x)} * bitsPerPixel_ + 7) / 8;
      std::uint8_t* const tile = band + (t - first) * tileBytes;
      stream_.Seek(base_ + blocks.offsets[t]);
      if (decoder_) {
        reached_[t - first] = Expand(blocks.byteCounts[t], rows, visibleBytes, tile);
      } else {
        const std::size_t got = stream_.Read({tile, static_cast<std::size_t>(tileBytes)});
        // A row the data reaches only in part is completed with zeros.
        const std::size_t reached = (got + rowBytes_ - 1) / rowBytes_;
        std::memset(tile + got, 0, reached * rowBytes_ - got);
        reached_[t - first] = static_cast<std::uint32_t>(reached);
      }
    }
    for (std::uint32_t r = 0; r < rows; ++r)
      for (std::size_t t = first; t < last; ++t) {
        if (r >= reached_[t - first]) continue;
        const std::uint32_t x = static_cast<std::uint32_t>(t - first) * blockWidth_;
        PutRow(band + (t - first) * tileBytes + r * rowBytes_, x, y + r, std::min(blockWidth_, image_.width - x));
      }
    return true;
  }

 private:
  // Expands the compressed block at the stream's position into `block`, which has room for
  // `rows` rows. Rows beyond what the data could possibly expand to are not decoded: a small
  // file that claims huge blocks costs neither the memory nor the time. The last row decoded
  // ends where its part in the picture ends. Returns the rows decoded; what the data does not
  // reach in them, the decompressor makes zero.
  std::uint32_t Expand(std::uint32_t byteCount, std::uint32_t rows, std::size_t visibleBytes, std::uint8_t* block) {
    const std::span<const std::uint8_t> data = stream_.ReadView(byteCount);
    const std::uint64_t reachable = (MostUnpackedBytes(image_.compression, data.size()) + rowBytes_ - 1) / rowBytes_;
    const auto decodedRows = static_cast<std::uint32_t>(std::min<std::uint64_t>(rows, reachable));
    if (decodedRows == 0) return 0;
    const std::uint64_t size = (decodedRows - 1) * rowBytes_ + visibleBytes;
    if (!block) block = Reserve(size);
    const std::uint8_t* source = data.data();
    decoder_->Decode(source, block, data.size(), static_cast<std::size_t>(size));
    return decodedRows;
  }

  std::uint8_t* Reserve(std::uint64_t size) {
    if (size > capacity_) {
      CheckDecoderMemory(size, image_.width, image_.height);
      buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(size));
      capacity_ = size;
    }
    return buffer_.get();
  }

  // Undoes differencing on the row's first `visible` pixels, the only ones in the picture, and
  // converts them into it from pixel (x, y).
  void PutRow(std::uint8_t* samples, std::uint32_t x, std::uint32_t y, std::uint32_t visible) {
    std::uint8_t* target = bitmap_.ScanLine(static_cast<int>(y)).data() + std::size_t{x} * targetBits_ / 8;
    if (format_.undoDifferencingAndConvert) return format_.undoDifferencingAndConvert(samples, target, visible);
    if (format_.undoDifferencing) format_.undoDifferencing(samples, visible - 1);
    if (format_.convert)
      format_.convert(samples, target, image_.bitsPerSample, std::size_t{visible} * image_.samplesPerPixel);
    else
      std::memcpy(target, samples, (std::size_t{visible} * bitsPerPixel_ + 7) / 8);
  }

  TPictureStream& stream_;
  const std::uint64_t base_;
  const Image& image_;
  const Format& format_;
  TBitmap& bitmap_;
  const std::unique_ptr<TDecoder> decoder_;
  const std::uint32_t blockWidth_;
  const std::uint32_t bitsPerPixel_;
  const std::uint64_t rowBytes_;
  const unsigned targetBits_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::uint64_t capacity_ = 0;
  std::vector<std::uint32_t> reached_;  // rows expanded, per tile of a row of tiles
};

// Strips hold rows per strip rows (entry s of the field, or its last entry), between 1 and the
// rows left, one row counter running across all strips. Tiles are cut to the picture.
void ReadBlocks(const Directory& directory, const Image& image, const Format& format, TBitmap& bitmap) {
  const Blocks blocks = ReadBlocks(directory, image);
  BlockReader reader(directory, image, format, blocks, bitmap);
  const auto byteCount = [&](std::size_t b) { return blocks.byteCounts.empty() ? 0 : blocks.byteCounts[b]; };
  if (blocks.tiled) {
    for (std::size_t first = 0; first < blocks.count; first += blocks.across) {
      const std::size_t last = std::min<std::size_t>(first + blocks.across, blocks.count);
      const auto y = static_cast<std::uint32_t>(first / blocks.across * std::uint64_t{blocks.length});
      const auto rows = std::min(blocks.length, image.height - y);
      if (reader.ReadTileRow(blocks, first, last, y, rows)) continue;
      for (std::size_t t = first; t < last; ++t) {
        const std::uint64_t x = (t - first) * std::uint64_t{blocks.width};
        reader.Read(blocks.offsets[t], byteCount(t), static_cast<std::uint32_t>(x), y, rows);
      }
    }
    return;
  }
  std::uint32_t row = 0;
  for (std::size_t s = 0; s < blocks.count && row < image.height; ++s) {
    const std::uint32_t declared = blocks.rowsPerStrip[std::min(s, blocks.rowsPerStrip.size() - 1)];
    const std::uint32_t rows = std::clamp<std::uint32_t>(declared, 1, image.height - row);
    reader.Read(blocks.offsets[s], byteCount(s), 0, row, rows);
    row += rows;
  }
}

}  // namespace

const TGraphicClass& TTIFFGraphic::Class() {
  static const TGraphicClass kind = TGraphicClass::Of<TTIFFGraphic>("TTIFFGraphic", TBitmap::Class());
  return kind;
}

void TTIFFGraphic::ReadPictureStream(TPictureStream& stream) {
  const Directory directory = ReadHeader(stream);
  const Image image = ReadImage(directory);
  const Format format = directory.Order() == ByteOrder::BigEndian ? ChooseFormat<ByteOrder::BigEndian>(image, directory)
                                                                  : ChooseFormat<ByteOrder::LittleEndian>(image, directory);

  TBitmap result;
  result.SetPixelLayout(format.layout);
  result.SetPalette(format.palette);
  result.SetSize(static_cast<int>(image.width), static_cast<int>(image.height));
  ReadBlocks(directory, image, format, result);
  SwapRaster(result);
}
