#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "imaging/Color.h"
#include "imaging/Graphic.h"
#include "imaging/PixelLayout.h"

// A raster picture: width x height pixels in one PixelLayout, an optional palette of up to 256
// colours, and rows that can be read and written directly. Row 0 is the top row; each row is
// Stride() bytes (the layout's bits per pixel times the width, rounded up to 32 bits).
//
// Readers of other formats derive from TBitmap and override ReadPictureStream: they set the
// layout, the palette and the size, then fill ScanLine(row) for every row. New pixels are
// always zero, so rows a reader leaves alone are black (index 0 for indexed layouts).
//
// TBitmap itself reads Windows bitmaps (BMP, DIB, RLE).
class TBitmap : public TGraphic {
 public:
  TBitmap() = default;
  TBitmap(PixelLayout layout, int width, int height);
  // Moving takes the raster; the source is left empty.
  TBitmap(TBitmap&& other) noexcept { SwapRaster(other); }
  TBitmap& operator=(TBitmap&& other) noexcept {
    TBitmap taken;
    taken.SwapRaster(other);
    SwapRaster(taken);
    return *this;
  }

  static const TGraphicClass& Class();
  VERRELUNE_GRAPHIC_CLASS_TYPE

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  PixelLayout Layout() const { return layout_; }
  std::size_t Stride() const { return stride_; }

  // Converts the pixels to `layout`. On an empty raster it only records the layout. Turning
  // indexed keeps the palette when it fits the new layout (indices beyond it are mapped to the
  // nearest kept colour), else it takes the layout's standard palette and maps every pixel to
  // its nearest colour. Turning direct colour drops the palette.
  void SetPixelLayout(PixelLayout layout);

  // Changes the size, keeping the pixels that lie in both the old and the new size; new pixels
  // are zero. Raises EInvalidGraphic for negative sizes and EPictureTooLarge beyond the limit,
  // leaving the raster as it was. A zero width or height empties the raster.
  void SetSize(int width, int height);
  // Back to an empty raster in the same layout, without palette or transparency.
  void Clear();

  std::span<std::uint8_t> ScanLine(int row);
  std::span<const std::uint8_t> ScanLine(int row) const;

  // At most 256 entries; indices beyond the palette read as black.
  std::span<const Color> Palette() const { return palette_; }
  void SetPalette(std::span<const Color> entries);

  // A transparent raster is drawn through a mask: its pixels of TransparentColor() leave the
  // canvas unchanged.
  bool Transparent() const { return transparent_; }
  Color TransparentColor() const { return transparentColor_; }
  void SetTransparent(bool transparent) { transparent_ = transparent; }
  void SetTransparentColor(Color color) { transparentColor_ = color; }

  // The colour of one pixel, through the palette for indexed layouts.
  Color PixelColor(int x, int y) const;
  // Row `row` as Bgrx bytes, 4 per pixel, fourth byte 0.
  void ReadRowBgrx(int row, std::uint8_t* bgrx) const;

  // Makes this raster an independent copy of `source` (layout, palette, pixels; decoding the
  // source first when it is compressed). On failure this raster is unchanged.
  void CopyToBitmap(TGraphic& source);

  void DrawStretched(Canvas& canvas, const Rect& rect) override;
  void ReadPictureStream(TPictureStream& stream) override;
  void AssignTo(TBitmap& target) override;

  // Exchanges the whole raster state (not the kind) with `other`.
  void SwapRaster(TBitmap& other) noexcept;

 private:
  struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
  };
  using PixelBuffer = std::unique_ptr<std::uint8_t[], FreeDeleter>;
  static PixelBuffer AllocateZeroed(std::size_t bytes);

  PixelLayout layout_ = PixelLayout::Device;
  int width_ = 0;
  int height_ = 0;
  std::size_t stride_ = 0;
  PixelBuffer pixels_;
  std::vector<Color> palette_;
  bool transparent_ = false;
  Color transparentColor_{};
};
