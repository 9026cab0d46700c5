// Reading the first image of a GIF file into an Indexed8 raster.
//
// Every field is untrusted: the image's size is checked against the size limit before any
// allocation, the joined image data is never larger than what the file holds, and the pixels
// start zero-filled, so that data ending early leaves index 0, never old memory.

#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/Decompressors.h"
#include "imaging/GIFGraphic.h"
#include "imaging/Limits.h"
#include "imaging/PictureStream.h"

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;

constexpr std::uint8_t kColorTableFlag = 0x80;
constexpr std::uint8_t kInterlacedFlag = 0x40;

// Interlaced images store every eighth row from row 0, then every eighth from row 4, every
// fourth from row 2 and every second from row 1.
constexpr std::array<int, 4> kInterlaceFirstRow = {0, 4, 2, 1};
constexpr std::array<int, 4> kInterlaceRowStep = {8, 8, 4, 2};

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// A colour table of 2^(bits + 1) entries of red, green, blue.
std::vector<Color> ReadColorTable(TPictureStream& stream, unsigned packed) {
  const std::size_t entries = std::size_t{2} << (packed & 7);
  std::vector<std::uint8_t> rgb(3 * entries);
  stream.ReadExact(rgb);
  std::vector<Color> table(entries);
  for (std::size_t i = 0; i < entries; ++i) table[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
  return table;
}

void SkipSubBlocks(TPictureStream& stream) {
  while (const std::uint8_t length = stream.ReadU8()) stream.Skip(length);
}

// The image data's sub-blocks joined in one buffer, read in one pass (a file is then read
// straight on, without seeking). A file that ends inside the data ends it; the buffer only
// grows by the bytes really read, so it is never larger than what the file holds.
std::vector<std::uint8_t> JoinSubBlocks(TPictureStream& stream) {
  std::vector<std::uint8_t> joined;
  while (stream.Remaining() > 0) {
    const std::uint8_t length = stream.ReadU8();
    if (length == 0) break;
    const std::size_t filled = joined.size();
    joined.resize(filled + length);
    joined.resize(filled + stream.Read({joined.data() + filled, length}));
  }
  return joined;
}

}  // namespace

void TGIFGraphic::ReadPictureStream(TPictureStream& stream) {
  TBitmap result;
  result.SetPixelLayout(PixelLayout::Indexed8);

  std::array<std::uint8_t, 6> header;
  stream.ReadExact(header);
  for (int i = 0; i < 3; ++i)
    if (std::toupper(header[i]) != "GIF"[i]) throw Exception("Not a valid GIF file.");

  std::array<std::uint8_t, 7> screen;
  stream.ReadExact(screen);
  if (screen[4] & kColorTableFlag) result.SetPalette(ReadColorTable(stream, screen[4]));

  for (;;) {
    const std::uint8_t introducer = stream.ReadU8();
    if (introducer == kImageSeparator) break;
    if (introducer == kTrailer) {
      SwapRaster(result);
      return;
    }
    if (introducer == kExtensionIntroducer) {
      stream.ReadU8();  // label
      SkipSubBlocks(stream);
    }
  }

  std::array<std::uint8_t, 9> descriptor;
  stream.ReadExact(descriptor);
  const int width = U16(&descriptor[4]) ? U16(&descriptor[4]) : U16(&screen[0]);
  const int height = U16(&descriptor[6]) ? U16(&descriptor[6]) : U16(&screen[2]);
  const bool interlaced = descriptor[8] & kInterlacedFlag;
  if (descriptor[8] & kColorTableFlag) result.SetPalette(ReadColorTable(stream, descriptor[8]));
  const std::uint8_t codeSize = stream.ReadU8();

  result.SetSize(width, height);
  const std::vector<std::uint8_t> joined = JoinSubBlocks(stream);
  if (result.Empty()) {
    SwapRaster(result);
    return;
  }

  // Rows of the raster lie one after the other; when they have no padding and come in order,
  // the data is decoded straight into them.
  const auto w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
  const bool direct = !interlaced && result.Stride() == w;
  // Otherwise into a zero-filled buffer; calloc hands large blocks over as untouched zero
  // pages, so a big frame with little data costs little.
  const std::unique_ptr<std::uint8_t, decltype(&std::free)> buffer(
      direct ? nullptr : static_cast<std::uint8_t*>(std::calloc(w * h, 1)), &std::free);
  if (!direct && !buffer) throw std::bad_alloc();
  std::uint8_t* pixels = direct ? result.ScanLine(0).data() : buffer.get();
  TGIFLZW decoder;
  decoder.SetInitialCodeSize(codeSize);
  const std::uint8_t* packed = joined.data();
  decoder.Decode(packed, pixels, joined.size(), w * h);

  if (!direct) {
    const std::uint8_t* row = buffer.get();
    if (!interlaced) {
      for (int y = 0; y < height; ++y, row += w) std::memcpy(result.ScanLine(y).data(), row, w);
    } else {
      for (std::size_t pass = 0; pass < kInterlaceFirstRow.size(); ++pass)
        for (int y = kInterlaceFirstRow[pass]; y < height; y += kInterlaceRowStep[pass], row += w)
          std::memcpy(result.ScanLine(y).data(), row, w);
    }
  }
  SwapRaster(result);
}

const TGraphicClass& TGIFGraphic::Class() {
  static const TGraphicClass kind = TGraphicClass::Of<TGIFGraphic>("TGIFGraphic", TBitmap::Class());
  return kind;
}
