#include "platform/posix/desktop/Picture.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <system_error>

#include "platform/posix/AtomicFile.h"

namespace platform::posix {

namespace {

// The bitmap is one the program wrote from a picture within its own size limits; these bound
// what a damaged file can make us allocate.
constexpr std::uint64_t kMaxSide = 65535;
constexpr std::uint64_t kMaxPixels = 16384ull * 16384ull;

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kCompressionNone = 0;
constexpr std::uint32_t kCompressionBitFields = 3;

std::uint16_t u16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t u32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// One colour channel of a bit-field pixel, widened or narrowed to 8 bits.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit Channel(std::uint32_t m) : mask(m) {
    if (mask == 0) return;
    shift = std::countr_zero(mask);
    bits = std::bit_width(mask >> shift);
  }

  std::uint8_t operator()(std::uint32_t value) const {
    if (bits == 0) return 0;
    const std::uint32_t raw = (value & mask) >> shift;
    if (bits >= 8) return static_cast<std::uint8_t>(raw >> (bits - 8));
    return static_cast<std::uint8_t>(raw * 255 / ((1u << bits) - 1));
  }
};

struct Layout {
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: rows top to bottom
  unsigned bits = 0;
  std::uint32_t compression = kCompressionNone;
  std::array<std::uint32_t, 3> masks{};
  std::array<std::array<std::uint8_t, 3>, 256> palette{};  // red, green, blue; black by default
};

// Fills `layout` from the headers; false with `error` set when they make no sense.
bool readHeaders(std::span<const std::uint8_t> file, Layout& layout, std::string& error) {
  if (file.size() < kFileHeaderBytes + 4 || file[0] != 'B' || file[1] != 'M') {
    error = "not a Windows bitmap";
    return false;
  }
  const std::uint32_t headerBytes = u32(file, kFileHeaderBytes);
  const std::uint64_t headerEnd = kFileHeaderBytes + static_cast<std::uint64_t>(headerBytes);
  if ((headerBytes != kCoreHeaderBytes && headerBytes < kInfoHeaderBytes) || headerEnd > file.size()) {
    error = "damaged bitmap header";
    return false;
  }
  std::size_t paletteAt = static_cast<std::size_t>(headerEnd);
  std::size_t entryBytes = 4;
  std::uint64_t coloursUsed = 0;
  if (headerBytes == kCoreHeaderBytes) {
    layout.width = u16(file, 18);
    layout.height = u16(file, 20);
    layout.bits = u16(file, 24);
    entryBytes = 3;
  } else {
    layout.width = static_cast<std::int32_t>(u32(file, 18));
    layout.height = static_cast<std::int32_t>(u32(file, 22));
    layout.bits = u16(file, 28);
    layout.compression = u32(file, 30);
    coloursUsed = u32(file, 46);
    if (layout.compression == kCompressionBitFields) {
      // The masks sit inside the longer headers, or just after the basic one.
      const std::size_t masksAt = kFileHeaderBytes + kInfoHeaderBytes;
      if (headerBytes == kInfoHeaderBytes) paletteAt += 12;
      if (masksAt + 12 > file.size()) {
        error = "damaged bitmap header";
        return false;
      }
      layout.masks = {u32(file, masksAt), u32(file, masksAt + 4), u32(file, masksAt + 8)};
    }
  }
  const std::uint64_t width = static_cast<std::uint64_t>(layout.width);
  const std::uint64_t height =
      static_cast<std::uint64_t>(layout.height < 0 ? -layout.height : layout.height);
  if (layout.width <= 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
      width * height > kMaxPixels) {
    error = "impossible bitmap size " + std::to_string(layout.width) + " x " +
            std::to_string(layout.height);
    return false;
  }
  const bool known =
      (layout.compression == kCompressionNone &&
       (layout.bits == 1 || layout.bits == 4 || layout.bits == 8 || layout.bits == 16 ||
        layout.bits == 24 || layout.bits == 32)) ||
      (layout.compression == kCompressionBitFields && (layout.bits == 16 || layout.bits == 32));
  if (!known) {
    error = "unsupported bitmap format (" + std::to_string(layout.bits) + " bits, compression " +
            std::to_string(layout.compression) + ")";
    return false;
  }
  if (layout.compression == kCompressionNone && layout.bits == 16)
    layout.masks = {0x7C00, 0x03E0, 0x001F};
  if (layout.compression == kCompressionNone && layout.bits == 32)
    layout.masks = {0xFF0000, 0x00FF00, 0x0000FF};
  if (layout.bits <= 8) {
    const std::uint64_t full = 1u << layout.bits;
    std::uint64_t count = coloursUsed == 0 ? full : std::min(coloursUsed, full);
    const std::uint64_t paletteEnd = std::min<std::uint64_t>(file.size(), u32(file, 10));
    const std::uint64_t present = paletteEnd > paletteAt ? (paletteEnd - paletteAt) / entryBytes : 0;
    count = std::min(count, present);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = paletteAt + i * entryBytes;
      layout.palette[i] = {file[at + 2], file[at + 1], file[at]};
    }
  }
  return true;
}

void convertRow(const Layout& layout, const std::uint8_t* source, std::uint8_t* target) {
  const std::size_t width = static_cast<std::size_t>(layout.width);
  if (layout.bits <= 8) {
    const unsigned perByte = 8 / layout.bits;
    const unsigned valueMask = (1u << layout.bits) - 1;
    for (std::size_t x = 0; x < width; ++x) {
      const unsigned shift = 8 - layout.bits * (1 + static_cast<unsigned>(x % perByte));
      const auto& colour = layout.palette[(source[x / perByte] >> shift) & valueMask];
      std::copy(colour.begin(), colour.end(), target + x * 3);
    }
    return;
  }
  if (layout.bits == 24) {
    for (std::size_t x = 0; x < width; ++x) {
      target[x * 3] = source[x * 3 + 2];
      target[x * 3 + 1] = source[x * 3 + 1];
      target[x * 3 + 2] = source[x * 3];
    }
    return;
  }
  const Channel red(layout.masks[0]), green(layout.masks[1]), blue(layout.masks[2]);
  const std::size_t bytes = layout.bits / 8;
  for (std::size_t x = 0; x < width; ++x) {
    const std::uint8_t* at = source + x * bytes;
    const std::uint32_t value =
        bytes == 2 ? static_cast<std::uint32_t>(at[0] | at[1] << 8)
                   : static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
                         static_cast<std::uint32_t>(at[2]) << 16 |
                         static_cast<std::uint32_t>(at[3]) << 24;
    target[x * 3] = red(value);
    target[x * 3 + 1] = green(value);
    target[x * 3 + 2] = blue(value);
  }
}

void appendU32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

void appendChunk(std::string& out, const char type[4], const std::string& data) {
  appendU32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.append(type, 4);
  out += data;
  const auto* crcStart = reinterpret_cast<const Bytef*>(out.data() + typeAt);
  appendU32(out, static_cast<std::uint32_t>(
                     crc32(crc32(0, nullptr, 0), crcStart, static_cast<uInt>(data.size() + 4))));
}

// zlib stream of the rows, each with the "Sub" filter: cheap, and it shrinks photographs well.
std::string deflateRows(const RgbPicture& picture) {
  z_stream stream{};
  // Only a lack of memory stops zlib here; a copy it could not finish is never handed out.
  const auto noMemory = [] {
    return std::system_error(std::make_error_code(std::errc::not_enough_memory),
                             "cannot compress the picture");
  };
  if (deflateInit(&stream, Z_BEST_SPEED) != Z_OK) throw noMemory();
  const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 3;
  std::vector<std::uint8_t> row(rowBytes + 1);
  std::string out;
  std::array<std::uint8_t, 65536> buffer;
  auto pump = [&](int flush) {
    do {
      stream.next_out = buffer.data();
      stream.avail_out = static_cast<uInt>(buffer.size());
      if (deflate(&stream, flush) == Z_STREAM_ERROR) {
        deflateEnd(&stream);
        throw noMemory();
      }
      out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - stream.avail_out);
    } while (stream.avail_out == 0);
  };
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    const std::uint8_t* source = picture.pixel(0, y);
    row[0] = 1;
    for (std::size_t i = 0; i < rowBytes; ++i)
      row[i + 1] = static_cast<std::uint8_t>(source[i] - (i >= 3 ? source[i - 3] : 0));
    stream.next_in = row.data();
    stream.avail_in = static_cast<uInt>(row.size());
    pump(y + 1 == picture.height ? Z_FINISH : Z_NO_FLUSH);
  }
  deflateEnd(&stream);
  return out;
}

}  // namespace

std::optional<RgbPicture> readBitmap(std::span<const std::uint8_t> file, std::string& error) {
  Layout layout;
  if (!readHeaders(file, layout, error)) return std::nullopt;
  const std::uint64_t width = static_cast<std::uint64_t>(layout.width);
  const std::uint64_t height =
      static_cast<std::uint64_t>(layout.height < 0 ? -layout.height : layout.height);
  const std::uint64_t rowBytes = (width * layout.bits + 31) / 32 * 4;
  const std::uint64_t dataAt = u32(file, 10);
  if (dataAt > file.size() || rowBytes * height > file.size() - dataAt) {
    error = "truncated bitmap";
    return std::nullopt;
  }
  RgbPicture picture;
  picture.width = static_cast<std::uint32_t>(width);
  picture.height = static_cast<std::uint32_t>(height);
  picture.pixels.resize(width * height * 3);
  for (std::uint64_t k = 0; k < height; ++k) {
    const std::uint64_t y = layout.height < 0 ? k : height - 1 - k;
    convertRow(layout, file.data() + dataAt + k * rowBytes,
               picture.pixels.data() + y * width * 3);
  }
  return picture;
}

std::optional<RgbPicture> loadBitmap(const std::string& path, std::string& error) {
  std::optional<std::string> content;
  try {
    content = readWholeFile(path);
  } catch (const std::system_error& failure) {
    error = failure.what();
    return std::nullopt;
  }
  if (!content) {
    error = "no such file";
    return std::nullopt;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(content->data());
  return readBitmap(std::span(bytes, content->size()), error);
}

std::string encodePng(const RgbPicture& picture) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  appendU32(header, picture.width);
  appendU32(header, picture.height);
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, standard filters, no interlace
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", deflateRows(picture));
  appendChunk(png, "IEND", {});
  return png;
}

}  // namespace platform::posix
