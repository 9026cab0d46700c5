#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "imaging/Color.h"

// The drawing surface: a Bgrx32 raster, rows top to bottom, 4 bytes per pixel with no padding
// (so a toolkit image can wrap Bits() without copying). New pixels are black.
class Canvas {
 public:
  Canvas() = default;
  // Raises EPictureTooLarge beyond the picture size limit.
  Canvas(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  std::size_t Stride() const { return static_cast<std::size_t>(width_) * 4; }
  std::uint8_t* Bits() { return pixels_.data(); }
  const std::uint8_t* Bits() const { return pixels_.data(); }
  std::span<std::uint8_t> ScanLine(int row);
  std::span<const std::uint8_t> ScanLine(int row) const;

  Color Pixel(int x, int y) const;
  void SetPixel(int x, int y, Color color);

  // Fills the part of `rect` that lies on the canvas.
  void FillRect(const Rect& rect, Color color);

  // Supplies source row `row` as Bgrx bytes (4 per pixel) into the buffer it is given.
  using RowSource = std::function<void(int row, std::uint8_t* bgrx)>;

  // Draws a sourceWidth x sourceHeight picture into `dest`, nearest neighbour: the pixel at
  // (left + i, top + j) takes source pixel (floor(i * sourceWidth / destWidth),
  // floor(j * sourceHeight / destHeight)). Only the part of `dest` on the canvas is drawn; an
  // empty or inverted `dest` draws nothing. With `transparent`, source pixels of that colour
  // leave the canvas unchanged.
  void StretchDraw(const Rect& dest, int sourceWidth, int sourceHeight, const RowSource& source,
                   std::optional<Color> transparent = std::nullopt);

  // Copies `source` with its top-left corner at (x, y), clipped to this canvas; with
  // `transparent`, pixels of that colour leave this canvas unchanged.
  void Draw(int x, int y, const Canvas& source, std::optional<Color> transparent = std::nullopt);

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> pixels_;
};
