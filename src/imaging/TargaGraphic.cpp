// Reading Truevision Targa files into a raster of the file's own pixel layout.
//
// Every header field is untrusted: the size is checked against the size limit before any
// allocation, uncompressed data is checked against the file's length before the raster is
// made, only the pixel depths with a layout are read, the palette holds at most 256 entries
// (indices beyond it read black), and run-length packets are clipped to the picture.

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "imaging/Limits.h"
#include "imaging/PictureStream.h"
#include "imaging/TargaGraphic.h"

namespace {

constexpr char kInvalidImage[] = "Targa: invalid image";

constexpr std::uint8_t kRightToLeftFlag = 0x10;
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
  bool rightToLeft;
  bool topDown;

  bool Grey() const { return imageType == 3 || imageType == 11; }
  bool Uncompressed() const { return imageType >= 1 && imageType <= 3; }
  bool RunLength() const { return imageType >= 9 && imageType <= 11; }
};

Header ReadHeader(TPictureStream& stream) {
  std::array<std::uint8_t, 18> b;
  stream.ReadExact(b);
  return {b[0], b[1], b[2], U16(&b[5]), b[7], U16(&b[12]), U16(&b[14]), b[16],
          (b[17] & kRightToLeftFlag) != 0, (b[17] & kTopDownFlag) != 0};
}

// The raster layout of a picture, and the bytes of one pixel in the file and in the raster;
// none for depths the raster cannot hold. Grey pictures of 16 bits carry an alpha byte after
// each grey byte, which is dropped.
struct PixelFormat {
  PixelLayout layout;
  std::size_t fileBytes;
  std::size_t rasterBytes;
};

std::optional<PixelFormat> FormatOf(const Header& header) {
  switch (header.pixelDepth) {
    case 8: return PixelFormat{PixelLayout::Indexed8, 1, 1};
    case 15: return PixelFormat{PixelLayout::Rgb15, 2, 2};
    case 16: return header.Grey() ? PixelFormat{PixelLayout::Indexed8, 2, 1} : PixelFormat{PixelLayout::Rgb15, 2, 2};
    case 24: return PixelFormat{PixelLayout::Bgr24, 3, 3};
    case 32: return PixelFormat{PixelLayout::Bgrx32, 4, 4};
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

// Run-length pixels read packet by packet through the whole picture: a packet that runs past
// the end of a row goes on in the next one, as writers of the format's first version emit
// them. Packets are clipped to the rows asked for and end with the data.
class RunLengthPixels {
 public:
  RunLengthPixels(std::span<const std::uint8_t> packed, std::size_t pixelBytes)
      : packed_(packed), pixelBytes_(pixelBytes) {}

  // Fills `row` (a whole number of pixels) as far as the data goes.
  void Row(std::span<std::uint8_t> row) {
    std::size_t out = 0;
    while (row.size() - out >= pixelBytes_) {
      if (left_ == 0 && !StartPacket()) return;
      const std::size_t n = std::min(left_, (row.size() - out) / pixelBytes_);
      if (repeated_) {
        for (std::size_t i = 0; i < n; ++i) std::memcpy(row.data() + out + i * pixelBytes_, repeated_, pixelBytes_);
      } else {
        const std::size_t there = std::min(n, (packed_.size() - in_) / pixelBytes_);
        std::memcpy(row.data() + out, packed_.data() + in_, there * pixelBytes_);
        if (there < n) {
          in_ = packed_.size();
          left_ = 0;
          return;
        }
        in_ += n * pixelBytes_;
      }
      out += n * pixelBytes_;
      left_ -= n;
    }
  }

  // Packed bytes used so far.
  std::size_t Consumed() const { return in_; }
  // No pixel left to give: the rows that follow stay black.
  bool Exhausted() const { return left_ == 0 && in_ >= packed_.size(); }

 private:
  // Reads a packet's header byte (top bit set: one pixel repeated, else literal pixels; low
  // 7 bits + 1 pixels) and, for a repeat, its pixel. False at the end of the data.
  bool StartPacket() {
    if (in_ >= packed_.size()) return false;
    const unsigned header = packed_[in_++];
    repeated_ = nullptr;
    if (header & 0x80) {
      if (packed_.size() - in_ < pixelBytes_) {
        in_ = packed_.size();
        return false;
      }
      repeated_ = packed_.data() + in_;
      in_ += pixelBytes_;
    }
    left_ = (header & 0x7F) + 1;
    return true;
  }

  std::span<const std::uint8_t> packed_;
  std::size_t pixelBytes_;
  std::size_t in_ = 0;
  std::size_t left_ = 0;  // pixels of the current packet not yet written
  const std::uint8_t* repeated_ = nullptr;
};

// Grey-and-alpha pixels to their grey bytes.
void KeepGrey(std::span<const std::uint8_t> stored, std::span<std::uint8_t> row) {
  for (std::size_t x = 0; x < stored.size() / 2; ++x) row[x] = stored[2 * x];
}

// Pixels of `bytes` bytes in reverse order, for rows stored right to left.
void Mirror(std::span<std::uint8_t> row, std::size_t bytes) {
  const std::size_t pixels = row.size() / bytes;
  for (std::size_t left = 0, right = pixels; left + 1 < right; ++left, --right)
    std::swap_ranges(row.data() + left * bytes, row.data() + (left + 1) * bytes, row.data() + (right - 1) * bytes);
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
  const std::optional<PixelFormat> format = FormatOf(header);
  if (format) result.SetPixelLayout(format->layout);
  if (const auto palette = ReadPalette(stream, header)) result.SetPalette(*palette);

  CheckPictureSize(header.width, header.height);
  const std::uint64_t rowBytes = format ? std::uint64_t{header.width} * format->fileBytes : 0;
  const bool uncompressed = format && header.Uncompressed();
  if (uncompressed && stream.Remaining() < rowBytes * header.height) throw Exception(kInvalidImage);
  result.SetSize(header.width, header.height);

  const int height = result.Height();
  if (format && (uncompressed || header.RunLength()) && height > 0) {
    // Rows go straight into the raster, or through `stored` when the file's pixels are wider.
    const bool wider = format->fileBytes != format->rasterBytes;
    std::vector<std::uint8_t> stored(wider ? static_cast<std::size_t>(rowBytes) : 0);
    const std::uint64_t start = stream.Position();
    const std::span<const std::uint8_t> packed =
        uncompressed ? std::span<const std::uint8_t>() : stream.ReadView(stream.Remaining());
    RunLengthPixels runs(packed, format->fileBytes);
    for (int k = 0; k < height && (uncompressed || !runs.Exhausted()); ++k) {
      const std::span<std::uint8_t> target =
          result.ScanLine(header.topDown ? k : height - 1 - k).first(std::size_t{header.width} * format->rasterBytes);
      const std::span<std::uint8_t> row = stored.empty() ? target : std::span<std::uint8_t>(stored);
      if (uncompressed) {
        if (stream.Read(row) != rowBytes) throw Exception(kInvalidImage);
      } else {
        if (!stored.empty()) std::fill(row.begin(), row.end(), 0);
        runs.Row(row);
      }
      if (!stored.empty()) KeepGrey(stored, target);
      if (header.rightToLeft) Mirror(target, format->rasterBytes);
    }
    if (!uncompressed) stream.Seek(start + runs.Consumed());
  }
  SwapRaster(result);
  identification_ = std::move(identification);
}
