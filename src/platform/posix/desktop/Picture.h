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

// An 8-bit RGB PNG of the picture, deflated at a fast level.
std::string encodePng(const RgbPicture& picture);

// The picture published for desktops under two names used in turn, Verrelune-a.png and
// Verrelune-b.png beside the bitmap: a desktop that ignores a setting whose value did not
// change, or caches pictures by path, sees a new name every time, while the copy it shows now
// stays on disk. Each copy is written under a temporary name and renamed into place.
class AlternatingCopies {
 public:
  // Writes the next copy of the bitmap and returns its path; nothing when the bitmap cannot be
  // read or the copy cannot be written (`error` says why).
  std::optional<std::string> publish(const std::string& bmpPath, std::string& error);

 private:
  // Which name the last copy took, once known; at the first publication the newer of the two
  // files on disk is taken as the one shown.
  std::optional<bool> lastWasA_;
};

}  // namespace platform::posix
