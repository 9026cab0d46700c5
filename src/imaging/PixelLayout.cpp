#include "imaging/PixelLayout.h"

#include <cstring>

int BitsPerPixel(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Indexed1: return 1;
    case PixelLayout::Indexed4: return 4;
    case PixelLayout::Indexed8: return 8;
    case PixelLayout::Rgb15:
    case PixelLayout::Rgb16: return 16;
    case PixelLayout::Bgr24: return 24;
    case PixelLayout::Device:
    case PixelLayout::Bgrx32: return 32;
  }
  return 32;
}

const char* PixelLayoutName(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Device: return "Device";
    case PixelLayout::Indexed1: return "Indexed1";
    case PixelLayout::Indexed4: return "Indexed4";
    case PixelLayout::Indexed8: return "Indexed8";
    case PixelLayout::Rgb15: return "Rgb15";
    case PixelLayout::Rgb16: return "Rgb16";
    case PixelLayout::Bgr24: return "Bgr24";
    case PixelLayout::Bgrx32: return "Bgrx32";
  }
  return "?";
}

int PaletteCapacity(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Indexed1: return 2;
    case PixelLayout::Indexed4: return 16;
    case PixelLayout::Indexed8: return 256;
    default: return 0;
  }
}

std::uint64_t RowStride(PixelLayout layout, std::uint64_t width) {
  return (width * static_cast<std::uint64_t>(BitsPerPixel(layout)) + 31) / 32 * 4;
}

PaletteTable MakePaletteTable(std::span<const Color> palette) {
  PaletteTable table{};
  const std::size_t count = std::min<std::size_t>(palette.size(), table.size());
  for (std::size_t i = 0; i < count; ++i)
    table[i] = {palette[i].blue, palette[i].green, palette[i].red, 0};
  return table;
}

std::vector<Color> StandardPalette(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Indexed1:
      return {{0, 0, 0}, {255, 255, 255}};
    case PixelLayout::Indexed4:
      return {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
              {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
              {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
              {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    case PixelLayout::Indexed8: {
      std::vector<Color> palette;
      palette.reserve(256);
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b)
            palette.push_back({std::uint8_t(r * 51), std::uint8_t(g * 51), std::uint8_t(b * 51)});
      // Forty grey levels between black and white, finer than the cube's six.
      for (int k = 1; k <= 40; ++k) {
        const auto level = static_cast<std::uint8_t>(k * 255 / 41);
        palette.push_back({level, level, level});
      }
      return palette;
    }
    default:
      return {};
  }
}

namespace {

// A 5-bit or 6-bit channel widened to 8 bits by repeating its top bits, so that full
// intensity stays full (31 -> 255, 63 -> 255).
inline std::uint8_t Widen5(unsigned v) { return static_cast<std::uint8_t>(v << 3 | v >> 2); }
inline std::uint8_t Widen6(unsigned v) { return static_cast<std::uint8_t>(v << 2 | v >> 4); }

}  // namespace

void ExpandRowToBgrx(PixelLayout layout, const std::uint8_t* source, std::size_t width,
                     const PaletteTable& palette, std::uint8_t* bgrx) {
  switch (layout) {
    case PixelLayout::Indexed1:
      for (std::size_t x = 0; x < width; ++x) {
        const unsigned index = source[x >> 3] >> (7 - (x & 7)) & 1;
        std::memcpy(bgrx + 4 * x, palette[index].data(), 4);
      }
      break;
    case PixelLayout::Indexed4:
      for (std::size_t x = 0; x < width; ++x) {
        const unsigned index = (x & 1) ? source[x >> 1] & 0x0F : source[x >> 1] >> 4;
        std::memcpy(bgrx + 4 * x, palette[index].data(), 4);
      }
      break;
    case PixelLayout::Indexed8:
      for (std::size_t x = 0; x < width; ++x) std::memcpy(bgrx + 4 * x, palette[source[x]].data(), 4);
      break;
    case PixelLayout::Rgb15:
      for (std::size_t x = 0; x < width; ++x) {
        const unsigned w = source[2 * x] | source[2 * x + 1] << 8;
        bgrx[4 * x] = Widen5(w & 31);
        bgrx[4 * x + 1] = Widen5(w >> 5 & 31);
        bgrx[4 * x + 2] = Widen5(w >> 10 & 31);
        bgrx[4 * x + 3] = 0;
      }
      break;
    case PixelLayout::Rgb16:
      for (std::size_t x = 0; x < width; ++x) {
        const unsigned w = source[2 * x] | source[2 * x + 1] << 8;
        bgrx[4 * x] = Widen5(w & 31);
        bgrx[4 * x + 1] = Widen6(w >> 5 & 63);
        bgrx[4 * x + 2] = Widen5(w >> 11 & 31);
        bgrx[4 * x + 3] = 0;
      }
      break;
    case PixelLayout::Bgr24:
      for (std::size_t x = 0; x < width; ++x) {
        bgrx[4 * x] = source[3 * x];
        bgrx[4 * x + 1] = source[3 * x + 1];
        bgrx[4 * x + 2] = source[3 * x + 2];
        bgrx[4 * x + 3] = 0;
      }
      break;
    case PixelLayout::Device:
    case PixelLayout::Bgrx32:
      for (std::size_t x = 0; x < width; ++x) {
        std::memcpy(bgrx + 4 * x, source + 4 * x, 3);
        bgrx[4 * x + 3] = 0;
      }
      break;
  }
}

NearestColorIndex::NearestColorIndex(std::span<const Color> palette)
    : palette_(palette.begin(), palette.end()), cacheKey_(4096, 0xFFFFFFFFu), cacheIndex_(4096, 0) {
  if (palette_.size() > 256) palette_.resize(256);
}

std::uint8_t NearestColorIndex::operator()(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  const std::uint32_t key = std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
  const std::size_t slot = (key ^ key >> 12) & 4095;
  if (cacheKey_[slot] == key) return cacheIndex_[slot];
  std::uint8_t best = 0;
  int bestDistance = 0x7FFFFFFF;
  for (std::size_t i = 0; i < palette_.size(); ++i) {
    const int dr = palette_[i].red - red, dg = palette_[i].green - green, db = palette_[i].blue - blue;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<std::uint8_t>(i);
      if (distance == 0) break;
    }
  }
  cacheKey_[slot] = key;
  cacheIndex_[slot] = best;
  return best;
}

void PackRowFromBgrx(PixelLayout layout, const std::uint8_t* bgrx, std::size_t width,
                     NearestColorIndex* nearest, std::uint8_t* target) {
  switch (layout) {
    case PixelLayout::Indexed1:
      std::memset(target, 0, (width + 7) / 8);
      for (std::size_t x = 0; x < width; ++x) {
        const unsigned index = (*nearest)(bgrx[4 * x], bgrx[4 * x + 1], bgrx[4 * x + 2]) & 1;
        target[x >> 3] = static_cast<std::uint8_t>(target[x >> 3] | index << (7 - (x & 7)));
      }
      break;
    case PixelLayout::Indexed4:
      std::memset(target, 0, (width + 1) / 2);
      for (std::size_t x = 0; x < width; ++x) {
        const unsigned index = (*nearest)(bgrx[4 * x], bgrx[4 * x + 1], bgrx[4 * x + 2]) & 15;
        target[x >> 1] = static_cast<std::uint8_t>(target[x >> 1] | ((x & 1) ? index : index << 4));
      }
      break;
    case PixelLayout::Indexed8:
      for (std::size_t x = 0; x < width; ++x) target[x] = (*nearest)(bgrx[4 * x], bgrx[4 * x + 1], bgrx[4 * x + 2]);
      break;
    case PixelLayout::Rgb15:
      for (std::size_t x = 0; x < width; ++x) {
        const unsigned w = (bgrx[4 * x + 2] >> 3) << 10 | (bgrx[4 * x + 1] >> 3) << 5 | bgrx[4 * x] >> 3;
        target[2 * x] = static_cast<std::uint8_t>(w);
        target[2 * x + 1] = static_cast<std::uint8_t>(w >> 8);
      }
      break;
    case PixelLayout::Rgb16:
      for (std::size_t x = 0; x < width; ++x) {
        const unsigned w = (bgrx[4 * x + 2] >> 3) << 11 | (bgrx[4 * x + 1] >> 2) << 5 | bgrx[4 * x] >> 3;
        target[2 * x] = static_cast<std::uint8_t>(w);
        target[2 * x + 1] = static_cast<std::uint8_t>(w >> 8);
      }
      break;
    case PixelLayout::Bgr24:
      for (std::size_t x = 0; x < width; ++x) std::memcpy(target + 3 * x, bgrx + 4 * x, 3);
      break;
    case PixelLayout::Device:
    case PixelLayout::Bgrx32:
      std::memcpy(target, bgrx, 4 * width);
      break;
  }
}
