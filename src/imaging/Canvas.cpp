#include "imaging/Canvas.h"

#include <algorithm>
#include <cstring>

#include "imaging/Limits.h"

Canvas::Canvas(int width, int height) {
  if (width <= 0 || height <= 0) return;
  CheckPictureSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
  pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
  width_ = width;
  height_ = height;
}

std::span<std::uint8_t> Canvas::ScanLine(int row) {
  return {pixels_.data() + static_cast<std::size_t>(row) * Stride(), Stride()};
}

std::span<const std::uint8_t> Canvas::ScanLine(int row) const {
  return {pixels_.data() + static_cast<std::size_t>(row) * Stride(), Stride()};
}

Color Canvas::Pixel(int x, int y) const {
  const std::uint8_t* p = pixels_.data() + static_cast<std::size_t>(y) * Stride() + 4 * static_cast<std::size_t>(x);
  return {p[2], p[1], p[0]};
}

void Canvas::SetPixel(int x, int y, Color color) {
  std::uint8_t* p = pixels_.data() + static_cast<std::size_t>(y) * Stride() + 4 * static_cast<std::size_t>(x);
  p[0] = color.blue;
  p[1] = color.green;
  p[2] = color.red;
  p[3] = 0;
}

void Canvas::FillRect(const Rect& rect, Color color) {
  const int left = std::max(rect.left, 0), right = std::min(rect.right, width_);
  const int top = std::max(rect.top, 0), bottom = std::min(rect.bottom, height_);
  if (left >= right || top >= bottom) return;
  const std::uint8_t pixel[4] = {color.blue, color.green, color.red, 0};
  for (int y = top; y < bottom; ++y) {
    std::uint8_t* row = ScanLine(y).data();
    for (int x = left; x < right; ++x) std::memcpy(row + 4 * x, pixel, 4);
  }
}

namespace {

inline bool IsKey(const std::uint8_t* bgrx, const std::optional<Color>& key) {
  return key && bgrx[0] == key->blue && bgrx[1] == key->green && bgrx[2] == key->red;
}

}  // namespace

void Canvas::StretchDraw(const Rect& dest, int sourceWidth, int sourceHeight, const RowSource& source,
                         std::optional<Color> transparent) {
  const std::int64_t destWidth = dest.Width(), destHeight = dest.Height();
  if (destWidth <= 0 || destHeight <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return;
  const int left = static_cast<int>(std::max<std::int64_t>(dest.left, 0));
  const int right = static_cast<int>(std::min<std::int64_t>(dest.right, width_));
  const int top = static_cast<int>(std::max<std::int64_t>(dest.top, 0));
  const int bottom = static_cast<int>(std::min<std::int64_t>(dest.bottom, height_));
  if (left >= right || top >= bottom) return;

  // Source column of every visible destination column, computed once.
  std::vector<std::uint32_t> column(static_cast<std::size_t>(right - left));
  for (int x = left; x < right; ++x)
    column[x - left] = static_cast<std::uint32_t>((x - std::int64_t{dest.left}) * sourceWidth / destWidth);

  std::vector<std::uint8_t> sourceRow(static_cast<std::size_t>(sourceWidth) * 4);
  int loadedRow = -1;
  for (int y = top; y < bottom; ++y) {
    const int sy = static_cast<int>((y - std::int64_t{dest.top}) * sourceHeight / destHeight);
    if (sy != loadedRow) {
      source(sy, sourceRow.data());
      loadedRow = sy;
    }
    std::uint8_t* target = ScanLine(y).data() + 4 * static_cast<std::size_t>(left);
    for (std::size_t i = 0; i < column.size(); ++i, target += 4) {
      const std::uint8_t* pixel = sourceRow.data() + 4 * static_cast<std::size_t>(column[i]);
      if (IsKey(pixel, transparent)) continue;
      target[0] = pixel[0];
      target[1] = pixel[1];
      target[2] = pixel[2];
      target[3] = 0;
    }
  }
}

void Canvas::Draw(int x, int y, const Canvas& source, std::optional<Color> transparent) {
  const int left = std::max(x, 0), right = static_cast<int>(std::min<std::int64_t>(std::int64_t{x} + source.width_, width_));
  const int top = std::max(y, 0), bottom = static_cast<int>(std::min<std::int64_t>(std::int64_t{y} + source.height_, height_));
  for (int row = top; row < bottom; ++row) {
    const std::uint8_t* from = source.ScanLine(row - y).data() + 4 * static_cast<std::size_t>(left - x);
    std::uint8_t* to = ScanLine(row).data() + 4 * static_cast<std::size_t>(left);
    for (int col = left; col < right; ++col, from += 4, to += 4) {
      if (IsKey(from, transparent)) continue;
      std::memcpy(to, from, 4);
    }
  }
}
