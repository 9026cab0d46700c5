#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/Color.h"

// How the pixels of one raster row are stored.
enum class PixelLayout {
  Device,    // the display's own layout; here the same bytes as Bgrx32
  Indexed1,  // palette index, most significant bit = leftmost pixel
  Indexed4,  // palette index, high nibble = left pixel
  Indexed8,  // palette index
  Rgb15,     // little-endian word: red bits 14-10, green 9-5, blue 4-0; bit 15 ignored
  Rgb16,     // little-endian word: red 15-11, green 10-5, blue 4-0
  Bgr24,     // bytes blue, green, red
  Bgrx32,    // bytes blue, green, red and a fourth byte nobody reads
};

inline constexpr std::array<PixelLayout, 8> kAllPixelLayouts = {
    PixelLayout::Device, PixelLayout::Indexed1, PixelLayout::Indexed4, PixelLayout::Indexed8,
    PixelLayout::Rgb15,  PixelLayout::Rgb16,    PixelLayout::Bgr24,    PixelLayout::Bgrx32};

int BitsPerPixel(PixelLayout layout);
const char* PixelLayoutName(PixelLayout layout);
// Palette entries the layout addresses: 2, 16 or 256, and 0 for direct colour.
int PaletteCapacity(PixelLayout layout);
inline bool IsIndexed(PixelLayout layout) { return PaletteCapacity(layout) > 0; }
// Bytes in one row: bits per pixel times width, rounded up to whole 32-bit words.
std::uint64_t RowStride(PixelLayout layout, std::uint64_t width);

// A palette expanded to 256 entries of Bgrx bytes, missing entries black, so that any index
// found in a row can be looked up without a bounds check.
using PaletteTable = std::array<std::array<std::uint8_t, 4>, 256>;
PaletteTable MakePaletteTable(std::span<const Color> palette);

// The palette a raster gets when it turns indexed without a palette of its own: black and white
// for 1 bit, the 16 standard colours for 4 bits, a 6 x 6 x 6 colour cube and a grey ramp for 8.
std::vector<Color> StandardPalette(PixelLayout layout);

// One row of `width` pixels in `layout` written as Bgrx bytes (4 per pixel, fourth byte 0).
void ExpandRowToBgrx(PixelLayout layout, const std::uint8_t* source, std::size_t width,
                     const PaletteTable& palette, std::uint8_t* bgrx);

// Finds the nearest palette entry (smallest squared distance; the lowest index on a tie) for
// colours packed into the indexed layouts, remembering recent answers.
class NearestColorIndex {
 public:
  explicit NearestColorIndex(std::span<const Color> palette);
  std::uint8_t operator()(std::uint8_t blue, std::uint8_t green, std::uint8_t red);

 private:
  std::vector<Color> palette_;
  std::vector<std::uint32_t> cacheKey_;
  std::vector<std::uint8_t> cacheIndex_;
};

// One row of Bgrx bytes written in `layout`. Indexed layouts need `nearest`.
void PackRowFromBgrx(PixelLayout layout, const std::uint8_t* bgrx, std::size_t width,
                     NearestColorIndex* nearest, std::uint8_t* target);
