// Reading Truevision Targa files into a raster of the file's own pixel layout.
//
// Every header field is untrusted: the size is checked against the size limit before any
// allocation, uncompressed data is checked against the file's length before the raster is
// made, only the five pixel depths with a layout are read, the palette holds at most 256
// entries (indices beyond it read black), and run-length packets are cut at the row's end.

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "imaging/Decompressors.h"
#include "imaging/Limits.h"
#include "imaging/PictureStream.h"
#include "imaging/TargaGraphic.h"

namespace {

constexpr char kInvalidImage[] = "Targa: invalid image";

constexpr std::uint8_t kTopDownFlag = 0x20;
constexpr std::size_t kMaxPaletteEntries = 256;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

struct Header {
  std::uint8_t idLength;
  std::uint8_t colorMapType;
  std::uint8_t imageType;
  std::uint16_t colorMapLength;
  std::uint8_t colorMapEntryBits;
  std::uint16_t width;
  std::uint16_t height;
  std::uint8_t pixelDepth;
  bool topDown;

  bool Grey() const { return imageType == 3 || imageType == 11; }
  bool Uncompressed() const { return imageType >= 1 && imageType <= 3; }
  bool RunLength() const { return imageType >= 9 && imageType <= 11; }
};

Header ReadHeader(TPictureStream& stream) {
  std::array<std::uint8_t, 18> b;
  stream.ReadExact(b);
  return {b[0], b[1], b[2], U16(&b[5]), b[7], U16(&b[12]), U16(&b[14]), b[16], (b[17] & kTopDownFlag) != 0};
}

// The layout and bytes per pixel of a depth; none for depths the raster cannot hold as they are.
struct PixelFormat {
  PixelLayout layout;
  std::size_t bytes;
};

std::optional<PixelFormat> FormatOf(unsigned depth) {
  switch (depth) {
    case 8: return PixelFormat{PixelLayout::Indexed8, 1};
    case 15: case 16: return PixelFormat{PixelLayout::Rgb15, 2};
    case 24: return PixelFormat{PixelLayout::Bgr24, 3};
    case 32: return PixelFormat{PixelLayout::Bgrx32, 4};
    default: return std::nullopt;
  }
}

// One colour-map entry of 15, 16, 24 or 32 bits; 5-bit channels are scaled by 8.
Color MapEntry(const std::uint8_t* p, unsigned bits) {
  if (bits == 24 || bits == 32) return {p[2], p[1], p[0]};
  const unsigned w = U16(p);
  return {static_cast<std::uint8_t>((w & 0x7C00) >> 7), static_cast<std::uint8_t>((w & 0x3E0) >> 2),
          static_cast<std::uint8_t>((w & 0x1F) << 3)};
}

// The palette of the picture, or none when the file has neither a colour map nor grey pixels.
// The colour map's bytes are always passed, so that the pixels are read from where they
// start: entries beyond 256, the map of a grey picture, and maps of entry sizes that have no
// colour meaning are skipped.
std::optional<std::vector<Color>> ReadPalette(TPictureStream& stream, const Header& header) {
  const std::uint64_t entryBytes = (header.colorMapEntryBits + 7u) / 8;
  const std::uint64_t mapBytes = header.colorMapType == 1 ? header.colorMapLength * entryBytes : 0;
  if (header.Grey()) {
    std::vector<Color> grey(kMaxPaletteEntries);
    for (std::size_t i = 0; i < grey.size(); ++i) {
      const auto level = static_cast<std::uint8_t>(i);
      grey[i] = {level, level, level};
    }
    stream.Skip(mapBytes);
    return grey;
  }
  if (header.colorMapType != 1) return std::nullopt;
  const unsigned bits = header.colorMapEntryBits;
  const bool known = bits == 15 || bits == 16 || bits == 24 || bits == 32;
  const std::size_t entries = known ? std::min<std::size_t>(header.colorMapLength, kMaxPaletteEntries) : 0;
  std::vector<std::uint8_t> bytes(entries * entryBytes);
  stream.ReadExact(bytes);
  stream.Skip(mapBytes - bytes.size());
  std::vector<Color> palette(entries);
  for (std::size_t i = 0; i < entries; ++i) palette[i] = MapEntry(&bytes[i * entryBytes], bits);
  return palette;
}

}  // namespace

const TGraphicClass& TTargaGraphic::Class() {
  static const TGraphicClass kind = TGraphicClass::Of<TTargaGraphic>("TTargaGraphic", TBitmap::Class());
  return kind;
}

void TTargaGraphic::ReadPictureStream(TPictureStream& stream) {
  const Header header = ReadHeader(stream);
  std::string identification(header.idLength, '\0');
  stream.ReadExact({reinterpret_cast<std::uint8_t*>(identification.data()), identification.size()});

  TBitmap result;
  const std::optional<PixelFormat> format = FormatOf(header.pixelDepth);
  if (format) result.SetPixelLayout(format->layout);
  if (const auto palette = ReadPalette(stream, header)) result.SetPalette(*palette);

  CheckPictureSize(header.width, header.height);
  const std::uint64_t rowBytes = format ? std::uint64_t{header.width} * format->bytes : 0;
  const bool uncompressed = format && header.Uncompressed();
  if (uncompressed && stream.Remaining() < rowBytes * header.height) throw Exception(kInvalidImage);
  result.SetSize(header.width, header.height);

  const int height = result.Height();
  const auto rowFor = [&](int stored) { return result.ScanLine(header.topDown ? stored : height - 1 - stored); };
  if (uncompressed) {
    for (int k = 0; k < height; ++k) {
      if (stream.Read(rowFor(k).first(static_cast<std::size_t>(rowBytes))) != rowBytes)
        throw Exception(kInvalidImage);
    }
  } else if (format && header.RunLength() && height > 0) {
    // Packets may run from one row into the next in the file; each row starts at the packet
    // after the last one the previous row used.
    const std::uint64_t start = stream.Position();
    const std::span<const std::uint8_t> packed = stream.ReadView(stream.Remaining());
    std::size_t used = 0;
    for (int k = 0; k < height && used < packed.size(); ++k)
      used += DecodeTargaRLE(packed.subspan(used), rowFor(k).first(static_cast<std::size_t>(rowBytes)),
                             header.pixelDepth);
    stream.Seek(start + used);
  }
  SwapRaster(result);
  identification_ = std::move(identification);
}
