#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "imaging/Canvas.h"
#include "png/PNGObject.h"

namespace {

PixelLayout SurfaceLayout(const TChunkIHDR& header) {
  switch (header.SurfaceBitsPerPixel()) {
    case 1: return PixelLayout::Indexed1;
    case 4: return PixelLayout::Indexed4;
    case 8: return PixelLayout::Indexed8;
  }
  return PixelLayout::Bgr24;
}

// Surface rows as Bgrx bytes, colours through the colour table as it stands now.
Canvas::RowSource SurfaceRows(const TChunkIHDR& header) {
  const PixelLayout layout = SurfaceLayout(header);
  return [&header, layout](int row, std::uint8_t* bgrx) {
    ExpandRowToBgrx(layout, header.SurfaceRow(static_cast<std::uint32_t>(row)), header.Width, header.ColourTable(),
                    bgrx);
  };
}

// The colour index of pixel x of an indexed surface row.
inline unsigned IndexAt(const std::uint8_t* row, std::uint32_t x, int bits) {
  if (bits == 8) return row[x];
  if (bits == 4) return (row[x >> 1] >> (x & 1 ? 0 : 4)) & 15;
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// Per channel: s over d with alpha a; gives d for a = 0 and s for a = 255.
inline std::uint8_t Blend(unsigned s, unsigned a, unsigned d) {
  return static_cast<std::uint8_t>((s * a + 255 + (255 - a) * d) >> 8);
}

}  // namespace

void TPNGObject::DrawStretched(Canvas& canvas, const Rect& rect) {
  if (chunks_.empty()) return;
  const TChunkIHDR& header = HeaderChunk();
  switch (TransparencyKind()) {
    case TTransparencyKind::KeyTransparency:
      canvas.StretchDraw(rect, static_cast<int>(header.Width), static_cast<int>(header.Height), SurfaceRows(header),
                         KeyColour());
      break;
    case TTransparencyKind::AlphaTransparency:
      AlphaBlend(canvas, rect);
      break;
    case TTransparencyKind::NoTransparency:
      canvas.StretchDraw(rect, static_cast<int>(header.Width), static_cast<int>(header.Height), SurfaceRows(header));
      break;
  }
}

void TPNGObject::AlphaBlend(Canvas& canvas, const Rect& area) {
  if (area.right == area.left || area.bottom == area.top) return;
  Rect rect = area;
  if (rect.right < rect.left) std::swap(rect.left, rect.right);
  if (rect.bottom < rect.top) std::swap(rect.top, rect.bottom);
  const TChunkIHDR& header = HeaderChunk();
  const std::uint32_t w = header.Width, h = header.Height;
  if (w == 0 || h == 0) return;
  const std::int64_t W = std::int64_t{rect.right} - rect.left, H = std::int64_t{rect.bottom} - rect.top;
  const bool stretching = W != w || H != h;
  const double columnFactor = stretching ? static_cast<double>(W) / w : 1.0;
  const double rowFactor = stretching ? static_cast<double>(H) / h : 1.0;

  const int bits = header.SurfaceBitsPerPixel();
  const bool paletteAlpha = bits <= 8 && header.ColourType != 4;
  const TChunktRNS* trns = FirstOfClass<TChunktRNS>();
  if (paletteAlpha) {
    // Every index must have a palette entry; checked before the canvas is touched.
    const TChunkPLTE* palette = FirstOfClass<TChunkPLTE>();
    const std::uint32_t entries = palette ? palette->EntryCount : 0;
    for (std::uint32_t y = 0; y < h; ++y) {
      const std::uint8_t* row = header.SurfaceRow(y);
      for (std::uint32_t x = 0; x < w; ++x)
        if (IndexAt(row, x, bits) >= entries) throw EPngError(kNoSuchPaletteEntry);
    }
  }

  const int left = static_cast<int>(std::max<std::int64_t>(rect.left, 0));
  const int right = static_cast<int>(std::min<std::int64_t>(rect.right, canvas.Width()));
  const int top = static_cast<int>(std::max<std::int64_t>(rect.top, 0));
  const int bottom = static_cast<int>(std::min<std::int64_t>(rect.bottom, canvas.Height()));
  if (left >= right || top >= bottom) return;

  auto sourceIndex = [](std::int64_t i, double factor, std::uint32_t size) {
    const auto s = static_cast<std::uint32_t>(std::trunc(static_cast<double>(i) / factor));
    return std::min(s, size - 1);
  };
  std::vector<std::uint32_t> column(static_cast<std::size_t>(right - left));
  for (int x = left; x < right; ++x) column[x - left] = sourceIndex(x - std::int64_t{rect.left}, columnFactor, w);

  const PaletteTable& table = header.ColourTable();
  for (int y = top; y < bottom; ++y) {
    const std::uint32_t sy = sourceIndex(y - std::int64_t{rect.top}, rowFactor, h);
    const std::uint8_t* source = header.SurfaceRow(sy);
    const std::uint8_t* alpha = header.AlphaRow(sy);
    std::uint8_t* d = canvas.ScanLine(y).data() + 4 * static_cast<std::size_t>(left);
    for (std::size_t i = 0; i < column.size(); ++i, d += 4) {
      const std::uint32_t sx = column[i];
      unsigned a, b, g, r;
      if (bits == 24) {
        a = alpha[sx];
        b = source[3 * sx];
        g = source[3 * sx + 1];
        r = source[3 * sx + 2];
      } else if (!paletteAlpha) {
        a = alpha[sx];
        b = g = r = source[sx];
      } else {
        const unsigned k = IndexAt(source, sx, bits);
        a = trns ? trns->AlphaByIndex[k] : 255;
        b = table[k][0];
        g = table[k][1];
        r = table[k][2];
      }
      d[0] = Blend(b, a, d[0]);
      d[1] = Blend(g, a, d[1]);
      d[2] = Blend(r, a, d[2]);
    }
  }
}

void TPNGObject::AssignTo(TBitmap& target) {
  if (!HasHeader())
    throw EConvertError("Impossible d'affecter TPNGObject à " + std::string(target.ClassType().name));
  const TChunkIHDR& header = HeaderChunk();
  TBitmap copy(PixelLayout::Device, static_cast<int>(header.Width), static_cast<int>(header.Height));
  const auto rows = SurfaceRows(header);
  for (int y = 0; y < copy.Height(); ++y) rows(y, copy.ScanLine(y).data());
  if (TransparencyKind() == TTransparencyKind::KeyTransparency) {
    copy.SetTransparentColor(KeyColour());
    copy.SetTransparent(true);
  }
  target.SwapRaster(copy);
}
