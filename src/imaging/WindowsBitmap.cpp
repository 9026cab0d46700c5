// Reading Windows bitmaps (BMP, DIB, RLE) into a TBitmap.
//
// Every header field is untrusted: sizes are checked in 64 bits before anything is allocated,
// colour tables are cut to what the bit depth addresses and the file holds, pixel data is read
// only as far as the file goes (rows beyond it stay black), and run-length data is clipped to
// the raster, a move outside the picture ending the decoding.

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "imaging/Bitmap.h"
#include "imaging/Limits.h"
#include "imaging/PictureStream.h"

namespace {

constexpr char kBadBitmap[] = "Image bitmap incorrecte";

[[noreturn]] void Bad() { throw EInvalidGraphic(kBadBitmap); }

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

enum Compression : std::uint32_t {
  kRgb = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitFields = 3,
  kAlphaBitFields = 6,
};

std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// What the headers say, after the checks that need no pixel data.
struct Header {
  bool core = false;
  std::int64_t width = 0;
  std::int64_t height = 0;  // rows; the file stores them bottom-up unless topDown
  bool topDown = false;
  unsigned bitCount = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t imageSize = 0;
  std::uint32_t colorsUsed = 0;
  std::array<std::uint32_t, 3> masks{};  // red, green, blue
};

Header ReadHeaders(TPictureStream& stream) {
  Header header;
  const std::uint32_t headerSize = stream.ReadU32LE();
  header.core = headerSize == kCoreHeaderSize;
  // Width, height, planes and bit count are the least any header variant carries.
  if (headerSize < 16 && !header.core) Bad();
  if (stream.Remaining() < headerSize - 4) Bad();
  // The fields of the longest header we read, zero where the file's header is shorter.
  std::array<std::uint8_t, 124> fields{};
  const std::uint64_t known = std::min<std::uint64_t>(headerSize - 4, fields.size() - 4);
  stream.ReadExact({fields.data() + 4, static_cast<std::size_t>(known)});
  stream.Skip(headerSize - 4 - known);

  unsigned planes;
  if (header.core) {
    header.width = U16(&fields[4]);
    header.height = U16(&fields[6]);
    planes = U16(&fields[8]);
    header.bitCount = U16(&fields[10]);
  } else {
    header.width = static_cast<std::int32_t>(U32(&fields[4]));
    const std::int64_t height = static_cast<std::int32_t>(U32(&fields[8]));
    header.topDown = height < 0;
    header.height = height < 0 ? -height : height;
    planes = U16(&fields[12]);
    header.bitCount = U16(&fields[14]);
    header.compression = U32(&fields[16]);
    header.imageSize = U32(&fields[20]);
    header.colorsUsed = U32(&fields[32]);
  }
  if (planes != 1) Bad();

  switch (header.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: Bad();
  }
  switch (header.compression) {
    case kRgb:
      if (header.bitCount == 16) header.masks = {0x7C00, 0x03E0, 0x001F};
      if (header.bitCount == 32) header.masks = {0xFF0000, 0x00FF00, 0x0000FF};
      break;
    case kRle8:
      if (header.bitCount != 8 || header.topDown) Bad();
      break;
    case kRle4:
      if (header.bitCount != 4 || header.topDown) Bad();
      break;
    case kBitFields:
    case kAlphaBitFields:
      if (header.bitCount != 16 && header.bitCount != 32) Bad();
      if (headerSize >= 52) {
        header.masks = {U32(&fields[40]), U32(&fields[44]), U32(&fields[48])};
      } else {
        // The masks follow a short header; the alpha mask of the four-mask form is not used.
        for (auto& mask : header.masks) mask = stream.ReadU32LE();
        if (header.compression == kAlphaBitFields) stream.ReadU32LE();
      }
      break;
    default:
      Bad();
  }
  if (header.width <= 0 || header.height <= 0) Bad();
  CheckPictureSize(static_cast<std::uint64_t>(header.width), static_cast<std::uint64_t>(header.height));
  return header;
}

// One colour channel described by a bit mask: where it sits and how wide it is. A zero mask
// is an absent channel, read as 0; a mask wider than 8 bits is scaled down.
struct Channel {
  unsigned shift = 0;
  std::uint32_t max = 0;

  explicit Channel(std::uint32_t mask) {
    if (mask == 0) return;
    shift = static_cast<unsigned>(std::countr_zero(mask));
    max = mask >> shift;
  }
  std::uint8_t Value(std::uint32_t pixel) const {
    if (max == 0) return 0;
    const std::uint64_t v = (pixel >> shift) & max;
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
  }
};

// Pixel data in the file's own layout, row by row straight into the raster, as far as the
// file and `imageSize` go. Bit-field pixels whose masks match no layout are unpacked into
// Bgrx32.
void ReadUncompressed(const Header& header, TPictureStream& stream, std::uint64_t imageSize, TBitmap& bitmap) {
  const auto height = static_cast<int>(header.height);
  const std::size_t fileRowBytes =
      static_cast<std::size_t>((static_cast<std::uint64_t>(header.width) * header.bitCount + 31) / 32 * 4);
  const bool unpack = bitmap.Layout() == PixelLayout::Bgrx32 &&
                      !(header.bitCount == 32 && header.masks == std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF});
  const Channel red(header.masks[0]), green(header.masks[1]), blue(header.masks[2]);
  const std::size_t bytesPerPixel = header.bitCount / 8;
  std::vector<std::uint8_t> fileRow(unpack ? fileRowBytes : 0);
  std::uint64_t left = std::min(imageSize, stream.Remaining());
  for (int k = 0; k < height && left > 0; ++k) {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(fileRowBytes, left));
    std::uint8_t* target = bitmap.ScanLine(header.topDown ? k : height - 1 - k).data();
    const std::size_t got = stream.Read({unpack ? fileRow.data() : target, wanted});
    left = got < wanted ? 0 : left - got;
    if (!unpack) continue;
    const std::uint8_t* source = fileRow.data();
    const std::size_t pixels = std::min<std::size_t>(got / bytesPerPixel, static_cast<std::size_t>(header.width));
    for (std::size_t x = 0; x < pixels; ++x, source += bytesPerPixel, target += 4) {
      const std::uint32_t pixel = bytesPerPixel == 2 ? U16(source) : U32(source);
      target[0] = blue.Value(pixel);
      target[1] = green.Value(pixel);
      target[2] = red.Value(pixel);
    }
  }
}

// Run-length data (RLE8 or RLE4) expanded through the palette into a Device raster. Rows are
// counted from the bottom. Pixels the data never reaches stay black.
void ReadRunLength(const Header& header, std::span<const std::uint8_t> data, const PaletteTable& palette,
                   TBitmap& bitmap) {
  const bool rle4 = header.compression == kRle4;
  const std::int64_t width = header.width, height = header.height;
  std::int64_t x = 0, y = 0;
  std::uint8_t* row = bitmap.ScanLine(static_cast<int>(height - 1)).data();
  const auto put = [&](unsigned index) {
    if (x < width) std::memcpy(row + 4 * x, palette[index].data(), 4);
    ++x;
  };
  const auto nextRow = [&](std::int64_t rows) {
    y += rows;
    if (y < height) row = bitmap.ScanLine(static_cast<int>(height - 1 - y)).data();
  };

  std::size_t p = 0;
  const std::size_t end = data.size();
  while (end - p >= 2 && y < height) {
    const unsigned count = data[p], value = data[p + 1];
    p += 2;
    if (count > 0) {
      // An encoded run: one index (RLE8) or two alternating indices (RLE4), clipped at the
      // row's end.
      if (!rle4) {
        const std::int64_t n = std::min<std::int64_t>(count, std::max<std::int64_t>(width - x, 0));
        for (std::int64_t i = 0; i < n; ++i) std::memcpy(row + 4 * (x + i), palette[value].data(), 4);
        x += count;
      } else {
        for (unsigned i = 0; i < count; ++i) put((i & 1) ? value & 0x0F : value >> 4);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        nextRow(1);
        break;
      case 1:  // end of bitmap
        return;
      case 2: {  // delta: move right and up
        if (end - p < 2) return;
        x += data[p];
        const unsigned dy = data[p + 1];
        p += 2;
        if (x > width) return;
        nextRow(dy);
        break;
      }
      default: {  // literal run of `value` indices, padded to a 16-bit boundary
        const std::size_t bytes = rle4 ? (value + 1) / 2 : value;
        const std::size_t available = std::min(bytes, end - p);
        for (unsigned i = 0; i < value; ++i) {
          const std::size_t at = rle4 ? i / 2 : i;
          if (at >= available) return;
          const unsigned byte = data[p + at];
          put(rle4 ? ((i & 1) ? byte & 0x0F : byte >> 4) : byte);
        }
        p += std::min(bytes + (bytes & 1), end - p);
        break;
      }
    }
  }
}

}  // namespace

void TBitmap::ReadPictureStream(TPictureStream& stream) {
  const std::uint64_t start = stream.Position();
  if (stream.Remaining() == 0) {
    TBitmap empty;
    empty.layout_ = layout_;
    SwapRaster(empty);
    return;
  }
  try {
    const auto fileHeader = stream.ReadView(14);
    if (fileHeader.size() != 14 || fileHeader[0] != 'B' || fileHeader[1] != 'M') Bad();
    const std::uint64_t dataOffset = start + U32(&fileHeader[10]);
    const Header header = ReadHeaders(stream);

    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(header.width) * header.bitCount + 31) / 32 * 4;
    const std::uint64_t imageSize = header.imageSize != 0 ? header.imageSize : rowBytes * static_cast<std::uint64_t>(header.height);

    // Colour table: what the header declares, cut to what the depth addresses, to 256, to the
    // bytes before the pixel data and to the bytes in the file.
    const std::uint64_t entrySize = header.core ? 3 : 4;
    const std::uint64_t tableStart = stream.Position();
    const std::uint64_t fullTable = header.bitCount <= 8 ? 1u << header.bitCount : 0;
    const std::uint64_t declared = header.core || header.colorsUsed == 0 ? fullTable : header.colorsUsed;
    const std::uint64_t declaredEnd = tableStart + declared * entrySize;
    // An offset inside the colours the picture uses either ends a short table (OS/2 files may
    // hold fewer colours than the depth addresses, and only the offset says so) or is a
    // writer's mistake (some put the table's own start there). When the file holds the whole
    // table and the whole pixel data after it, the offset is the mistake and is ignored.
    const bool insideTable = dataOffset < tableStart + std::min(declared, fullTable) * entrySize;
    const bool wholeTableFits = declaredEnd <= stream.Size() && stream.Size() - declaredEnd >= imageSize;
    const bool offsetUsable =
        dataOffset >= tableStart && dataOffset <= stream.Size() && !(insideTable && wholeTableFits);
    std::uint64_t tableBytes = std::min(declared * entrySize, stream.Remaining());
    if (offsetUsable) tableBytes = std::min(tableBytes, dataOffset - tableStart);
    const std::uint64_t entries = std::min(fullTable, tableBytes / entrySize);
    std::vector<Color> palette(static_cast<std::size_t>(entries));
    const auto table = stream.ReadView(entries * entrySize);
    for (std::size_t i = 0; i < palette.size(); ++i) {
      const std::uint8_t* entry = table.data() + i * entrySize;
      palette[i] = {entry[2], entry[1], entry[0]};
    }

    // Pixel data: from the file header's offset when it is usable, else right after the
    // declared colour table.
    stream.Seek(offsetUsable ? dataOffset : declaredEnd);

    TBitmap result;
    const bool runLength = header.compression == kRle8 || header.compression == kRle4;
    if (runLength) {
      result.SetPixelLayout(PixelLayout::Device);
    } else if (header.bitCount <= 8) {
      result.SetPixelLayout(header.bitCount == 1 ? PixelLayout::Indexed1
                            : header.bitCount == 4 ? PixelLayout::Indexed4 : PixelLayout::Indexed8);
      result.SetPalette(palette);
    } else if (header.bitCount == 16 && header.masks == std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}) {
      result.SetPixelLayout(PixelLayout::Rgb15);
    } else if (header.bitCount == 16 && header.masks == std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F}) {
      result.SetPixelLayout(PixelLayout::Rgb16);
    } else if (header.bitCount == 24) {
      result.SetPixelLayout(PixelLayout::Bgr24);
    } else {
      result.SetPixelLayout(PixelLayout::Bgrx32);
    }
    result.SetSize(static_cast<int>(header.width), static_cast<int>(header.height));
    if (runLength) ReadRunLength(header, stream.ReadView(imageSize), MakePaletteTable(palette), result);
    else ReadUncompressed(header, stream, imageSize, result);
    SwapRaster(result);
  } catch (const EReadError&) {
    Bad();
  }
}
