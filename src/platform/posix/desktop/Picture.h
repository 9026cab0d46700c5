#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::posix {

// A picture as three bytes (red, green, blue) per pixel, rows top to bottom, no padding.
struct RgbPicture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> pixels;

  const std::uint8_t* pixel(std::uint32_t x, std::uint32_t y) const {
    return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 3;
  }
};

// Reads the uncompressed Windows bitmaps the program writes: 1, 4 or 8 bits with a palette,
// 16 bits (5-5-5 or bit fields), 24 bits, 32 bits (with or without bit fields), bottom-up or
// top-down. Every size is checked against the bytes present before anything is read or
// allocated; anything else (compressed, truncated, absurd sizes) gives nothing and `error`
// says why.
std::optional<RgbPicture> readBitmap(std::span<const std::uint8_t> file, std::string& error);

// The whole file as read from disk, then readBitmap; `error` also covers a file that cannot be
// read.
std::optional<RgbPicture> loadBitmap(const std::string& path, std::string& error);

// An 8-bit RGB PNG of the picture, deflated at a fast level; std::system_error when zlib has no
// memory to work with.
std::string encodePng(const RgbPicture& picture);

}  // namespace platform::posix
