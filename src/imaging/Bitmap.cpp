#include "imaging/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "imaging/Canvas.h"
#include "imaging/Limits.h"

const TGraphicClass& TBitmap::Class() {
  static const TGraphicClass kind = TGraphicClass::Of<TBitmap>("TBitmap", TGraphic::Class());
  return kind;
}

TBitmap::TBitmap(PixelLayout layout, int width, int height) {
  SetPixelLayout(layout);
  SetSize(width, height);
}

TBitmap::PixelBuffer TBitmap::AllocateZeroed(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  // calloc hands back fresh zero pages for large blocks without touching them, so a big
  // picture costs only the rows a reader really writes.
  PixelBuffer buffer(static_cast<std::uint8_t*>(std::calloc(bytes, 1)));
  if (!buffer) throw std::bad_alloc();
  return buffer;
}

void TBitmap::SetSize(int width, int height) {
  if (width < 0 || height < 0) throw EInvalidGraphic("Taille d'image incorrecte");
  if (width == 0 || height == 0) width = height = 0;
  if (width == width_ && height == height_) return;
  CheckPictureSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
  const std::size_t stride = static_cast<std::size_t>(RowStride(layout_, static_cast<std::uint64_t>(width)));
  PixelBuffer pixels = AllocateZeroed(stride * static_cast<std::size_t>(height));
  const int keptRows = std::min(height, height_);
  const std::size_t keptBytes = std::min(stride, stride_);
  for (int row = 0; row < keptRows; ++row)
    std::memcpy(pixels.get() + row * stride, pixels_.get() + row * stride_, keptBytes);
  // Bits of a partly kept last byte or word that lie beyond the new width must not carry
  // old pixels: clear them so the padding stays zero.
  const std::size_t usedBits = static_cast<std::size_t>(width) * static_cast<std::size_t>(BitsPerPixel(layout_));
  if (keptBytes == stride && stride_ > 0 && usedBits < stride * 8) {
    for (int row = 0; row < keptRows; ++row) {
      std::uint8_t* line = pixels.get() + row * stride;
      const std::size_t full = usedBits / 8;
      if (usedBits % 8) line[full] &= static_cast<std::uint8_t>(0xFF << (8 - usedBits % 8));
      std::memset(line + (usedBits + 7) / 8, 0, stride - (usedBits + 7) / 8);
    }
  }
  pixels_ = std::move(pixels);
  stride_ = stride;
  width_ = width;
  height_ = height;
}

void TBitmap::Clear() {
  pixels_.reset();
  width_ = height_ = 0;
  stride_ = 0;
  palette_.clear();
  transparent_ = false;
  transparentColor_ = {};
}

std::span<std::uint8_t> TBitmap::ScanLine(int row) {
  return {pixels_.get() + static_cast<std::size_t>(row) * stride_, stride_};
}

std::span<const std::uint8_t> TBitmap::ScanLine(int row) const {
  return {pixels_.get() + static_cast<std::size_t>(row) * stride_, stride_};
}

void TBitmap::SetPalette(std::span<const Color> entries) {
  palette_.assign(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(entries.size(), 256)));
}

namespace {

// Palette indices of one row of an indexed layout, one byte per pixel.
std::uint8_t IndexAt(PixelLayout layout, const std::uint8_t* row, std::size_t x) {
  switch (layout) {
    case PixelLayout::Indexed1: return row[x >> 3] >> (7 - (x & 7)) & 1;
    case PixelLayout::Indexed4: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default: return row[x];
  }
}

void UnpackIndices(PixelLayout layout, const std::uint8_t* row, std::size_t width, std::uint8_t* indices) {
  for (std::size_t x = 0; x < width; ++x) indices[x] = IndexAt(layout, row, x);
}

void PackIndices(PixelLayout layout, const std::uint8_t* indices, std::size_t width, std::uint8_t* row) {
  switch (layout) {
    case PixelLayout::Indexed1:
      std::memset(row, 0, (width + 7) / 8);
      for (std::size_t x = 0; x < width; ++x)
        row[x >> 3] = static_cast<std::uint8_t>(row[x >> 3] | (indices[x] & 1) << (7 - (x & 7)));
      break;
    case PixelLayout::Indexed4:
      std::memset(row, 0, (width + 1) / 2);
      for (std::size_t x = 0; x < width; ++x)
        row[x >> 1] = static_cast<std::uint8_t>(row[x >> 1] | ((x & 1) ? indices[x] & 15 : (indices[x] & 15) << 4));
      break;
    default:
      std::memcpy(row, indices, width);
      break;
  }
}

bool SameBytes(PixelLayout a, PixelLayout b) {
  const auto wide = [](PixelLayout l) { return l == PixelLayout::Device || l == PixelLayout::Bgrx32; };
  return a == b || (wide(a) && wide(b));
}

}  // namespace

void TBitmap::SetPixelLayout(PixelLayout layout) {
  if (layout == layout_) return;
  const std::size_t capacity = static_cast<std::size_t>(PaletteCapacity(layout));
  const bool keepPalette = capacity > 0 && IsIndexed(layout_) && !palette_.empty() && palette_.size() <= capacity;
  std::vector<Color> palette;
  if (keepPalette) palette = palette_;
  else if (capacity > 0) palette = StandardPalette(layout);

  if (width_ == 0 || SameBytes(layout, layout_)) {
    layout_ = layout;
    palette_ = std::move(palette);
    stride_ = static_cast<std::size_t>(RowStride(layout_, static_cast<std::uint64_t>(width_)));
    return;
  }

  const std::size_t width = static_cast<std::size_t>(width_);
  const std::size_t stride = static_cast<std::size_t>(RowStride(layout, width));
  PixelBuffer pixels = AllocateZeroed(stride * static_cast<std::size_t>(height_));
  const PaletteTable table = MakePaletteTable(palette_);
  std::optional<NearestColorIndex> nearest;
  if (capacity > 0) nearest.emplace(palette);
  std::vector<std::uint8_t> work(width * 4);
  for (int row = 0; row < height_; ++row) {
    const std::uint8_t* from = ScanLine(row).data();
    std::uint8_t* to = pixels.get() + static_cast<std::size_t>(row) * stride;
    if (keepPalette) {
      // Same colours, fewer index bits: indices that still fit stay, others take the
      // nearest kept colour of what they showed.
      UnpackIndices(layout_, from, width, work.data());
      for (std::size_t x = 0; x < width; ++x)
        if (work[x] >= capacity) {
          const auto& bgrx = table[work[x]];
          work[x] = (*nearest)(bgrx[0], bgrx[1], bgrx[2]);
        }
      PackIndices(layout, work.data(), width, to);
    } else {
      ExpandRowToBgrx(layout_, from, width, table, work.data());
      PackRowFromBgrx(layout, work.data(), width, nearest ? &*nearest : nullptr, to);
    }
  }
  pixels_ = std::move(pixels);
  stride_ = stride;
  layout_ = layout;
  palette_ = std::move(palette);
}

Color TBitmap::PixelColor(int x, int y) const {
  std::uint8_t bgrx[4];
  const std::uint8_t* row = ScanLine(y).data();
  const auto ux = static_cast<std::size_t>(x);
  if (IsIndexed(layout_)) {
    const std::uint8_t index = IndexAt(layout_, row, ux);
    return index < palette_.size() ? palette_[index] : Color{};
  }
  ExpandRowToBgrx(layout_, row + ux * static_cast<std::size_t>(BitsPerPixel(layout_) / 8), 1, PaletteTable{}, bgrx);
  return {bgrx[2], bgrx[1], bgrx[0]};
}

void TBitmap::ReadRowBgrx(int row, std::uint8_t* bgrx) const {
  ExpandRowToBgrx(layout_, ScanLine(row).data(), static_cast<std::size_t>(width_), MakePaletteTable(palette_), bgrx);
}

void TBitmap::CopyToBitmap(TGraphic& source) {
  if (&source == this) return;
  source.AssignTo(*this);
}

void TBitmap::AssignTo(TBitmap& target) {
  if (&target == this) return;
  TBitmap copy;
  copy.layout_ = layout_;
  copy.SetSize(width_, height_);
  if (pixels_) std::memcpy(copy.pixels_.get(), pixels_.get(), stride_ * static_cast<std::size_t>(height_));
  copy.palette_ = palette_;
  copy.transparent_ = transparent_;
  copy.transparentColor_ = transparentColor_;
  target.SwapRaster(copy);
}

void TBitmap::SwapRaster(TBitmap& other) noexcept {
  std::swap(layout_, other.layout_);
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(stride_, other.stride_);
  std::swap(pixels_, other.pixels_);
  std::swap(palette_, other.palette_);
  std::swap(transparent_, other.transparent_);
  std::swap(transparentColor_, other.transparentColor_);
}

void TBitmap::DrawStretched(Canvas& canvas, const Rect& rect) {
  if (width_ == 0 || height_ == 0) return;
  const PaletteTable table = MakePaletteTable(palette_);
  const auto width = static_cast<std::size_t>(width_);
  canvas.StretchDraw(
      rect, width_, height_,
      [&](int row, std::uint8_t* bgrx) { ExpandRowToBgrx(layout_, ScanLine(row).data(), width, table, bgrx); },
      transparent_ ? std::optional<Color>(transparentColor_) : std::nullopt);
}
